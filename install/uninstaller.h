// Removal of an installed game: its shortcuts, its uninstall entry and, when safe, what the launcher
// put into the folder it runs from (the files of the last verified list, koruma, the files it writes
// for the game, its own leftovers), never crossing a junction or link; the running launcher and the
// folder, once empty, go by a detached command processor after the process has ended. The questions
// and the closing message belong to whoever drives the removal.
#pragma once

#include <string>
#include <vector>

#include "base/handles.h"

// Removes the shortcuts that point at exePath and the uninstall entry of its folder. True when the
// folder itself may be removed as well (isSafeToRemove).
bool unregisterLauncher(const std::wstring& exePath);
bool isSafeToRemove(const std::wstring& folder);

// Deletes what the launcher put into folder, the running launcher at exePath aside. Returns the names
// at the top of folder that stay (the player's own files, anything reached only through a link),
// sorted; empty when only the launcher is left.
std::vector<std::wstring> removeGameFiles(const std::wstring& folder, const std::wstring& exePath);

// The target of a shell link as stored (not resolved); empty when it cannot be read.
std::wstring shortcutTarget(const std::wstring& linkPath);
// The command processor's arguments that wait about two seconds, then delete the launcher at exePath
// and remove folder when it is empty (never what it holds); the waiting program comes from
// systemFolder.
std::wstring folderRemovalArguments(const std::wstring& systemFolder, const std::wstring& folder,
                                    const std::wstring& exePath);
// Starts that command detached, from the temporary folder; false when it did not start. With
// `held`, the command is started suspended and does nothing until releaseFolderRemoval: the caller
// learns that the removal will happen before it tells the user so.
bool startFolderRemoval(const std::wstring& folder, const std::wstring& exePath,
                        UniqueKernelHandle* held = nullptr);
void releaseFolderRemoval(UniqueKernelHandle& held);
