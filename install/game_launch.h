// Starting other executables: the general process starter and the game client with a fresh token
// in "QORVANE_BELGE" and on its command line.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct LaunchResult {
    bool started = false;
    uint32_t errorCode = 0;
};
LaunchResult launchGame(HWND ownerWindow, const std::wstring& gameFolder);
