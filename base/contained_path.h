// Places below the game folder that are reached without passing a junction, a symbolic link or a
// mounted volume: the check a walk, a write or a delete makes first, folders created only along such
// a road, and files deleted by their identity and exact name.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// The system's error for "a reparse point was met on the way" (ERROR_REPARSE_POINT_ENCOUNTERED,
// which MinGW's headers lack): what a refused write or delete reports.
inline constexpr DWORD kLinkOnTheWay = 4395;

// The path the file system resolves an open handle to, as a drive or UNC path without "\\?\" and
// without a trailing separator; empty when it cannot be read (*error then says why).
std::wstring finalPathOf(HANDLE handle, DWORD* error = nullptr);
// The same for a file or folder by name; empty when it cannot be opened.
std::wstring finalPathOf(const std::wstring& path);
// Two absolute paths name the same place, letter case folded as the file system folds it.
bool isSamePath(std::wstring_view a, std::wstring_view b);

// The game folder as configured and as the file system resolves it. The game folder itself may be a
// link or a junction (the player's choice); nothing below it may.
struct ContainedRoot {
    std::wstring folder;
    std::wstring resolved;  // empty when the folder cannot be opened: nothing below it is then plain
};
ContainedRoot resolveRoot(const std::wstring& folder);

// "\\?\" and the absolute path of root + relative: the exact name, with a trailing dot or blank kept
// as part of it instead of being stripped on the way to another file.
std::wstring exactPath(const std::wstring& root, std::wstring_view relative);

// The folder `handle` has open is root + relativeFolder ("/" or "\" separators) with no link between
// the root and it, nor is it one itself.
bool isFolderReachedPlainly(const ContainedRoot& root, std::wstring_view relativeFolder, HANDLE handle);
// The file `handle` has open lies in the folder of root + relativeFile, reached with no link between
// the root and that folder. Its own name is not compared: a link opened as itself is judged by where
// it lies, and Wine names a file that ends in a dot without the dot.
bool isFileReachedPlainly(const ContainedRoot& root, std::wstring_view relativeFile, HANDLE handle);
// The folder root + relativeFolder exists and is reached plainly (an empty relative is the root).
bool isPlainFolder(const ContainedRoot& root, std::wstring_view relativeFolder);
// Creates root + relativeFolder one level after another, each one checked before the next is made
// inside it. 0 when it exists plainly afterwards; kLinkOnTheWay when a level is a junction or link;
// otherwise the system error.
DWORD createFolderBelow(const ContainedRoot& root, std::wstring_view relativeFolder);
// Deletes the file at root + relative by its exact name, read-only or not, only when the file opened
// for it is reached plainly; a symbolic link itself goes, never what it points at, and a folder is
// never deleted. 0, kLinkOnTheWay, or the system error (ERROR_FILE_NOT_FOUND when it is not there).
DWORD deleteFileBelow(const ContainedRoot& root, std::wstring_view relative);
