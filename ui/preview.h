// Renders the thirteen fixed screen states at scales 1.0 and 1.5 into PNG files, without window,
// timer, worker or server.
#pragma once

#include <string>

#include "ui/launcher_ui.h"

bool renderPreview(LauncherUi& ui, const std::wstring& folder);
