// Painting the display settings panel: a modal card over the main screen with the size and scale
// chips, a preview of the window on the screen, the explaining lines, the buttons and the notice.
// Its hit regions (ClickId::PanelBackdrop to ClickId::PanelSave) come after the main screen's.
#pragma once

#include "ui/gdiplus_handles.h"
#include "ui/launcher_ui.h"

void paintDisplaySettings(LauncherUi& ui, GpGraphics* g);
