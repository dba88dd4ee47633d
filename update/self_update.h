// Replacing the launcher's own executable when the list holds a different one: download beside it
// as ".yeni", verify, swap by renaming (the running image becomes ".eski"), roll back on failure.
#pragma once

struct Manifest;
struct Updater;

// 0 nothing to do, 1 replaced (restart needed), 2 failed (the run goes on).
int SelfUpdate(Updater& u, const Manifest& manifest);
