// Everything the window works on, in one place for the window procedure, the painters and the
// actions: the window's state, the drawing resources and back buffer, the install form, the
// settings panel, the copy of the engine's status, what UI Automation clients were given, and the
// run control it starts and asks.
#pragma once

#include "ui/automation_state.h"
#include "ui/back_buffer.h"
#include "ui/drawing_resources.h"
#include "ui/install_form.h"
#include "ui/settings_panel.h"
#include "ui/window_state.h"
#include "update/run_control.h"

struct LauncherUi {
    explicit LauncherUi(RunControl& runs) : runs(runs) {}
    LauncherUi(const LauncherUi&) = delete;
    LauncherUi& operator=(const LauncherUi&) = delete;

    // Owned by the application object. Besides its operations the window reads only its start-up
    // options; the engine itself it sees through `status` alone.
    RunControl& runs;
    WindowState window;
    DrawingResources drawing;
    BackBuffer backBuffer;
    StatusSnapshot status;  // refreshed by every timer tick; every frame is painted from it
    InstallForm installForm;
    SettingsPanel settings;
    AutomationState automation;
};

inline bool installMode(const LauncherUi& ui) {
    return ui.runs.options.installMode;
}
// The launcher's folder, which is the game folder.
inline const std::wstring& gameFolder(const LauncherUi& ui) {
    return ui.runs.options.launcherFolder;
}
