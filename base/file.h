// Files and folders as every folder of the program uses them: whole-file reads with a size bound,
// durable replacement (temp file, flush, write-through move), folder trees and joined paths.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "base/handles.h"
#include "base/names.h"

// False when the file cannot be opened, is larger than maxBytes, or cannot be read whole; bytes is
// then empty, and *error (when given) the failed call's error, ERROR_FILE_TOO_LARGE past the bound.
// Other writers may keep the file open (read and write sharing).
bool readWholeFile(const std::wstring& path, std::string& bytes, uint64_t maxBytes, DWORD* error = nullptr);

// Writes bytes to tempPath (created anew, any attributes cleared) and flushes them to the disk.
// 0 or the system error (ERROR_WRITE_FAULT when a failure leaves none); a failed temp file is removed.
DWORD writeFlushedFile(const std::wstring& tempPath, std::string_view bytes);
// Moves a complete, flushed file over target in one step, with write-through, so that after a power
// cut the target holds either the old or the new content, never a zero-filled one. 0 or the error.
DWORD moveFileDurably(const std::wstring& from, const std::wstring& target);
// Moves the file that `file` has open (opened with DELETE access) over target, replacing it, and
// flushes the file with its new name to the disk: the file moved is the one the handle holds,
// whatever was done to its old name meanwhile. 0 or the system error.
DWORD renameOpenFile(HANDLE file, const std::wstring& target);
// Marks the file that `file` has open (with DELETE access) for deletion and closes the handle; the
// file goes with the last handle to it. 0 or the system error (the handle is closed either way).
DWORD deleteOpenFile(UniqueFile& file);
// Sets the last-write time explicitly to its current value, so that the system does not move it
// again when the handle closes, and reads it back with the size: the stamp the hash cache keeps.
bool holdFileStamp(HANDLE file, uint64_t& size, uint64_t& lastWrite);
// Flushes a file written earlier (through other handles) to the disk. 0 or the system error.
DWORD flushFile(const std::wstring& path);
// Both steps with target + tempSuffix as the temp file; the temp file never outlives a failure.
DWORD replaceFileDurably(const std::wstring& target, std::string_view bytes,
                         const wchar_t* tempSuffix = kNewFileSuffix);

// replaceFileDurably with another file's content: copied to target + tempSuffix, flushed, moved.
DWORD copyFileDurably(const std::wstring& source, const std::wstring& target,
                      const wchar_t* tempSuffix = kNewFileSuffix);

// Creates every prefix of path ending before a separator at index 3 or later, then path itself;
// results ignored. True when path is a folder afterwards.
bool createFolderTree(const std::wstring& path);
// folder, one backslash, and relative with every "/" turned into "\".
std::wstring joinPath(const std::wstring& folder, std::wstring_view relative);
// The full path of a file or folder of the game folder, the one way the update engine builds one:
// joinPath, and when that would leave no room below MAX_PATH for a temp suffix, the absolute form
// with the "\\?\" prefix, so deep game folders work without the system's long-path setting.
// relative must already pass the list's path rules (no ".", "..", empty or trailing-dot parts).
std::wstring fullPath(const std::wstring& root, std::wstring_view relative);
// The launcher's state folder "koruma" of a game folder, and a file in it, built as fullPath builds
// a game file: a deep game folder must not lose its state to the length limit.
std::wstring stateFolderPath(const std::wstring& root);
std::wstring stateFilePath(const std::wstring& root, std::wstring_view fileName);
bool pathExists(const std::wstring& path);
// False for a missing path or a folder.
bool fileSize(const std::wstring& path, uint64_t& size);
// The last-write time as one number, and the size, of a file or folder; false when it is missing.
bool fileStamp(const std::wstring& path, uint64_t& size, uint64_t& lastWrite, bool* isFolder = nullptr);

// True for the two "the disk is full" errors (112, 39).
inline bool isDiskFullError(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}
// The last system error, or ERROR_WRITE_FAULT when a failure left none: a failure must never read
// as success.
inline DWORD lastErrorOr(DWORD fallback = ERROR_WRITE_FAULT) {
    DWORD error = GetLastError();
    return error ? error : fallback;
}
