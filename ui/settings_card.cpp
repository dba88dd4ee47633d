#include "ui/settings_card.h"

#include <algorithm>

#include "ui/controls.h"
#include "ui/dpi.h"
#include "ui/drawing.h"
#include "ui/palette.h"
#include "ui/text_fit.h"
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

// The chip's colours: body fill (0 when a gradient fills it), outline, label and sub-label.
struct ChipColours {
    ARGB fill, outline, label, subLabel;
};

ChipColours chipColours(const Look& look, bool selected, bool enabled, bool hovered) {
    if (look.highContrast) {
        const ContrastColours& c = look.colours;
        if (selected) return {c.highlight, c.buttonText, c.highlightText, c.highlightText};
        if (!enabled) return {c.buttonFace, c.grayText, c.grayText, c.grayText};
        return {c.buttonFace, hovered ? c.highlight : c.buttonText, c.buttonText, c.buttonText};
    }
    if (selected) return {0, kGold, 0xFF1B1206, 0xFF4A3410};
    if (!enabled) return {0xFF100C08, 0xFF2E261B, kDim, kDim};
    return {kPanel, hovered ? kDeepGold : kBorder, kCream, kDim};
}

// A chip as wide as its texts, never reaching past maxRight: its label is cut with an ellipsis
// first. Returns its width.
float drawChip(LauncherUi& ui, GpGraphics* graphics, ClickId id, float x, float y, const std::wstring& label,
               const std::wstring& subLabel, bool selected, bool enabled, bool measureOnly,
               float maxRight = kRight) {
    GpFont* labelFont = ui.drawing.font(FontId::Regular13);
    GpFont* subFont = ui.drawing.font(FontId::Regular11);
    const float subWidth = subLabel.empty() ? 0 : measureText(ui.drawing, graphics, subLabel, subFont) + 5;
    const RectF labelBox{x + 12, y, maxRight - 12 - subWidth - (x + 12), kChipHeight};
    float labelWidth =
        measureText(ui.drawing, graphics,
                    fitWithEllipsis(ui.drawing, graphics, label, labelFont, labelBox.width), labelFont);
    float width = labelWidth + 24 + subWidth;
    if (measureOnly) return width;

    addHitRegion(ui.window.hitRegions, id, x, y, width, kChipHeight, enabled);
    const Look& look = ui.window.look;
    bool hovered = enabled && ui.window.hoverId == id;
    const ChipColours colours = chipColours(look, selected, enabled, hovered);
    RectF body{x, y, width, kChipHeight};
    if (selected && !look.highContrast) {
        UniqueBrush fill = lineBrush(0, y - 0.5f, 0xFFFFE39A, 0, y + 30.5f, kDeepGold);
        fillRoundedRect(graphics, body, 5, fill.get());
    } else {
        fillRoundedRect(graphics, body, 5, colours.fill);
    }
    strokeRoundedRect(graphics, body, 5, colours.outline);
    drawLineIn(ui.drawing, graphics, label, labelFont, colours.label, labelBox,
               y + (kChipHeight - lineHeight(ui.drawing, labelFont)) / 2);
    if (!subLabel.empty()) {
        const float subX = x + 12 + labelWidth + 5;
        drawLineIn(ui.drawing, graphics, subLabel, subFont, colours.subLabel,
                   RectF{subX, y, maxRight - 12 - subX, kChipHeight},
                   y + (kChipHeight - lineHeight(ui.drawing, subFont)) / 2 + 1);
    }
    return width;
}

void paintCard(const Look& look, GpGraphics* graphics) {
    RectF card{kCardX, kCardY, kCardWidth, kCardHeight};
    if (look.highContrast) {
        fillRoundedRect(graphics, card, 10, look.colours.window);
        strokeRoundedRect(graphics, card, 10, look.colours.windowText);
        strokeRoundedRect(graphics, RectF{191, 56, 578, 448}, 9, look.colours.windowText);
        return;
    }
    for (int k = 4; k >= 1; --k) {
        float spread = 3.0f * k;
        ARGB shadow = static_cast<ARGB>(70 - 14 * k) << 24;
        fillRoundedRect(
            graphics, RectF{kCardX - spread, 61 - spread, kCardWidth + 2 * spread, kCardHeight + 2 * spread},
            spread + 10, shadow);
    }
    UniqueBrush body = lineBrush(0, 54.5f, 0xFF1A130C, 0, 505.5f, 0xFF0F0B07);
    fillRoundedRect(graphics, card, 10, body.get());
    strokeRoundedRect(graphics, card, 10, 0xFF8A6A2A);
    strokeRoundedRect(graphics, RectF{191, 56, 578, 448}, 9, 0xFF2A200F);
}

void paintTitle(LauncherUi& ui, GpGraphics* graphics) {
    GpFont* font = ui.drawing.settingsTitleFont.get();
    if (!font) return;
    // Centred on the card by its letters, clear of the close button on both sides.
    const float margin = kCardX + kCardWidth - 730 + 4;
    drawSpacedLineIn(ui.drawing, graphics, texts()[TextId::SettingsHeading], font,
                     pick(ui.window.look, kGold, Role::Text),
                     RectF{kCardX + margin, 64, kCardWidth - 2 * margin, 38}, 72, 4, Align::Centre);
}

void paintSeparator(const Look& look, GpGraphics* graphics) {
    if (look.highContrast) {
        fillRect(graphics, look.colours.windowText, kLeft, 107, 520, 1);
        return;
    }
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
        // Measured as the first of a row, so that the width decides the wrap, not the room left.
        float width =
            drawChip(ui, graphics, sizeChipId(i), kLeft, y, c.label, c.subLabel, c.selected, c.fits, true);
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
    const Look& look = ui.window.look;
    fillRoundedRect(graphics, RectF{kLeft, y0, 190, 107}, 4, pick(look, 0xFF0A0806, Role::Window));
    UniquePen frame = solidPen(pick(look, kTrackEdge, Role::Text), 2);
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
    if (!look.highContrast) fillRect(graphics, 0x28F2C94C, x, y, w, h);
    UniquePen outline = solidPen(pick(look, kGold, Role::Highlight), 1);
    if (outline && w > 1 && h > 1)
        GdipDrawRectangle(graphics, outline.get(), x + 0.5f, y + 0.5f, w - 1, h - 1);

    GpFont* font = ui.drawing.font(FontId::Bold11);
    std::wstring label = formatText(L"%d×%d", ui.settings.draft.windowWidth, ui.settings.draft.windowHeight);
    drawLineIn(ui.drawing, graphics, label, font, pick(look, kGold, Role::Text), RectF{kLeft, y0, 190, 107},
               y0 + (107 - lineHeight(ui.drawing, font)) / 2, Align::Centre);
}

void paintTextLines(LauncherUi& ui, GpGraphics* graphics, const PanelScreen& screen, float y0) {
    const TextTable& t = texts();
    const Look& look = ui.window.look;
    GpFont* font = ui.drawing.font(FontId::Regular12);
    const ARGB normal = pick(look, kMuted, Role::Text), emphasis = pick(look, kCream, Role::Text);
    const float x = 430, width = kRight - x;
    drawEmphasisLineIn(
        ui.drawing, graphics,
        formatText(t[TextId::WindowLine], ui.settings.draft.windowWidth, ui.settings.draft.windowHeight),
        font, normal, emphasis, lineBox(ui.drawing, font, x, y0 + 2, width), y0 + 2);
    drawEmphasisLineIn(ui.drawing, graphics,
                       formatText(t[TextId::ScreenLine], screen.full.width, screen.full.height,
                                  windowsScalePercent(screen.dpi)),
                       font, normal, emphasis, lineBox(ui.drawing, font, x, y0 + 22, width), y0 + 22);
    // The interface line is the longest; it may take a second line, and the note moves down by it.
    const float step = 16;
    const float lineHeightNow = lineHeight(ui.drawing, font);
    int lines = drawEmphasisWrappedIn(
        ui.drawing, graphics,
        formatText(t[TextId::InterfaceLine], percentOf(ui.settings.draft.interfaceScale)), font, normal,
        emphasis, RectF{x, y0 + 42, width, step + lineHeightNow}, y0 + 42, step);
    const float noteY = y0 + 62 + step * static_cast<float>(std::max(lines, 1) - 1);
    drawLineIn(ui.drawing, graphics, t[TextId::OpensAtThisSize], font, normal,
               lineBox(ui.drawing, font, x, noteY, width), noteY);
}

void paintButtons(LauncherUi& ui, GpGraphics* graphics) {
    const TextTable& t = texts();
    const float y = 455;
    // "Save" ends at the card's right margin and "Cancel" 8 before it; "Default" may not reach "Cancel".
    float saveWidth =
        drawChip(ui, graphics, ClickId::PanelSave, kLeft, y, t[TextId::SaveButton], L"", true, true, true);
    float cancelWidth = drawChip(ui, graphics, ClickId::PanelCancel, kLeft, y, t[TextId::CancelButton], L"",
                                 false, true, true);
    float saveX = kRight - saveWidth;
    float cancelX = saveX - 8 - cancelWidth;
    drawChip(ui, graphics, ClickId::PanelDefault, kLeft, y, t[TextId::DefaultButton], L"", false, true, false,
             cancelX - 8);
    drawChip(ui, graphics, ClickId::PanelCancel, cancelX, y, t[TextId::CancelButton], L"", false, true,
             false);
    drawChip(ui, graphics, ClickId::PanelSave, saveX, y, t[TextId::SaveButton], L"", true, true, false);
}

void paintNotice(LauncherUi& ui, GpGraphics* graphics) {
    if (ui.settings.noticeAt == 0) return;
    const TextTable& t = texts();
    const Look& look = ui.window.look;
    std::wstring text = ui.settings.noticeIsError
                            ? std::wstring(t[TextId::SettingsWriteFailed])
                            : formatText(t[TextId::SavedNotice], ui.settings.draft.windowWidth,
                                         ui.settings.draft.windowHeight);
    GpFont* font = ui.drawing.font(FontId::Regular13);
    // The pill keeps 20 pixels from the card's sides; a longer notice ends with an ellipsis.
    const float maxText = kCardWidth - 40 - 28;
    float width =
        measureText(ui.drawing, graphics, fitWithEllipsis(ui.drawing, graphics, text, font, maxText), font) +
        28;
    RectF pill{kCardX + (kCardWidth - width) / 2, 411, width, kChipHeight};
    ARGB colour = pick(look, ui.settings.noticeIsError ? kRed : kGreen, Role::Text);
    fillRoundedRect(graphics, pill, 5, pick(look, kPanel, Role::Window));
    strokeRoundedRect(graphics, pill, 5, colour);
    drawLineIn(ui.drawing, graphics, text, font, colour, RectF{pill.x + 14, pill.y, maxText, kChipHeight},
               pill.y + (kChipHeight - lineHeight(ui.drawing, font)) / 2);
}

}  // namespace

void paintDisplaySettings(LauncherUi& ui, GpGraphics* graphics, PaintLayer layer) {
    const TextTable& t = texts();
    const Look& look = ui.window.look;
    if (paintsChanging(layer))
        addHitRegion(ui.window.hitRegions, ClickId::PanelBackdrop, 0, 0, 960, 560, false);
    if (paintsFixed(layer)) {
        // With high contrast nothing of the main screen shows through: no half-transparent colours.
        fillRect(graphics, look.highContrast ? look.colours.window : 0x9E000000, 0, 0, 960, 560);
        paintCard(look, graphics);
        paintTitle(ui, graphics);
    }
    paintCloseButton(ui, graphics, ClickId::PanelClose, RectF{730, 67, 28, 24}, layer);
    if (paintsFixed(layer)) paintSeparator(look, graphics);
    if (!paintsChanging(layer)) return;

    PanelScreen screen = currentScreen(ui);

    GpFont* labelFont = ui.drawing.font(FontId::Regular13);
    drawLineIn(ui.drawing, graphics, t[TextId::WindowSizeLabel], labelFont, pick(look, kMuted, Role::Text),
               lineBox(ui.drawing, labelFont, kLeft, 125, kRight - kLeft), 125);
    float sizeRowY = paintSizeChips(ui, graphics, screen);
    drawLineIn(ui.drawing, graphics, t[TextId::InterfaceSizeLabel], labelFont, pick(look, kMuted, Role::Text),
               lineBox(ui.drawing, labelFont, kLeft, sizeRowY + 46, kRight - kLeft), sizeRowY + 46);
    float scaleRowY = sizeRowY + 68;
    float scaleRight = paintScaleChips(ui, graphics, scaleRowY);
    if (screen.full.height <= 800) {
        GpFont* font = ui.drawing.font(FontId::Regular11);
        drawLineIn(ui.drawing, graphics, t[TextId::SmallScreenAdvice], font, pick(look, kDim, Role::Text),
                   RectF{scaleRight + 10, scaleRowY, kRight - (scaleRight + 10), kChipHeight},
                   scaleRowY + (kChipHeight - lineHeight(ui.drawing, font)) / 2);
    }

    float y0 = scaleRowY + 46;
    paintPreviewBox(ui, graphics, screen, y0);
    paintTextLines(ui, graphics, screen, y0);
    paintButtons(ui, graphics);
    paintNotice(ui, graphics);
}
