// Small controls more than one screen draws: the close button (a cross that turns white on red
// when hovered).
#pragma once

#include "ui/click_id.h"
#include "ui/drawing.h"
#include "ui/launcher_ui.h"

// Registers box as id's region and draws a 9-pixel cross in its centre; its look changes only
// with the pointer, so it belongs to the still parts.
void paintCloseButton(LauncherUi& ui, GpGraphics* graphics, ClickId id, const RectF& box,
                      PaintLayer layer = PaintLayer::Everything);
