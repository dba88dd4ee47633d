// Removal of an installed game: its shortcuts, its uninstall entry and, when safe, the folder the
// launcher runs from (deleted by a detached command processor after the process has ended). The
// questions and the closing message belong to whoever drives the removal.
#pragma once

#include <string>

#include "base/handles.h"

// Removes the shortcuts that point at exePath and the uninstall entry of its folder. True when the
// folder itself may be removed as well (isSafeToRemove).
bool unregisterLauncher(const std::wstring& exePath);
bool isSafeToRemove(const std::wstring& folder);

// The target of a shell link as stored (not resolved); empty when it cannot be read.
std::wstring shortcutTarget(const std::wstring& linkPath);
// The command processor's arguments that wait about two seconds, then remove folder; the waiting
// program comes from systemFolder.
std::wstring folderRemovalArguments(const std::wstring& systemFolder, const std::wstring& folder);
// Starts that command detached, from the temporary folder; false when it did not start. With
// `held`, the command is started suspended and does nothing until releaseFolderRemoval: the caller
// learns that the removal will happen before it tells the user so.
bool startFolderRemoval(const std::wstring& folder, UniqueKernelHandle* held = nullptr);
void releaseFolderRemoval(UniqueKernelHandle& held);
