// The one application object: the run control that owns the update engine, and everything the
// window works on, which refers to it. Created once by the entry and never destroyed.
#pragma once

#include "ui/launcher_ui.h"
#include "update/run_control.h"

struct LauncherApp {
    RunControl runs;
    LauncherUi ui{runs};
};
