// Small file helpers of the publishing tools: whole-file reads, folder trees, and writing a file
// under a temporary name that replaces the target only once it is complete.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// False when the file cannot be opened or read whole, or is larger than maxBytes.
bool readSmallFile(const std::wstring& path, std::string& bytes, uint64_t maxBytes = 67108864);
// Creates the folder and every missing parent; true when it exists afterwards.
bool createFolders(const std::wstring& path);
// Writes bytes to path + ".gecici", flushes, then moves it over path. Nothing is left half-written
// under the final name; on failure the temporary file is removed and false returned.
bool writeFileReplacing(const std::wstring& path, std::string_view bytes);
// The same two steps split, so that several files can be staged before any of them goes live.
bool writeStagedFile(const std::wstring& path, std::string_view bytes);  // writes path + ".gecici"
bool promoteStagedFile(const std::wstring& path);                        // moves it over path
void discardStagedFile(const std::wstring& path);
// Creates path only if nothing exists under that name (CREATE_NEW), so a racing writer cannot be
// overwritten either; a failed write removes the new file.
bool writeNewFile(const std::wstring& path, std::string_view bytes);
bool fileSize(const std::wstring& path, uint64_t& size);  // false for a missing path or a folder
// path + "\" + relative with every "/" turned into "\".
std::wstring joinPath(const std::wstring& folder, std::wstring_view relative);
// The system's text for an error code, without the trailing line break, followed by " (code)".
std::wstring errorText(unsigned long code);
