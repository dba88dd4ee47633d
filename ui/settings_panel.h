// The display settings panel's state and what its controls do: the draft of the game's window size
// and interface scale, the save notice and its expiry. The panel is painted by settings_card.
#pragma once

#include <cstdint>
#include <string>

#include "display/display_settings.h"
#include "ui/click_id.h"
#include "update/speed_cap.h"

struct SettingsPanel {
    bool open = false;
    DisplaySettings draft;
    uint32_t speedCapKiB = 0;  // the download cap chosen, one of kSpeedCapSteps; 0 none
    uint32_t noticeAt = 0;     // tick the save notice appeared; 0 no notice
    bool noticeIsError = false;
};

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
// The cap chip's label ("unlimited" or its MB/s alone, the row's label names the unit) and the name
// a screen reader gives it (with the unit).
std::wstring speedChipLabel(int index);
std::wstring speedChipName(int index);
// The chip a stored cap selects: the step it equals; a cap set by hand to another value selects none.
int speedChipFor(uint32_t kibPerSecond);
// The Windows scale in percent, rounded to the nearest: 96 -> 100, 120 -> 125, 144 -> 150.
int windowsScalePercent(int dpi);

// Handles the panel's controls (close to save); false for ids it does not own (the backdrop
// included). Only "Save" writes the game's files.
bool onSettingsClick(SettingsPanel& panel, const std::wstring& gameFolder, ClickId id);
// Opens the panel with the draft loaded from the game's files and the download cap from koruma; the
// notice is cleared.
void openDisplaySettings(SettingsPanel& panel, const std::wstring& gameFolder);
void saveDisplaySettings(SettingsPanel& panel, const std::wstring& gameFolder);
// The window timer's rule for the save notice: a success notice ends after more than 1400 ms and
// closes the panel, an error notice ends after more than 5000 ms and leaves it open. True when the
// notice ended.
bool expireSettingsNotice(SettingsPanel& panel, uint32_t now);
