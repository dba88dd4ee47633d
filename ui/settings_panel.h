// The display settings panel, a modal card over the main screen, and its click ids 12-26.
#pragma once

#include <cstdint>
#include <string>

#include "display/display_settings.h"
#include "ui/drawing.h"

struct LauncherApp;

// One of the six window-size chips (index 5 is "Fill screen") as the panel shows it for a draft
// and a usable screen: only sizes that fit are enabled and selectable.
struct SizeChoice {
    ScreenSize size;
    bool fits = false;
    bool selected = false;
    std::wstring label;
    std::wstring subLabel;
};
SizeChoice sizeChoice(const DisplaySettings& draft, ScreenSize usable, int index);
// The Windows scale in percent, rounded to the nearest: 96 -> 100, 120 -> 125, 144 -> 150.
int windowsScalePercent(int dpi);

void paintDisplaySettings(LauncherApp& app, GpGraphics* g);
float drawChip(LauncherApp& app, GpGraphics* g, int id, float x, float y, const std::wstring& label,
               const std::wstring& subLabel, bool selected, bool enabled, bool measureOnly);
// Handles ids 13-26; false for ids it does not own.
bool onSettingsClick(LauncherApp& app, int id);
// LauncherApp operations over the draft (display/ holds the file logic).
void openDisplaySettings(LauncherApp& app);
void saveDisplaySettings(LauncherApp& app);
// The window timer's rule for the save notice: a success notice ends after more than 1400 ms and
// closes the panel, an error notice ends after more than 5000 ms and leaves it open. True when the
// notice ended.
bool expireSettingsNotice(LauncherApp& app, uint32_t now);
