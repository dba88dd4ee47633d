// The main screen's regions on the 960 x 560 design canvas: title bar, news and status rows or the
// install panel, and the bottom bar with progress, small buttons, settings button and primary button.
#pragma once

#include "ui/gdiplus_handles.h"
#include "ui/launcher_ui.h"
#include "ui/screen_model.h"

void paintTitleBar(LauncherUi& ui, GpGraphics* g);
void paintNewsAndStatus(LauncherUi& ui, GpGraphics* g, const ScreenModel& model);
void paintInstallPanel(LauncherUi& ui, GpGraphics* g, const ScreenModel& model);
void paintBottomBar(LauncherUi& ui, GpGraphics* g, const ScreenModel& model);
