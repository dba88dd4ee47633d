#include "ui/settings_card.h"

#include <algorithm>

#include "ui/controls.h"
#include "ui/dpi.h"
#include "ui/drawing.h"
#include "ui/palette.h"
#include "ui/text_table.h"

using namespace Gdiplus::DllExports;

namespace {

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

PanelScreen currentScreen(const LauncherUi& ui) {
    return {usableScreen(ui.settings.draft), fullScreen(ui.settings.draft),
            effectiveDpi(ui.settings.draft, systemDpi())};
}

int percentOf(float scale) {
    return static_cast<int>(scale * 100 + 0.5f);
}

float drawChip(LauncherUi& ui, GpGraphics* graphics, ClickId id, float x, float y, const std::wstring& label,
               const std::wstring& subLabel, bool selected, bool enabled, bool measureOnly) {
    GpFont* labelFont = ui.drawing.font(FontId::Regular13);
    GpFont* subFont = ui.drawing.font(FontId::Regular11);
    float labelWidth = measureText(ui.drawing, graphics, label, labelFont);
    float width = labelWidth + 24;
    if (!subLabel.empty()) width += measureText(ui.drawing, graphics, subLabel, subFont) + 5;
    if (measureOnly) return width;

    addHitRegion(ui.window.hitRegions, id, x, y, width, kChipHeight, enabled);
    bool hovered = enabled && ui.window.hoverId == id;
    RectF body{x, y, width, kChipHeight};
    ARGB outline, text;
    if (selected) {
        UniqueBrush fill = lineBrush(0, y - 0.5f, 0xFFFFE39A, 0, y + 30.5f, kDeepGold);
        fillRoundedRect(graphics, body, 5, fill.get());
        outline = kGold;
        text = 0xFF1B1206;
    } else {
        fillRoundedRect(graphics, body, 5, enabled ? kPanel : 0xFF100C08);
        outline = !enabled ? 0xFF2E261B : hovered ? kDeepGold : kBorder;
        text = enabled ? kCream : kDim;
    }
    strokeRoundedRect(graphics, body, 5, outline);
    drawText(ui.drawing, graphics, label, labelFont, text, x + 12,
             y + (kChipHeight - lineHeight(ui.drawing, labelFont)) / 2);
    if (!subLabel.empty())
        drawText(ui.drawing, graphics, subLabel, subFont, selected ? 0xFF4A3410 : kDim,
                 x + 12 + labelWidth + 5, y + (kChipHeight - lineHeight(ui.drawing, subFont)) / 2 + 1);
    return width;
}

void paintCard(GpGraphics* graphics) {
    for (int k = 4; k >= 1; --k) {
        float spread = 3.0f * k;
        ARGB shadow = static_cast<ARGB>(70 - 14 * k) << 24;
        fillRoundedRect(
            graphics, RectF{kCardX - spread, 61 - spread, kCardWidth + 2 * spread, kCardHeight + 2 * spread},
            spread + 10, shadow);
    }
    RectF card{kCardX, kCardY, kCardWidth, kCardHeight};
    UniqueBrush body = lineBrush(0, 54.5f, 0xFF1A130C, 0, 505.5f, 0xFF0F0B07);
    fillRoundedRect(graphics, card, 10, body.get());
    strokeRoundedRect(graphics, card, 10, 0xFF8A6A2A);
    strokeRoundedRect(graphics, RectF{191, 56, 578, 448}, 9, 0xFF2A200F);
}

void paintTitle(LauncherUi& ui, GpGraphics* graphics) {
    GpFont* font = ui.drawing.settingsTitleFont.get();
    if (!font) return;
    const std::wstring title = texts()[TextId::SettingsHeading];
    const float spacing = 4;
    // The advance ends with one spacing after the last letter; centring leaves it out so the
    // letters themselves sit in the middle of the card.
    float width = drawSpacedText(ui.drawing, graphics, title, font, kGold, 0, 0, spacing, true) - spacing;
    drawSpacedText(ui.drawing, graphics, title, font, kGold, kCardX + (kCardWidth - width) / 2, 72, spacing,
                   false);
}

void paintSeparator(GpGraphics* graphics) {
    UniqueBrush brush = lineBrush(219.5f, 0, 0x008A6A2A, 740.5f, 0, 0x008A6A2A);
    if (!brush) return;
    const ARGB colours[3] = {0x008A6A2A, 0xFF8A6A2A, 0x008A6A2A};
    const float positions[3] = {0, 0.5f, 1};
    setGradientStops(static_cast<GpLineGradient*>(brush.get()), colours, positions, 3);
    GdipFillRectangle(graphics, brush.get(), kLeft, 107, 520, 1);
}

// Lays out the six size chips from (220, 147), wrapping at x 740; returns the last row's y.
float paintSizeChips(LauncherUi& ui, GpGraphics* graphics, const PanelScreen& screen) {
    float x = kLeft, y = 147;
    for (int i = 0; i <= kScreenSizeCount; ++i) {
        SizeChoice c = sizeChoice(ui.settings.draft, screen.usable, i);
        float width =
            drawChip(ui, graphics, sizeChipId(i), x, y, c.label, c.subLabel, c.selected, c.fits, true);
        if (x + width > kRight) {
            x = kLeft;
            y += 36;
        }
        drawChip(ui, graphics, sizeChipId(i), x, y, c.label, c.subLabel, c.selected, c.fits, false);
        x += width + 6;
    }
    return y;
}

// The scale chips on one row; returns the right edge of the last chip.
float paintScaleChips(LauncherUi& ui, GpGraphics* graphics, float y) {
    float x = kLeft, right = kLeft;
    for (int i = 0; i < kInterfaceScaleCount; ++i) {
        float scale = kInterfaceScaleChoices[i];
        std::wstring label = formatText(texts()[TextId::PercentFormat], percentOf(scale));
        float diff = ui.settings.draft.interfaceScale - scale;
        bool selected = diff < 0.01f && diff > -0.01f;
        float width = drawChip(ui, graphics, scaleChipId(i), x, y, label, L"", selected, true, false);
        right = x + width;
        x += width + 6;
    }
    return right;
}

void paintPreviewBox(LauncherUi& ui, GpGraphics* graphics, const PanelScreen& screen, float y0) {
    fillRoundedRect(graphics, RectF{kLeft, y0, 190, 107}, 4, 0xFF0A0806);
    UniquePen frame = solidPen(kTrackEdge, 2);
    GpPath* raw = nullptr;
    if (frame && GdipCreatePath(Gdiplus::FillModeAlternate, &raw) == Gdiplus::Ok) {
        UniquePath path(raw);
        addRoundedRect(path.get(), RectF{221, y0 + 1, 188, 105}, 3);
        GdipDrawPath(graphics, frame.get(), path.get());
    }

    float screenWidth = screen.full.width < 2 ? 1.0f : static_cast<float>(screen.full.width);
    float screenHeight = screen.full.height < 2 ? 1.0f : static_cast<float>(screen.full.height);
    float k = std::min(103 / screenHeight, 186 / screenWidth);
    // A width read from a damaged file can be negative; draw nothing rather than an inverted box.
    float w = std::max(0, ui.settings.draft.windowWidth) * k;
    float h = std::max(0, ui.settings.draft.windowHeight) * k;
    float x = kLeft + (190 - w) / 2, y = y0 + (107 - h) / 2;
    fillRect(graphics, 0x28F2C94C, x, y, w, h);
    UniquePen outline = solidPen(kGold, 1);
    if (outline && w > 1 && h > 1)
        GdipDrawRectangle(graphics, outline.get(), x + 0.5f, y + 0.5f, w - 1, h - 1);

    GpFont* font = ui.drawing.font(FontId::Bold11);
    std::wstring label = formatText(L"%d×%d", ui.settings.draft.windowWidth, ui.settings.draft.windowHeight);
    float labelWidth = measureText(ui.drawing, graphics, label, font);
    drawText(ui.drawing, graphics, label, font, kGold, kLeft + (190 - labelWidth) / 2,
             y0 + (107 - lineHeight(ui.drawing, font)) / 2);
}

void paintTextLines(LauncherUi& ui, GpGraphics* graphics, const PanelScreen& screen, float y0) {
    const TextTable& t = texts();
    GpFont* font = ui.drawing.font(FontId::Regular12);
    const float x = 430;
    drawEmphasisText(
        ui.drawing, graphics,
        formatText(t[TextId::WindowLine], ui.settings.draft.windowWidth, ui.settings.draft.windowHeight),
        font, kMuted, kCream, x, y0 + 2, false);
    drawEmphasisText(ui.drawing, graphics,
                     formatText(t[TextId::ScreenLine], screen.full.width, screen.full.height,
                                windowsScalePercent(screen.dpi)),
                     font, kMuted, kCream, x, y0 + 22, false);
    Gdiplus::GraphicsState state = 0;
    GdipSaveGraphics(graphics, &state);
    GdipSetClipRect(graphics, x, y0 + 40, 310, 22, Gdiplus::CombineModeReplace);
    drawEmphasisText(ui.drawing, graphics,
                     formatText(t[TextId::InterfaceLine], percentOf(ui.settings.draft.interfaceScale)), font,
                     kMuted, kCream, x, y0 + 42, false);
    GdipRestoreGraphics(graphics, state);
    drawText(ui.drawing, graphics, t[TextId::OpensAtThisSize], font, kMuted, x, y0 + 62);
}

void paintButtons(LauncherUi& ui, GpGraphics* graphics) {
    const TextTable& t = texts();
    const float y = 455;
    drawChip(ui, graphics, ClickId::PanelDefault, kLeft, y, t[TextId::DefaultButton], L"", false, true,
             false);
    float saveWidth =
        drawChip(ui, graphics, ClickId::PanelSave, 0, y, t[TextId::SaveButton], L"", true, true, true);
    float cancelWidth =
        drawChip(ui, graphics, ClickId::PanelCancel, 0, y, t[TextId::CancelButton], L"", false, true, true);
    float saveX = kRight - saveWidth;
    drawChip(ui, graphics, ClickId::PanelCancel, saveX - 8 - cancelWidth, y, t[TextId::CancelButton], L"",
             false, true, false);
    drawChip(ui, graphics, ClickId::PanelSave, saveX, y, t[TextId::SaveButton], L"", true, true, false);
}

void paintNotice(LauncherUi& ui, GpGraphics* graphics) {
    if (ui.settings.noticeAt == 0) return;
    const TextTable& t = texts();
    std::wstring text = ui.settings.noticeIsError
                            ? std::wstring(t[TextId::SettingsWriteFailed])
                            : formatText(t[TextId::SavedNotice], ui.settings.draft.windowWidth,
                                         ui.settings.draft.windowHeight);
    GpFont* font = ui.drawing.font(FontId::Regular13);
    float width = measureText(ui.drawing, graphics, text, font) + 28;
    RectF pill{kCardX + (kCardWidth - width) / 2, 411, width, kChipHeight};
    ARGB colour = ui.settings.noticeIsError ? kRed : kGreen;
    fillRoundedRect(graphics, pill, 5, kPanel);
    strokeRoundedRect(graphics, pill, 5, colour);
    drawText(ui.drawing, graphics, text, font, colour, pill.x + 14,
             pill.y + (kChipHeight - lineHeight(ui.drawing, font)) / 2);
}

}  // namespace

void paintDisplaySettings(LauncherUi& ui, GpGraphics* graphics, PaintLayer layer) {
    const TextTable& t = texts();
    if (paintsChanging(layer))
        addHitRegion(ui.window.hitRegions, ClickId::PanelBackdrop, 0, 0, 960, 560, false);
    if (paintsFixed(layer)) {
        fillRect(graphics, 0x9E000000, 0, 0, 960, 560);
        paintCard(graphics);
        paintTitle(ui, graphics);
    }
    paintCloseButton(ui, graphics, ClickId::PanelClose, RectF{730, 67, 28, 24}, layer);
    if (paintsFixed(layer)) paintSeparator(graphics);
    if (!paintsChanging(layer)) return;

    PanelScreen screen = currentScreen(ui);

    drawText(ui.drawing, graphics, t[TextId::WindowSizeLabel], ui.drawing.font(FontId::Regular13), kMuted,
             kLeft, 125);
    float sizeRowY = paintSizeChips(ui, graphics, screen);
    drawText(ui.drawing, graphics, t[TextId::InterfaceSizeLabel], ui.drawing.font(FontId::Regular13), kMuted,
             kLeft, sizeRowY + 46);
    float scaleRowY = sizeRowY + 68;
    float scaleRight = paintScaleChips(ui, graphics, scaleRowY);
    if (screen.full.height <= 800) {
        GpFont* font = ui.drawing.font(FontId::Regular11);
        drawText(ui.drawing, graphics, t[TextId::SmallScreenAdvice], font, kDim, scaleRight + 10,
                 scaleRowY + (kChipHeight - lineHeight(ui.drawing, font)) / 2);
    }

    float y0 = scaleRowY + 46;
    paintPreviewBox(ui, graphics, screen, y0);
    paintTextLines(ui, graphics, screen, y0);
    paintButtons(ui, graphics);
    paintNotice(ui, graphics);
}
