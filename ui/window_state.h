// The window's own state: its identity and show command, the scale it paints at, the controls of
// the last frame and the pointer's relation to them, and the animated background.
#pragma once

#include <windows.h>

#include <vector>

#include "ui/animation.h"
#include "ui/click_id.h"
#include "ui/hit_regions.h"

struct WindowState {
    HINSTANCE instance = nullptr;
    HWND handle = nullptr;
    int showCommand = 1;   // the process's show command; see showWindow in window.cpp
    float uiScale = 1.0f;  // DPI / 96: design units to device pixels
    bool closing = false;  // WM_CLOSE seen: the timer does nothing more

    HitRegions hitRegions;  // rebuilt by every paint
    ClickId hoverId = ClickId::None;
    ClickId pressedId = ClickId::None;  // pressed and captured; a release on it is a click
    bool trackingMouse = false;         // a leave notification is requested

    std::vector<Particle> particles = generateParticles();
    AnimationClock clock;  // last, so that animation time starts when the rest is in place
};
