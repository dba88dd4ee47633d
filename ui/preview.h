// Renders the thirteen fixed screen states at scales 1.0 and 1.5 into PNG files, without window,
// timer, worker or server.
#pragma once

#include <string>

struct LauncherApp;

bool renderPreview(LauncherApp& app, const std::wstring& folder);
