// The uninstall road ("--kaldir"): the question, the removal of shortcuts, entry and folder, and
// the closing message; silent ("--sessiz") asks and tells nothing.
#pragma once

#include <string>
#include <vector>

// For the running launcher: 0 when the game folder is being removed; 1 when the user answered No or
// the folder stays (not safe to remove, the player's own files or a link in it, or the command
// processor could not be started).
int uninstallGame(bool silent);
// The same for the launcher at exePath once the question has been answered (answer is the message
// box result, IDYES to go on; not looked at when silent).
int uninstallLauncherAt(const std::wstring& exePath, bool silent, int answer);
// The closing message's detail when something stays: the folder, then the names that stay in it (at
// most eight, then an ellipsis).
std::wstring keptDetail(const std::wstring& folder, const std::vector<std::wstring>& stayed);
