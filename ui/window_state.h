// The window's own state: its identity and show command, the scale and look it paints with, the
// controls of the last frame with the pointer's and the keyboard's relation to them, and the
// animated background.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/animation.h"
#include "ui/click_id.h"
#include "ui/hit_regions.h"
#include "ui/look.h"

struct WindowState {
    HINSTANCE instance = nullptr;
    HWND handle = nullptr;
    int showCommand = 1;   // the process's show command; see showWindow in window.cpp
    float uiScale = 1.0f;  // DPI / 96: design units to device pixels
    bool closing = false;  // WM_CLOSE seen: the timer does nothing more
    Look look;             // the design's or high contrast; animations on or off

    HitRegions hitRegions;  // rebuilt by every paint
    ClickId hoverId = ClickId::None;
    ClickId pressedId = ClickId::None;  // pressed and captured; a release on it is a click
    bool trackingMouse = false;         // a leave notification is requested
    // Keyboard focus; None until Tab is used, and again after a mouse click. Enter runs the
    // primary action while no control has it.
    ClickId focusId = ClickId::None;
    bool focusCues = true;  // WM_QUERYUISTATE: the focus ring shows (after keyboard use)

    // With animations off, a frame is painted only when what it shows changed (or a second passed).
    std::wstring paintedSignature;
    uint32_t paintedAt = 0;

    std::vector<Particle> particles = generateParticles();
    AnimationClock clock;  // last, so that animation time starts when the rest is in place
};
