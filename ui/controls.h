// Small controls and marks more than one screen draws: the close button (a cross that turns white
// on red when hovered), the section heading with its fading rule, and the keyboard focus ring.
#pragma once

#include <string>

#include "ui/click_id.h"
#include "ui/drawing.h"
#include "ui/launcher_ui.h"

// Registers box as id's region and draws a 9-pixel cross in its centre; its look changes only
// with the pointer, so it belongs to the still parts.
void paintCloseButton(LauncherUi& ui, GpGraphics* graphics, ClickId id, const RectF& box,
                      PaintLayer layer = PaintLayer::Everything);
// A letter-spaced heading at (x, y) and a rule after it that fades out by rightEdge; the heading
// is cut with an ellipsis where it would reach rightEdge.
void drawSectionHeading(DrawingResources& res, const Look& look, GpGraphics* graphics,
                        const std::wstring& text, float x, float y, float rightEdge);
// The ring around the control that has keyboard focus, while Windows shows focus cues; nothing
// when no control shown has focus.
void paintFocusRing(LauncherUi& ui, GpGraphics* graphics);
