#include "ui/settings_panel.h"

#include <algorithm>

#include "app/launcher_app.h"
#include "display/display_settings.h"
#include "ui/frame.h"
#include "ui/gdiplus_handles.h"
#include "ui/text_table.h"
#include "ui/window.h"

using namespace Gdiplus::DllExports;

namespace {

constexpr int kBackdrop = 12, kClose = 13, kFirstSize = 14, kFillScreen = 19, kFirstScale = 20, kDefault = 24,
              kCancel = 25, kSave = 26;

constexpr ARGB kGold = 0xFFF2C94C;
constexpr ARGB kDeepGold = 0xFFD9A83A;
constexpr ARGB kCream = 0xFFF1E6C0;
constexpr ARGB kMuted = 0xFFB5A888;
constexpr ARGB kDim = 0xFF6D6455;
constexpr ARGB kRed = 0xFFE0544A;
constexpr ARGB kGreen = 0xFF8FD16A;
constexpr ARGB kPanel = 0xFF15100B;

constexpr float kCardX = 190, kCardY = 55, kCardWidth = 580, kCardHeight = 450;
constexpr float kLeft = 220, kRight = 740;
constexpr float kChipHeight = 30;

// Everything one paint needs to know about the screen, taken fresh each time: the DPI and the
// taskbar can change while the panel is open.
struct PanelScreen {
    ScreenSize usable;
    ScreenSize full;
    int dpi;
};

PanelScreen currentScreen(const LauncherApp& app) {
    return {usableScreen(app.display), fullScreen(app.display), effectiveDpi(app.display, systemDpi())};
}

int percentOf(float scale) {
    return static_cast<int>(scale * 100 + 0.5f);
}

void fillRect(GpGraphics* g, ARGB colour, float x, float y, float width, float height) {
    UniqueBrush brush = solidBrush(colour);
    if (brush) GdipFillRectangle(g, brush.get(), x, y, width, height);
}

void drawLine(GpGraphics* g, ARGB colour, float width, float x1, float y1, float x2, float y2) {
    UniquePen pen = solidPen(colour, width);
    if (pen) GdipDrawLine(g, pen.get(), x1, y1, x2, y2);
}

void paintCard(GpGraphics* g) {
    for (int k = 4; k >= 1; --k) {
        float spread = 3.0f * k;
        ARGB shadow = static_cast<ARGB>(70 - 14 * k) << 24;
        fillRoundedRect(
            g, RectF{kCardX - spread, 61 - spread, kCardWidth + 2 * spread, kCardHeight + 2 * spread},
            spread + 10, shadow);
    }
    RectF card{kCardX, kCardY, kCardWidth, kCardHeight};
    UniqueBrush body = lineBrush(0, 54.5f, 0xFF1A130C, 0, 505.5f, 0xFF0F0B07);
    fillRoundedRect(g, card, 10, body.get());
    strokeRoundedRect(g, card, 10, 0xFF8A6A2A);
    strokeRoundedRect(g, RectF{191, 56, 578, 448}, 9, 0xFF2A200F);
}

void paintTitle(LauncherApp& app, GpGraphics* g) {
    Gdiplus::GpStatus status = Gdiplus::Ok;
    GpFont* font = createFontWithFallback(L"Trebuchet MS", 18, Gdiplus::FontStyleBold, &status);
    if (status != Gdiplus::Ok) {
        if (font) GdipDeleteFont(font);
        font = createFontWithFallback(L"Tahoma", 17, Gdiplus::FontStyleBold, &status);
    }
    if (!font) return;
    const std::wstring title = texts()[SettingsHeading];
    const float spacing = 4;
    // The advance ends with one spacing after the last letter; centring leaves it out so the
    // letters themselves sit in the middle of the card.
    float width = drawSpacedText(app, g, title, font, kGold, 0, 0, spacing, true) - spacing;
    drawSpacedText(app, g, title, font, kGold, kCardX + (kCardWidth - width) / 2, 72, spacing, false);
    GdipDeleteFont(font);
}

void paintCloseButton(LauncherApp& app, GpGraphics* g) {
    addHitRegion(app, kClose, 730, 67, 28, 24, true);
    bool hovered = app.hoverId == kClose;
    if (hovered) fillRoundedRect(g, RectF{730, 67, 28, 24}, 4, 0x40E0544A);
    ARGB glyph = hovered ? 0xFFFFFFFF : kMuted;
    drawLine(g, glyph, 1.6f, 739.5f, 74.5f, 748.5f, 83.5f);
    drawLine(g, glyph, 1.6f, 748.5f, 74.5f, 739.5f, 83.5f);
}

void paintSeparator(GpGraphics* g) {
    UniqueBrush brush = lineBrush(219.5f, 0, 0x008A6A2A, 740.5f, 0, 0x008A6A2A);
    if (!brush) return;
    const ARGB colours[3] = {0x008A6A2A, 0xFF8A6A2A, 0x008A6A2A};
    const float positions[3] = {0, 0.5f, 1};
    setGradientStops(static_cast<GpLineGradient*>(brush.get()), colours, positions, 3);
    GdipFillRectangle(g, brush.get(), kLeft, 107, 520, 1);
}

// Lays out the six size chips from (220, 147), wrapping at x 740; returns the last row's y.
float paintSizeChips(LauncherApp& app, GpGraphics* g, const PanelScreen& screen) {
    float x = kLeft, y = 147;
    for (int i = 0; i <= kScreenSizeCount; ++i) {
        SizeChoice c = sizeChoice(app.display, screen.usable, i);
        float width = drawChip(app, g, kFirstSize + i, x, y, c.label, c.subLabel, c.selected, c.fits, true);
        if (x + width > kRight) {
            x = kLeft;
            y += 36;
        }
        drawChip(app, g, kFirstSize + i, x, y, c.label, c.subLabel, c.selected, c.fits, false);
        x += width + 6;
    }
    return y;
}

// The scale chips on one row; returns the right edge of the last chip.
float paintScaleChips(LauncherApp& app, GpGraphics* g, float y) {
    float x = kLeft, right = kLeft;
    for (int i = 0; i < kInterfaceScaleCount; ++i) {
        float scale = kInterfaceScaleChoices[i];
        std::wstring label = formatText(texts()[PercentFormat], percentOf(scale));
        float diff = app.display.interfaceScale - scale;
        bool selected = diff < 0.01f && diff > -0.01f;
        float width = drawChip(app, g, kFirstScale + i, x, y, label, L"", selected, true, false);
        right = x + width;
        x += width + 6;
    }
    return right;
}

void paintPreviewBox(LauncherApp& app, GpGraphics* g, const PanelScreen& screen, float y0) {
    fillRoundedRect(g, RectF{kLeft, y0, 190, 107}, 4, 0xFF0A0806);
    UniquePen frame = solidPen(0xFF5A4A2E, 2);
    GpPath* raw = nullptr;
    if (frame && GdipCreatePath(Gdiplus::FillModeAlternate, &raw) == Gdiplus::Ok) {
        UniquePath path(raw);
        addRoundedRect(path.get(), RectF{221, y0 + 1, 188, 105}, 3);
        GdipDrawPath(g, frame.get(), path.get());
    }

    float screenWidth = screen.full.width < 2 ? 1.0f : static_cast<float>(screen.full.width);
    float screenHeight = screen.full.height < 2 ? 1.0f : static_cast<float>(screen.full.height);
    float k = std::min(103 / screenHeight, 186 / screenWidth);
    // A width read from a damaged file can be negative; draw nothing rather than an inverted box.
    float w = std::max(0, app.display.windowWidth) * k;
    float h = std::max(0, app.display.windowHeight) * k;
    float x = kLeft + (190 - w) / 2, y = y0 + (107 - h) / 2;
    fillRect(g, 0x28F2C94C, x, y, w, h);
    UniquePen outline = solidPen(kGold, 1);
    if (outline && w > 1 && h > 1) GdipDrawRectangle(g, outline.get(), x + 0.5f, y + 0.5f, w - 1, h - 1);

    GpFont* font = app.uiFonts[1];
    std::wstring label = formatText(L"%d×%d", app.display.windowWidth, app.display.windowHeight);
    float labelWidth = measureText(app, g, label, font);
    drawText(app, g, label, font, kGold, kLeft + (190 - labelWidth) / 2, y0 + (107 - lineHeight(font)) / 2);
}

void paintTextLines(LauncherApp& app, GpGraphics* g, const PanelScreen& screen, float y0) {
    const TextTable& t = texts();
    GpFont* font = app.uiFonts[2];
    const float x = 430;
    drawEmphasisText(app, g, formatText(t[WindowLine], app.display.windowWidth, app.display.windowHeight),
                     font, kMuted, kCream, x, y0 + 2, false);
    drawEmphasisText(
        app, g,
        formatText(t[ScreenLine], screen.full.width, screen.full.height, windowsScalePercent(screen.dpi)),
        font, kMuted, kCream, x, y0 + 22, false);
    Gdiplus::GraphicsState state = 0;
    GdipSaveGraphics(g, &state);
    GdipSetClipRect(g, x, y0 + 40, 310, 22, Gdiplus::CombineModeReplace);
    drawEmphasisText(app, g, formatText(t[InterfaceLine], percentOf(app.display.interfaceScale)), font,
                     kMuted, kCream, x, y0 + 42, false);
    GdipRestoreGraphics(g, state);
    drawText(app, g, t[OpensAtThisSize], font, kMuted, x, y0 + 62);
}

void paintButtons(LauncherApp& app, GpGraphics* g) {
    const TextTable& t = texts();
    const float y = 455;
    drawChip(app, g, kDefault, kLeft, y, t[DefaultButton], L"", false, true, false);
    float saveWidth = drawChip(app, g, kSave, 0, y, t[SaveButton], L"", true, true, true);
    float cancelWidth = drawChip(app, g, kCancel, 0, y, t[CancelButton], L"", false, true, true);
    float saveX = kRight - saveWidth;
    drawChip(app, g, kCancel, saveX - 8 - cancelWidth, y, t[CancelButton], L"", false, true, false);
    drawChip(app, g, kSave, saveX, y, t[SaveButton], L"", true, true, false);
}

void paintNotice(LauncherApp& app, GpGraphics* g) {
    if (app.noticeAt == 0) return;
    const TextTable& t = texts();
    std::wstring text = app.noticeIsError
                            ? std::wstring(t[SettingsWriteFailed])
                            : formatText(t[SavedNotice], app.display.windowWidth, app.display.windowHeight);
    GpFont* font = app.uiFonts[4];
    float width = measureText(app, g, text, font) + 28;
    RectF pill{kCardX + (kCardWidth - width) / 2, 411, width, kChipHeight};
    ARGB colour = app.noticeIsError ? kRed : kGreen;
    fillRoundedRect(g, pill, 5, kPanel);
    strokeRoundedRect(g, pill, 5, colour);
    drawText(app, g, text, font, colour, pill.x + 14, pill.y + (kChipHeight - lineHeight(font)) / 2);
}

void chooseSize(LauncherApp& app, ScreenSize size) {
    app.display.windowWidth = size.width;
    app.display.windowHeight = size.height;
    app.noticeAt = 0;
}

}  // namespace

SizeChoice sizeChoice(const DisplaySettings& draft, ScreenSize usable, int index) {
    SizeChoice c;
    bool fill = index == kScreenSizeCount;
    c.size = fill ? usable : kScreenSizeChoices[index];
    c.fits = fitsScreen(c.size, usable);
    c.selected = c.fits && c.size.width == draft.windowWidth && c.size.height == draft.windowHeight;
    if (fill) {
        c.label = texts()[FillScreen];
        c.subLabel = formatText(L"%d×%d", c.size.width, c.size.height);
    } else {
        c.label = formatText(L"%d × %d", c.size.width, c.size.height);
        if (!c.fits) c.subLabel = texts()[TooBig];
    }
    return c;
}

int windowsScalePercent(int dpi) {
    return (dpi * 100 + 48) / 96;
}

float drawChip(LauncherApp& app, GpGraphics* g, int id, float x, float y, const std::wstring& label,
               const std::wstring& subLabel, bool selected, bool enabled, bool measureOnly) {
    GpFont* labelFont = app.uiFonts[4];
    GpFont* subFont = app.uiFonts[0];
    float labelWidth = measureText(app, g, label, labelFont);
    float width = labelWidth + 24;
    if (!subLabel.empty()) width += measureText(app, g, subLabel, subFont) + 5;
    if (measureOnly) return width;

    addHitRegion(app, id, x, y, width, kChipHeight, enabled);
    bool hovered = enabled && app.hoverId == id;
    RectF body{x, y, width, kChipHeight};
    ARGB outline, text;
    if (selected) {
        UniqueBrush fill = lineBrush(0, y - 0.5f, 0xFFFFE39A, 0, y + 30.5f, kDeepGold);
        fillRoundedRect(g, body, 5, fill.get());
        outline = kGold;
        text = 0xFF1B1206;
    } else {
        fillRoundedRect(g, body, 5, enabled ? kPanel : 0xFF100C08);
        outline = !enabled ? 0xFF2E261B : hovered ? kDeepGold : 0xFF4E4130;
        text = enabled ? kCream : kDim;
    }
    strokeRoundedRect(g, body, 5, outline);
    drawText(app, g, label, labelFont, text, x + 12, y + (kChipHeight - lineHeight(labelFont)) / 2);
    if (!subLabel.empty())
        drawText(app, g, subLabel, subFont, selected ? 0xFF4A3410 : kDim, x + 12 + labelWidth + 5,
                 y + (kChipHeight - lineHeight(subFont)) / 2 + 1);
    return width;
}

void paintDisplaySettings(LauncherApp& app, GpGraphics* g) {
    const TextTable& t = texts();
    PanelScreen screen = currentScreen(app);

    addHitRegion(app, kBackdrop, 0, 0, 960, 560, false);
    fillRect(g, 0x9E000000, 0, 0, 960, 560);
    paintCard(g);
    paintTitle(app, g);
    paintCloseButton(app, g);
    paintSeparator(g);

    drawText(app, g, t[WindowSizeLabel], app.uiFonts[4], kMuted, kLeft, 125);
    float sizeRowY = paintSizeChips(app, g, screen);
    drawText(app, g, t[InterfaceSizeLabel], app.uiFonts[4], kMuted, kLeft, sizeRowY + 46);
    float scaleRowY = sizeRowY + 68;
    float scaleRight = paintScaleChips(app, g, scaleRowY);
    if (screen.full.height <= 800) {
        GpFont* font = app.uiFonts[0];
        drawText(app, g, t[SmallScreenAdvice], font, kDim, scaleRight + 10,
                 scaleRowY + (kChipHeight - lineHeight(font)) / 2);
    }

    float y0 = scaleRowY + 46;
    paintPreviewBox(app, g, screen, y0);
    paintTextLines(app, g, screen, y0);
    paintButtons(app, g);
    paintNotice(app, g);
}

bool onSettingsClick(LauncherApp& app, int id) {
    if (id < kClose || id > kSave) return false;
    ScreenSize usable = usableScreen(app.display);
    if (id == kClose || id == kCancel) {
        app.settingsOpen = false;
    } else if (id >= kFirstSize && id < kFillScreen) {
        ScreenSize size = kScreenSizeChoices[id - kFirstSize];
        if (fitsScreen(size, usable)) chooseSize(app, size);
    } else if (id == kFillScreen) {
        chooseSize(app, usable);
    } else if (id >= kFirstScale && id < kDefault) {
        app.display.interfaceScale = kInterfaceScaleChoices[id - kFirstScale];
        app.noticeAt = 0;
    } else if (id == kDefault) {
        chooseSize(app, firstStartWindowSize(usable));
        app.display.interfaceScale = 1.2f;
    } else if (id == kSave) {
        saveDisplaySettings(app);
    }
    return true;
}

void openDisplaySettings(LauncherApp& app) {
    loadDisplaySettings(app.launcherFolder, systemDpi(), app.display);
    app.noticeAt = 0;
    app.noticeIsError = false;
    app.settingsOpen = true;
}

void saveDisplaySettings(LauncherApp& app) {
    bool ok = storeDisplaySettings(app.launcherFolder, systemDpi(), app.display);
    app.noticeIsError = !ok;
    DWORD now = GetTickCount();
    app.noticeAt = now != 0 ? now : 1;
}

bool expireSettingsNotice(LauncherApp& app, uint32_t now) {
    if (app.noticeAt == 0) return false;
    uint32_t lifetime = app.noticeIsError ? 5000 : 1400;
    if (now - app.noticeAt <= lifetime) return false;
    app.noticeAt = 0;
    if (!app.noticeIsError) app.settingsOpen = false;
    return true;
}
