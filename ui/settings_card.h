// Painting the display settings panel: a modal card over the main screen with the size and scale
// chips, a preview of the window on the screen, the explaining lines, the buttons and the notice.
// Its hit regions (ClickId::PanelBackdrop to ClickId::PanelSave) come after the main screen's.
#pragma once

#include "ui/drawing.h"
#include "ui/gdiplus_handles.h"
#include "ui/launcher_ui.h"

// The dimmed backdrop, the card, its heading, close button and separator are the still parts
// (they change only with the language and the pointer); the rest follows the draft.
void paintDisplaySettings(LauncherUi& ui, GpGraphics* graphics, PaintLayer layer = PaintLayer::Everything);
