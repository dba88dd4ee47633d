// Removal of an installed game: its shortcuts, its uninstall entry and, when safe, the folder the
// launcher runs from (deleted by a detached command processor after the process has ended).
#pragma once

#include <string>

// 1 when the user answered No, 0 otherwise.
int uninstallGame(bool silent);
bool isSafeToRemove(const std::wstring& folder);
