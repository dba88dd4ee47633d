// The main screen's regions on the 960 x 560 design canvas: title bar, news and status rows or the
// install panel, and the bottom bar with progress, small buttons, settings button and primary button.
#pragma once

#include "ui/drawing.h"
#include "ui/screen_model.h"

struct LauncherApp;

void paintTitleBar(LauncherApp& app, GpGraphics* g);
void paintNewsAndStatus(LauncherApp& app, GpGraphics* g, const ScreenModel& model);
void paintInstallPanel(LauncherApp& app, GpGraphics* g, const ScreenModel& model);
void paintBottomBar(LauncherApp& app, GpGraphics* g, const ScreenModel& model);
