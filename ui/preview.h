// Renders the thirteen fixed screen states at scales 1.0 and 1.5 into PNG files, without window,
// timer, worker or server.
#pragma once

#include <string>

#include "ui/launcher_ui.h"

bool renderPreview(LauncherUi& ui, const std::wstring& folder);

// Puts ui into the fixed state of that name ("indirme", "hazir", ...): the sample list and news,
// the window's own state reset, then the state's changes. False for an unknown name.
bool showPreviewState(LauncherUi& ui, const std::wstring& name);
