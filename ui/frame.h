// One complete frame: the background copy, the embers, the main screen's regions and, on top, the
// display settings panel, painted into the back buffer with the hit regions rebuilt; and sizing
// the back buffer with the art scaled for it.
#pragma once

#include "ui/launcher_ui.h"
#include "ui/screen_model.h"

// The back buffer and the pre-scaled art at width x height for the window's scale; false when the
// buffer could not be made (nothing is painted then).
bool sizeFrame(LauncherUi& ui, int width, int height);
void releaseFrame(LauncherUi& ui);
// Paints nothing, and keeps the previous hit regions, without a complete back buffer and background.
// Every call paints the whole frame; what did not change since the last one (embers as sprites,
// the still parts of the main screen and of the settings panel) is blended from the drawing
// resources' frame cache instead of being painted again, unless the cache's paintEverything is set.
void paintFrame(LauncherUi& ui);
// What the screen shows now: the ScreenModel of the install state and the status copy.
ScreenModel currentScreenModel(const LauncherUi& ui);
// Everything a still frame's pixels depend on besides the clock, as text: two equal signatures
// give the same frame when the embers stand still.
std::wstring frameSignature(const LauncherUi& ui);
