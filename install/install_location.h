// The install screen's folder: the default, the folder picker, the free space on its drive, and
// two path operations shared with the installer and the uninstaller.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <string>

std::wstring defaultInstallFolder();
bool pickInstallFolder(HWND ownerWindow, std::wstring& folder);
uint64_t freeSpaceAt(const std::wstring& path);
std::wstring parentFolder(const std::wstring& path);
std::wstring knownFolderPath(REFKNOWNFOLDERID folderId);
// The picker's rule for the chosen folder: append "\Qorvane" unless it is named so or holds an install
// and nothing but the launcher's own names.
std::wstring installFolderForChoice(const std::wstring& chosen);
// A folder the game may own as a whole: missing, empty, or holding nothing but the launcher's own
// names (judgeFolderContent).
bool isOwnableGameFolder(const std::wstring& folder);
// The folder an install really goes to: folder itself when the game may own it, else
// folder\Qorvane when that one may be owned, else empty (the install is refused).
std::wstring ownedInstallFolder(const std::wstring& folder);
// path itself or its closest ancestor that exists; empty when none does (also for a missing drive).
std::wstring nearestExistingPath(const std::wstring& path);

// The install action's form check: trailing separators go (a drive root keeps its own), and only a
// drive path below a root or a network path is accepted.
std::wstring trimInstallFolder(const std::wstring& folder);
bool isAcceptableInstallFolder(const std::wstring& trimmed);
