// The borderless per-monitor-DPI window: creation, back buffer, shape, message loop, hit testing
// and the 33 ms timer that copies the engine status and drives the automatic actions.
#pragma once

#include <windows.h>

#include "app/launcher_app.h"
#include "app/startup.h"

bool createWindow(LauncherApp& app, HINSTANCE instance, const StartupOptions& options);
int runMessageLoop();
LRESULT windowProc(LauncherApp& app, UINT message, WPARAM wParam, LPARAM lParam);
int hitTest(const LauncherApp& app, int clientX, int clientY, bool* clickable);
void onTimer(LauncherApp& app);
void createBackBuffer(LauncherApp& app, int width, int height);
void releaseBackBuffer(LauncherApp& app);
void applyWindowShape(LauncherApp& app);
// The shape for systems without the rounded-corner attribute: a rounded window region.
void applyRoundedRegion(LauncherApp& app);
int monitorDpi(HMONITOR monitor);
int systemDpi();
