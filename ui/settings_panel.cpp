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

int windowsScalePercent(int dpi) {
    return (dpi * 100 + 48) / 96;
}

bool onSettingsClick(SettingsPanel& panel, const std::wstring& gameFolder, ClickId id) {
    const ScreenSize usable = usableScreen(panel.draft);
    const int size = sizeChipIndex(id);
    const int scale = scaleChipIndex(id);
    if (id == ClickId::PanelClose || id == ClickId::PanelCancel) {
        panel.open = false;
    } else if (id == ClickId::FillScreenChip) {
        chooseSize(panel, usable);
    } else if (size >= 0) {
        if (fitsScreen(kScreenSizeChoices[size], usable)) chooseSize(panel, kScreenSizeChoices[size]);
    } else if (scale >= 0) {
        panel.draft.interfaceScale = kInterfaceScaleChoices[scale];
        panel.noticeAt = 0;
    } else if (id == ClickId::PanelDefault) {
        chooseSize(panel, firstStartWindowSize(usable));
        panel.draft.interfaceScale = 1.2f;
    } else if (id == ClickId::PanelSave) {
        saveDisplaySettings(panel, gameFolder);
    } else {
        return false;
    }
    return true;
}

void openDisplaySettings(SettingsPanel& panel, const std::wstring& gameFolder) {
    loadDisplaySettings(gameFolder, systemDpi(), panel.draft);
    panel.noticeAt = 0;
    panel.noticeIsError = false;
    panel.open = true;
}

void saveDisplaySettings(SettingsPanel& panel, const std::wstring& gameFolder) {
    bool ok = storeDisplaySettings(gameFolder, systemDpi(), panel.draft);
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
