// The borderless per-monitor-DPI window: creation (which begins the update runs), the window
// procedure with its input handling, the shape, the message loop, and the 33 ms timer that asks
// the run control for the status and the automatic runs, then repaints.
#pragma once

#include <windows.h>

#include "ui/launcher_ui.h"
#include "update/run_control.h"

// Loads the art and fonts, creates and shows the window centred on the monitor under the cursor,
// begins the runs with these options and starts the timer; false when the window cannot be made.
bool createWindow(LauncherUi& ui, HINSTANCE instance, const RunOptions& options, int showCommand);
int runMessageLoop();
LRESULT windowProc(LauncherUi& ui, UINT message, WPARAM wParam, LPARAM lParam);
void onTimer(LauncherUi& ui);
void applyWindowShape(const WindowState& window);
// The shape for systems without the rounded-corner attribute: a rounded window region.
void applyRoundedRegion(const WindowState& window);
