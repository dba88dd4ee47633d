// The main screen's regions on the 960 x 560 design canvas: title bar, news and status rows or the
// install panel, and the bottom bar with progress, small buttons, settings button and primary button.
#pragma once

#include <string>

#include "ui/drawing.h"
#include "ui/gdiplus_handles.h"
#include "ui/launcher_ui.h"
#include "ui/screen_model.h"

// The still parts (PaintLayer::Fixed) depend only on the language, the pointer's control, the
// phase's button caption and hint, whether repair and the primary button are enabled, the status
// rows' states and the news; the frame's key for them lists exactly these. The headline, the
// detail line, the row values, the install form and the progress change from frame to frame.
void paintTitleBar(LauncherUi& ui, GpGraphics* graphics, PaintLayer layer = PaintLayer::Everything);
void paintNewsAndStatus(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model,
                        PaintLayer layer = PaintLayer::Everything);
void paintInstallPanel(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model,
                       PaintLayer layer = PaintLayer::Everything);
void paintBottomBar(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model,
                    PaintLayer layer = PaintLayer::Everything);
// Describes everything the still parts of the title bar, the panel headings and the bottom bar
// depend on: equal keys, equal pixels.
std::wstring fixedPartsKey(const LauncherUi& ui, const ScreenModel& model);
