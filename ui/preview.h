// Renders the thirteen fixed screen states at scales 1.0 and 1.5 into PNG files, once in the
// design's look and once with a fixed high-contrast scheme, without window, timer, worker or server.
#pragma once

#include <string>

#include "ui/launcher_ui.h"

// Writes <state>_<100|150>.png, then <state>_kontrast_<100|150>.png (52 files); false at the first
// file that cannot be written.
bool renderPreview(LauncherUi& ui, const std::wstring& folder);

// Puts ui into the fixed state of that name ("indirme", "hazir", ...): the sample list and news,
// the window's own state reset, then the state's changes. False for an unknown name.
bool showPreviewState(LauncherUi& ui, const std::wstring& name);
