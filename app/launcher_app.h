// The one application object: window state, drawing resources, the install and display-settings
// drafts, the UI's copy of the engine status, and the update engine it owns.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/startup.h"
#include "display/display_settings.h"
#include "update/updater.h"

struct Particle {
    float x, y, riseSpeed, size, phase, alpha;
};

struct HitRegion {
    int id = 0;
    float x = 0, y = 0, width = 0, height = 0;
    bool clickable = false;
};

struct BackBuffer {
    int width = 0;
    int height = 0;
    HDC memoryDc = nullptr;
    HBITMAP dibSection = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    void* pixels = nullptr;
    Gdiplus::GpBitmap* bitmap = nullptr;  // drawing-library bitmap over the DIB's own bits
};

constexpr int kParticleCount = 70;
// The fixed particle set: a multiplicative congruential generator seeded with 7.
std::vector<Particle> generateParticles();

struct LauncherApp {
    LauncherApp();
    LauncherApp(const LauncherApp&) = delete;
    LauncherApp& operator=(const LauncherApp&) = delete;

    HINSTANCE instance = nullptr;
    HWND window = nullptr;

    bool installMode = false;
    bool afterSelfUpdate = false;
    std::wstring launcherFolder;
    std::wstring launcherExePath;
    std::wstring passThroughArgs;
    int showCommand = 1;

    bool installing = false;
    bool closing = false;
    float uiScale = 1.0f;

    BackBuffer backBuffer;
    std::vector<uint8_t> backgroundPixels;

    IStream* imageStreams[5] = {};
    Gdiplus::GpImage* images[5] = {};          // resources 101-105
    Gdiplus::GpBitmap* scaledButtons[4] = {};  // 102-105 at the current uiScale

    Gdiplus::GpFont* uiFonts[8] = {};
    Gdiplus::GpStringFormat* uiStringFormat = nullptr;
    std::vector<HitRegion> hitRegions;
    int hoverId = 0;
    int pressedId = 0;
    bool trackingMouse = false;

    std::vector<Particle> particles;

    LARGE_INTEGER clockFrequency{};
    LARGE_INTEGER clockStart{};

    Updater updater;
    StatusSnapshot status;
    bool selfUpdateRestartHandled = false;

    std::wstring installFolder;
    bool desktopShortcut = true;
    bool startMenuShortcut = true;
    uint64_t freeBytes = 0;
    uint32_t freeBytesCheckedAt = 0;

    bool frozenClock = false;
    double frozenTime = 0;

    bool settingsOpen = false;
    DisplaySettings display;
    uint32_t noticeAt = 0;
    bool noticeIsError = false;
};
