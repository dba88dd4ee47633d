// Replacing the launcher's own executable when the list holds a different one: download beside it
// as ".yeni", verify, swap by renaming (the running image becomes ".eski"), roll back on failure.
#pragma once

#include <string>

struct Manifest;
struct Updater;

// 0 nothing to do, 1 replaced (restart needed), 2 failed (the run goes on).
// runningPath: the executable to replace; empty means this process's own module file.
int selfUpdate(Updater& u, const Manifest& manifest, const std::wstring& runningPath = std::wstring());
// The rename swap of a verified runningPath + ".yeni": 1 swapped, 2 failed with the old executable
// back under its own name and ".yeni" removed.
int swapLauncherFiles(const std::wstring& runningPath);
