#include "ui/settings_panel.h"

#include <windows.h>

#include "ui/dpi.h"
#include "ui/text_table.h"

namespace {

void chooseSize(SettingsPanel& panel, ScreenSize size) {
    panel.draft.windowWidth = size.width;
    panel.draft.windowHeight = size.height;
    panel.noticeAt = 0;
}

}  // namespace

SizeChoice sizeChoice(const DisplaySettings& draft, ScreenSize usable, int index) {
    SizeChoice c;
    bool fill = index == kScreenSizeCount;
    c.size = fill ? usable : kScreenSizeChoices[index];
    c.fits = fitsScreen(c.size, usable);
    c.selected = c.fits && c.size.width == draft.windowWidth && c.size.height == draft.windowHeight;
    if (fill) {
        c.label = texts()[TextId::FillScreen];
        c.subLabel = formatText(L"%d×%d", c.size.width, c.size.height);
    } else {
        c.label = formatText(L"%d × %d", c.size.width, c.size.height);
        if (!c.fits) c.subLabel = texts()[TextId::TooBig];
    }
    return c;
}

std::wstring speedChipLabel(int index) {
    if (index <= 0 || index >= kSpeedCapStepCount) return texts()[TextId::SpeedUnlimited];
    return formatText(L"%u", kSpeedCapSteps[index] / 1024);
}

std::wstring speedChipName(int index) {
    if (index <= 0 || index >= kSpeedCapStepCount) return texts()[TextId::SpeedUnlimited];
    return formatText(texts()[TextId::SpeedChipName], static_cast<int>(kSpeedCapSteps[index] / 1024));
}

int speedChipFor(uint32_t kibPerSecond) {
    for (int i = 0; i < kSpeedCapStepCount; ++i)
        if (kSpeedCapSteps[i] == kibPerSecond) return i;
    return -1;
}

int windowsScalePercent(int dpi) {
    return (dpi * 100 + 48) / 96;
}

bool onSettingsClick(SettingsPanel& panel, const std::wstring& gameFolder, ClickId id) {
    const ScreenSize usable = usableScreen(panel.draft);
    const int size = sizeChipIndex(id);
    const int scale = scaleChipIndex(id);
    const int speed = speedChipIndex(id);
    if (id == ClickId::PanelClose || id == ClickId::PanelCancel) {
        panel.open = false;
    } else if (id == ClickId::FillScreenChip) {
        chooseSize(panel, usable);
    } else if (size >= 0) {
        if (fitsScreen(kScreenSizeChoices[size], usable)) chooseSize(panel, kScreenSizeChoices[size]);
    } else if (scale >= 0) {
        panel.draft.interfaceScale = kInterfaceScaleChoices[scale];
        panel.noticeAt = 0;
    } else if (speed >= 0) {
        panel.speedCapKiB = kSpeedCapSteps[speed];
        panel.noticeAt = 0;
    } else if (id == ClickId::PanelDefault) {
        chooseSize(panel, firstStartWindowSize(usable));
        panel.draft.interfaceScale = 1.2f;
        panel.speedCapKiB = 0;
    } else if (id == ClickId::PanelSave) {
        saveDisplaySettings(panel, gameFolder);
    } else {
        return false;
    }
    return true;
}

void openDisplaySettings(SettingsPanel& panel, const std::wstring& gameFolder) {
    loadDisplaySettings(gameFolder, systemDpi(), panel.draft);
    panel.speedCapKiB = readSpeedCapChoice(gameFolder);
    panel.noticeAt = 0;
    panel.noticeIsError = false;
    panel.open = true;
}

void saveDisplaySettings(SettingsPanel& panel, const std::wstring& gameFolder) {
    // Both are kept, each durably; the notice reports a failure of either.
    bool ok = storeDisplaySettings(gameFolder, systemDpi(), panel.draft);
    ok = writeSpeedCapChoice(gameFolder, panel.speedCapKiB) == 0 && ok;
    panel.noticeIsError = !ok;
    DWORD now = GetTickCount();
    panel.noticeAt = now != 0 ? now : 1;
}

bool expireSettingsNotice(SettingsPanel& panel, uint32_t now) {
    if (panel.noticeAt == 0) return false;
    uint32_t lifetime = panel.noticeIsError ? 5000 : 1400;
    if (now - panel.noticeAt <= lifetime) return false;
    panel.noticeAt = 0;
    if (!panel.noticeIsError) panel.open = false;
    return true;
}
