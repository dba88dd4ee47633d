// Replacing the launcher's own executable when the list holds a different one: download beside it
// as ".yeni", verify, swap by renaming (the running image becomes ".eski"), roll back on failure.
#pragma once

#include <string>

#include "update/step_result.h"

struct Manifest;
struct Updater;

// Unchanged when there is nothing to do, Done when the executable was replaced (a restart is due),
// any other outcome when it failed (the run goes on with the old one).
// runningPath: the executable to replace; empty means this process's own module file.
StepResult selfUpdate(Updater& u, const Manifest& manifest, const std::wstring& runningPath = std::wstring());
// The rename swap of a verified runningPath + ".yeni": Done, or WriteFailed with the old executable
// back under its own name and ".yeni" removed.
StepResult swapLauncherFiles(const std::wstring& runningPath);
