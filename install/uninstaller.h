// Removal of an installed game: its shortcuts, its uninstall entry and, when safe, the folder the
// launcher runs from (deleted by a detached command processor after the process has ended).
#pragma once

#include <string>

// 1 when the user answered No, 0 otherwise.
int uninstallGame(bool silent);
// The same for the launcher at exePath, once the question has been answered (answer is the message
// box result, IDYES to go on; not looked at when silent).
int uninstallLauncherAt(const std::wstring& exePath, bool silent, int answer);
bool isSafeToRemove(const std::wstring& folder);

// The target of a shell link as stored (not resolved); empty when it cannot be read.
std::wstring shortcutTarget(const std::wstring& linkPath);
// The command processor's command line that waits about two seconds, then removes folder.
std::wstring folderRemovalCommandLine(const std::wstring& systemFolder, const std::wstring& folder);
// Starts that command detached, from the temporary folder; false when it did not start.
bool startFolderRemoval(const std::wstring& folder);
