// The publisher's two-phase writes: several files staged under ".gecici" names before any of them
// goes live, and files created only when nothing exists under their name.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// Each returns 0 or the system error of the step that failed.
DWORD writeStagedFile(const std::wstring& path, std::string_view bytes);  // writes path + ".gecici", flushed
DWORD promoteStagedFile(const std::wstring& path);                        // moves it over path, durably
void discardStagedFile(const std::wstring& path);
// Both steps; nothing is left half-written under the final name, nor a temporary file on failure.
DWORD writeFileReplacing(const std::wstring& path, std::string_view bytes);
// Creates path only if nothing exists under that name (CREATE_NEW), so a racing writer cannot be
// overwritten either; a failed write removes the new file. security, when given, sets its rights.
DWORD writeNewFile(const std::wstring& path, std::string_view bytes, SECURITY_ATTRIBUTES* security = nullptr);
