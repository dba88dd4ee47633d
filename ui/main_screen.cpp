#include "ui/main_screen.h"

#include <algorithm>
#include <cmath>

#include "ui/controls.h"
#include "ui/drawing.h"
#include "ui/gdiplus_handles.h"
#include "ui/palette.h"
#include "ui/text_fit.h"
#include "ui/text_table.h"

using namespace Gdiplus::DllExports;

namespace {

void paintStateIcon(LauncherUi& ui, GpGraphics* graphics, RowState state, float x, float y) {
    struct IconLook {
        ARGB fill, ring;
    };
    static const IconLook looks[4] = {{0x00000000, 0xFF4A4236},
                                      {0x1FF2C94C, 0x80F2C94C},
                                      {0x268FD16A, 0x808FD16A},
                                      {0x26E0544A, 0x99E0544A}};
    const int index = static_cast<int>(state);
    const Look& look = ui.window.look;
    const IconLook& icon = looks[index >= 0 && index <= 3 ? index : 0];
    // With high contrast the state shows in the mark alone, on the window's own colour.
    if (icon.fill >> 24 && !look.highContrast) fillEllipse(graphics, icon.fill, x + 0.5f, y + 0.5f, 15, 15);
    strokeEllipse(graphics, pick(look, icon.ring, state == RowState::Idle ? Role::Disabled : Role::Text), 1,
                  x + 0.5f, y + 0.5f, 15, 15);
    if (state == RowState::InProgress) {
        fillEllipse(graphics, pick(look, kGold, Role::Text), x + 5.5f, y + 5.5f, 5, 5);
    } else if (state == RowState::Done) {
        drawCheckStroke(graphics, pick(look, kGreen, Role::Text), x + 4.6f, y + 8.2f, x + 7, y + 10.6f,
                        x + 11.4f, y + 5.6f);
    } else if (state == RowState::Failed) {
        GpFont* bold = ui.drawing.font(FontId::Bold11);
        drawLineIn(ui.drawing, graphics, L"!", bold, pick(look, kRed, Role::Text), RectF{x, y, 16, 16},
                   centredY(ui.drawing, bold, y, 16), Align::Centre);
    }
}

// The small buttons end before the display settings button.
constexpr float kSmallButtonsRight = 610;

// A small framed button with emphasis text, as wide as its text (cut with an ellipsis where the
// row would reach the settings button); returns its width.
float paintSmallButton(LauncherUi& ui, GpGraphics* graphics, ClickId id, float x, float y,
                       const std::wstring& text, bool enabled, PaintLayer layer) {
    GpFont* f = ui.drawing.font(FontId::Regular12);
    const RectF textBox{x + 13, y, kSmallButtonsRight - 13 - (x + 13), 24};
    const std::wstring shown = fitEmphasisWithEllipsis(ui.drawing, graphics, text, f, textBox.width);
    float w = drawEmphasisText(ui.drawing, graphics, shown, f, 0, 0, 0, 0, true) + 26;
    if (paintsChanging(layer)) addHitRegion(ui.window.hitRegions, id, x, y, w, 24, enabled);
    if (!paintsFixed(layer)) return w;
    const Look& look = ui.window.look;
    bool hovered = enabled && ui.window.hoverId == id;
    RectF box{x, y, w, 24};
    const bool lit = hovered && look.highContrast;
    fillRoundedRect(graphics, box, 4, lit ? look.colours.highlight : pick(look, kPanel, Role::ButtonFace));
    strokeRoundedRect(graphics, box, 4,
                      !enabled  ? pick(look, kBorder, Role::Disabled)
                      : hovered ? pick(look, kDeepGold, Role::Highlight)
                                : pick(look, kBorder, Role::ButtonText));
    ARGB normal = !enabled  ? pick(look, kDim, Role::Disabled)
                  : lit     ? look.colours.highlightText
                  : hovered ? kCream
                            : pick(look, kMuted, Role::ButtonText);
    ARGB emphasis = !enabled ? pick(look, kGold, Role::Disabled)
                    : lit    ? normal
                             : pick(look, kGold, Role::ButtonText);
    drawEmphasisLineIn(ui.drawing, graphics, text, f, normal, emphasis, textBox,
                       centredY(ui.drawing, f, y, 24));
    return w;
}

// The gear in the design's metal, or with high contrast filled in the button's text colour with
// its hub in the button's face.
void paintGear(GpGraphics* graphics, float k, float rotation, const Look& look, bool lit) {
    const float cx = 649, cy = 470;
    const float pi = 3.14159265f;
    const float offsets[4] = {-12, 12, 16, 29};
    const float radii[4] = {16.5f * k, 16.5f * k, 12.5f * k, 12.5f * k};
    Gdiplus::GpPointF points[32];
    for (int j = 0; j < 8; ++j) {
        for (int i = 0; i < 4; ++i) {
            float angle = (45.0f * j + rotation + offsets[i]) * pi / 180;
            points[j * 4 + i] =
                Gdiplus::GpPointF(cx + radii[i] * std::cos(angle), cy + radii[i] * std::sin(angle));
        }
    }
    UniquePath path;
    if (GdipCreatePath(Gdiplus::FillModeAlternate, path.put()) != Gdiplus::Ok) return;
    GdipAddPathPolygon(path.get(), points, 32);

    if (look.highContrast) {
        const ARGB mark = lit ? look.colours.highlightText : look.colours.buttonText;
        const ARGB face = lit ? look.colours.highlight : look.colours.buttonFace;
        UniqueBrush fill = solidBrush(mark);
        if (fill) GdipFillPath(graphics, fill.get(), path.get());
        float hub = 6.5f * k;
        fillEllipse(graphics, face, cx - hub, cy - hub, 2 * hub, 2 * hub);
        float ring = 3.2f * k;
        strokeEllipse(graphics, mark, 1.6f, cx - ring, cy - ring, 2 * ring, 2 * ring);
        return;
    }
    UniqueBrush metal =
        lineBrush(cx - 16.5f * k, cy - 16.5f * k, 0xFFFFF0C0, cx + 16.5f * k, cy + 16.5f * k, 0xFF8A5A12);
    if (metal) {
        const ARGB colours[3] = {0xFFFFF0C0, 0xFFE3B24A, 0xFF8A5A12};
        const float positions[3] = {0, 0.5f, 1};
        setGradientStops(static_cast<GpLineGradient*>(metal.get()), colours, positions, 3);
        GdipFillPath(graphics, metal.get(), path.get());
    }
    UniquePen edge = solidPen(0xFF3A2406, 1.2f);
    if (edge) {
        GdipSetPenLineJoin(edge.get(), Gdiplus::LineJoinRound);
        GdipDrawPath(graphics, edge.get(), path.get());
    }
    float hub = 6.5f * k;
    fillEllipse(graphics, kPanel, cx - hub, cy - hub, 2 * hub, 2 * hub);
    if (edge) GdipDrawEllipse(graphics, edge.get(), cx - hub, cy - hub, 2 * hub, 2 * hub);
    float ring = 3.2f * k;
    strokeEllipse(graphics, 0xFFE3B24A, 1.6f, cx - ring, cy - ring, 2 * ring, 2 * ring);
}

// The tooltip above the settings button: its text centred on the button, the box around the text.
void paintSettingsTooltip(LauncherUi& ui, GpGraphics* graphics) {
    const Look& look = ui.window.look;
    GpFont* f = ui.drawing.font(FontId::Regular12);
    // Never wider than the bottom bar's right part.
    const float maxText = 2 * (920 - 649) - 16;
    std::wstring tip = fitWithEllipsis(ui.drawing, graphics, texts()[TextId::SettingsButton], f, maxText);
    float w = measureText(ui.drawing, graphics, tip, f);
    RectF box{649 - w / 2 - 8, 408, w + 16, 22};
    fillRoundedRect(graphics, box, 4, pick(look, kPanel, Role::Window));
    strokeRoundedRect(graphics, box, 4, pick(look, kBorder, Role::Text));
    drawLineIn(ui.drawing, graphics, texts()[TextId::SettingsButton], f, pick(look, kCream, Role::Text),
               RectF{649 - maxText / 2, 408, maxText, 22}, centredY(ui.drawing, f, 408, 22), Align::Centre);
}

void paintContrastSettingsButton(LauncherUi& ui, GpGraphics* graphics, bool hovered, bool pressed) {
    const Look& look = ui.window.look;
    RectF body{618, 438, 62, 64};
    fillRoundedRect(graphics, body, 8, hovered ? look.colours.highlight : look.colours.buttonFace);
    strokeRoundedRect(graphics, body, 8, look.colours.buttonText);
    paintGear(graphics, pressed ? 0.92f : 1.0f, hovered ? 22.5f : 0.0f, look, hovered);
    if (hovered) paintSettingsTooltip(ui, graphics);
}

void paintSettingsButton(LauncherUi& ui, GpGraphics* graphics, PaintLayer layer) {
    if (paintsChanging(layer)) addHitRegion(ui.window.hitRegions, ClickId::Settings, 618, 438, 62, 64, true);
    if (!paintsFixed(layer)) return;
    const Look& look = ui.window.look;
    bool hovered = ui.window.hoverId == ClickId::Settings && !ui.settings.open;
    bool pressed = hovered && ui.window.pressedId == ClickId::Settings;
    if (look.highContrast) {
        paintContrastSettingsButton(ui, graphics, hovered, pressed);
        return;
    }
    if (hovered) {
        const ARGB glow[3] = {0x30D9A83A, 0x20D9A83A, 0x10D9A83A};
        for (int gap = 3; gap >= 1; --gap) {
            fillRoundedRect(graphics,
                            RectF{618.0f - 2 * gap, 438.0f - 2 * gap, 62.0f + 4 * gap, 64.0f + 4 * gap},
                            8.0f + 2 * gap, glow[gap - 1]);
        }
    }
    RectF body{618, 438, 62, 64};
    UniqueBrush bodyFill = lineBrush(0, 437.5f, 0xFF1D160E, 0, 502.5f, 0xFF120D08);
    fillRoundedRect(graphics, body, 8, bodyFill.get());
    strokeRoundedRect(graphics, body, 8, hovered ? kDeepGold : kTrackEdge);
    paintGear(graphics, pressed ? 0.92f : 1.0f, hovered ? 22.5f : 0.0f, look, false);
    if (hovered) paintSettingsTooltip(ui, graphics);
}

// The caption letter-spaced and centred on the button body, 12 pixels from its rounded ends at
// most. Centring counts the spacing after the last letter, as the design has it.
void drawPrimaryCaption(LauncherUi& ui, GpGraphics* graphics, const std::wstring& caption, ARGB colour,
                        float y) {
    const float spacing = 6, inset = 12;
    drawSpacedLineIn(ui.drawing, graphics, caption, ui.drawing.font(FontId::Button22), colour,
                     RectF{690 + inset, 438, 230 - 2 * inset - spacing, 64}, y, spacing, Align::Centre);
}

void paintPrimaryHint(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model) {
    if (model.buttonHint.empty()) return;
    GpFont* hintFont = ui.drawing.font(FontId::Regular11);
    drawLineIn(ui.drawing, graphics, model.buttonHint, hintFont, pick(ui.window.look, kDim, Role::Text),
               lineBox(ui.drawing, hintFont, 690, 510, 230), 510, Align::Centre);
}

// With high contrast the button is drawn instead of its art: the button face with a border in
// the button text's colour, the highlight when hovered, gray text when it cannot be used.
void paintContrastPrimaryButton(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model,
                                bool hovered) {
    const ContrastColours& c = ui.window.look.colours;
    const bool lit = hovered && model.primaryEnabled;
    RectF body{690, 438, 230, 64};
    fillRoundedRect(graphics, body, 8, lit ? c.highlight : c.buttonFace);
    const ARGB edge = model.primaryEnabled ? c.buttonText : c.grayText;
    strokeRoundedRect(graphics, body, 8, edge);
    strokeRoundedRect(graphics, RectF{691, 439, 228, 62}, 7, edge);
    GpFont* f = ui.drawing.font(FontId::Button22);
    drawPrimaryCaption(ui, graphics, model.buttonLabel,
                       !model.primaryEnabled ? c.grayText
                       : lit                 ? c.highlightText
                                             : c.buttonText,
                       centredY(ui.drawing, f, 438, 64));
    paintPrimaryHint(ui, graphics, model);
}

void paintPrimaryButton(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model, PaintLayer layer) {
    if (paintsChanging(layer))
        addHitRegion(ui.window.hitRegions, ClickId::Primary, 690, 438, 230, 64, model.primaryEnabled);
    if (!paintsFixed(layer)) return;
    bool hovered = ui.window.hoverId == ClickId::Primary;
    ButtonLook buttonLook = !model.primaryEnabled                                  ? ButtonLook::Disabled
                            : (hovered && ui.window.pressedId == ClickId::Primary) ? ButtonLook::Pressed
                            : hovered                                              ? ButtonLook::Hovered
                                                                                   : ButtonLook::Normal;

    const Look& look = ui.window.look;
    if (look.highContrast) {
        paintContrastPrimaryButton(ui, graphics, model, hovered);
        return;
    }
    // The button art is pre-scaled to device pixels; drawing it through the world transform would
    // resample it a second time and blur the gold edges.
    GpBitmap* image = ui.drawing.scaledButtons[static_cast<int>(buttonLook)].get();
    if (image) {
        Gdiplus::GpMatrix* rawSaved = nullptr;
        GdipCreateMatrix(&rawSaved);
        UniqueMatrix saved(rawSaved);
        if (saved) GdipGetWorldTransform(graphics, saved.get());
        GdipResetWorldTransform(graphics);
        UINT w = 0, h = 0;
        GdipGetImageWidth(image, &w);
        GdipGetImageHeight(image, &h);
        int x = static_cast<int>(std::floor(670 * ui.window.uiScale + 0.5f));
        int y = static_cast<int>(std::floor(418 * ui.window.uiScale + 0.5f));
        GdipDrawImageRectI(graphics, image, x, y, static_cast<INT>(w), static_cast<INT>(h));
        if (saved) GdipSetWorldTransform(graphics, saved.get());
    }

    GpFont* f = ui.drawing.font(FontId::Button22);
    float y = centredY(ui.drawing, f, 438, 64) + (buttonLook == ButtonLook::Pressed ? 1 : 0);
    if (model.primaryEnabled) {
        drawPrimaryCaption(ui, graphics, model.buttonLabel, 0x99FFF0C8, y + 1);
        drawPrimaryCaption(ui, graphics, model.buttonLabel, 0xFF2A1606, y);
    } else {
        drawPrimaryCaption(ui, graphics, model.buttonLabel, 0xFF7D725E, y);
    }
    paintPrimaryHint(ui, graphics, model);
}

// The track is still; the percentage, the fill and the edge over the fill change.
void paintProgress(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model, float barRight,
                   PaintLayer layer) {
    const Look& look = ui.window.look;
    RectF track{40, 478, barRight - 40, 14};
    if (paintsFixed(layer)) fillRoundedRect(graphics, track, 7, pick(look, kTrack, Role::Window));
    if (!paintsChanging(layer)) return;
    if (model.percent >= 0) {
        GpFont* f = ui.drawing.font(FontId::Bold14);
        drawLineIn(ui.drawing, graphics, formatText(L"%d%%", model.percent), f, pick(look, kGold, Role::Text),
                   lineBox(ui.drawing, f, barRight - 72, 451, 72), 451, Align::Right);
    }
    if (model.progress > 0.001f) {
        float w = std::max(std::min(model.progress, 1.0f) * (barRight - 42), 2.0f);
        UniqueBrush fill;
        if (look.highContrast) {
            fill = solidBrush(look.colours.highlight);
        } else if (model.barErrorStyle) {
            fill = lineBrush(40.5f, 0, 0xFF6B1D14, 41.5f + w, 0, 0xFFC0453A);
        } else {
            fill = lineBrush(40.5f, 0, 0xFF8A5A14, 41.5f + w, 0, 0xFFFFE39A);
            if (fill) {
                const ARGB colours[3] = {0xFF8A5A14, kDeepGold, 0xFFFFE39A};
                const float positions[3] = {0, 0.6f, 1};
                setGradientStops(static_cast<GpLineGradient*>(fill.get()), colours, positions, 3);
            }
        }
        fillRoundedRect(graphics, RectF{41, 479, w, 12}, 6, fill.get());
    }
    strokeRoundedRect(graphics, track, 7, pick(look, kTrackEdge, Role::Text));
}

bool repairEnabled(const LauncherUi& ui) {
    UpdatePhase phase = ui.status.phase;
    return !ui.status.runActive && (phase == UpdatePhase::Ready || phase == UpdatePhase::Error);
}

void paintCheckBox(LauncherUi& ui, GpGraphics* graphics, ClickId id, float x, const std::wstring& label,
                   bool checked, bool enabled, float* nextX) {
    const Look& look = ui.window.look;
    GpFont* f = ui.drawing.font(FontId::Regular13);
    const RectF labelBox = lineBox(ui.drawing, f, x + 24, centredY(ui.drawing, f, 339, 16), 920 - (x + 24));
    float w =
        measureText(ui.drawing, graphics, fitWithEllipsis(ui.drawing, graphics, label, f, labelBox.width), f);
    addHitRegion(ui.window.hitRegions, id, x - 2, 336, w + 30, 22, enabled);
    RectF box{x, 339, 16, 16};
    fillRoundedRect(graphics, box, 3, pick(look, 0xFF1A1208, Role::Window));
    strokeRoundedRect(graphics, box, 3,
                      !enabled                  ? pick(look, kDeepGold, Role::Disabled)
                      : ui.window.hoverId == id ? pick(look, kGold, Role::Highlight)
                                                : pick(look, kDeepGold, Role::Text));
    if (checked)
        drawCheckStroke(graphics, pick(look, kGold, enabled ? Role::Text : Role::Disabled), x + 3.8f, 347.3f,
                        x + 6.6f, 350.1f, x + 12.2f, 343.6f);
    drawLineIn(ui.drawing, graphics, label, f, pick(look, kCream, enabled ? Role::Text : Role::Disabled),
               labelBox, labelBox.y);
    *nextX = x + w + 46;
}

void paintNews(LauncherUi& ui, GpGraphics* graphics) {
    const Look& look = ui.window.look;
    const std::vector<NewsItem>& news = ui.status.news[languageIndex(uiLanguage)];
    GpFont* dateFont = ui.drawing.font(FontId::Regular11);
    for (size_t i = 0; i < news.size() && i < 3; ++i) {
        float y = 262 + 29.0f * i;
        const NewsItem& item = news[i];
        // A date takes what it needs of the first third of the row; the title the rest up to x 460,
        // ending with an ellipsis where it is longer.
        float dateWidth = 0;
        if (!item.date.empty()) {
            dateWidth = drawLineIn(ui.drawing, graphics, item.date, dateFont, pick(look, kDim, Role::Text),
                                   RectF{40, y - 2, 140, 22}, y + 3);
        }
        float x = 50 + std::max(dateWidth + 4, 44.0f);
        drawEmphasisLineIn(ui.drawing, graphics, item.title, ui.drawing.font(FontId::Regular13),
                           pick(look, kCream, Role::Text), pick(look, kGold, Role::Text),
                           RectF{x, y - 2, 460 - x, 22}, y + 1);
    }
}

}  // namespace

void paintTitleBar(LauncherUi& ui, GpGraphics* graphics, PaintLayer layer) {
    const TextTable& t = texts();
    const Look& look = ui.window.look;
    if (paintsFixed(layer)) {
        GpFont* f = ui.drawing.font(FontId::Regular11);
        drawSpacedLineIn(ui.drawing, graphics, t[TextId::Title], f, pick(look, kDim, Role::Text),
                         lineBox(ui.drawing, f, 64, 18, 870 - 64), 18, 1);
    }

    if (paintsChanging(layer)) addHitRegion(ui.window.hitRegions, ClickId::Minimise, 878, 16, 30, 24, true);
    if (paintsFixed(layer)) {
        bool minimiseHovered = ui.window.hoverId == ClickId::Minimise;
        if (minimiseHovered)
            fillRoundedRect(graphics, RectF{878, 16, 30, 24}, 4, pick(look, 0x1FF2C94C, Role::Highlight));
        drawLine(graphics,
                 minimiseHovered ? pick(look, kGold, Role::HighlightText) : pick(look, kMuted, Role::Text),
                 1.6f, 888, 28.5f, 898, 28.5f);
    }

    paintCloseButton(ui, graphics, ClickId::Close, RectF{912, 16, 30, 24}, layer);
}

void paintNewsAndStatus(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model, PaintLayer layer) {
    const TextTable& t = texts();
    // The news arrive once per run and a row's state changes with the phase: both are still parts.
    // The row values follow the counters.
    if (paintsFixed(layer)) {
        drawSectionHeading(ui.drawing, ui.window.look, graphics, t[TextId::NewsHeading], 40, 236, 460);
        drawSectionHeading(ui.drawing, ui.window.look, graphics, t[TextId::StatusHeading], 500, 236, 920);
        paintNews(ui, graphics);
    }
    const Look& look = ui.window.look;

    GpFont* labelFont = ui.drawing.font(FontId::Regular13);
    GpFont* valueFont = ui.drawing.font(FontId::Regular12);
    const TextId rowLabels[4] = {TextId::RowGameFiles, TextId::RowUpdates, TextId::RowServer,
                                 TextId::RowVersion};
    for (int r = 0; r < 4; ++r) {
        float y = 262 + 27.0f * r;
        // The label has the row up to x 760, the value the rest, right-aligned at 920.
        if (paintsFixed(layer)) {
            paintStateIcon(ui, graphics, model.rows[r].state, 500, y);
            drawLineIn(ui.drawing, graphics, t[rowLabels[r]], labelFont, pick(look, kCream, Role::Text),
                       RectF{526, y - 2, 760 - 526, 20}, centredY(ui.drawing, labelFont, y, 16));
        }
        const std::wstring& value = model.rows[r].value;
        if (paintsChanging(layer) && !value.empty()) {
            drawLineIn(ui.drawing, graphics, value, valueFont, pick(look, kMuted, Role::Text),
                       RectF{770, y - 2, 150, 20}, centredY(ui.drawing, valueFont, y, 16), Align::Right);
        }
    }
}

void paintInstallPanel(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model, PaintLayer layer) {
    const TextTable& t = texts();
    const Look& look = ui.window.look;
    const bool editable = !ui.installForm.installing;
    if (paintsFixed(layer))
        drawSectionHeading(ui.drawing, ui.window.look, graphics, t[TextId::InstallFolderHeading], 40, 236,
                           920);
    if (!paintsChanging(layer)) return;

    GpFont* f = ui.drawing.font(FontId::Regular13);
    float textY = centredY(ui.drawing, f, 264, 34);
    addHitRegion(ui.window.hitRegions, ClickId::FolderBox, 40, 264, 793, 34, editable);
    RectF folderBox{40, 264, 793, 34};
    fillRoundedRect(graphics, folderBox, 4, pick(look, 0xFF0F0B07, Role::Window));
    const bool folderHovered = editable && ui.window.hoverId == ClickId::FolderBox;
    strokeRoundedRect(graphics, folderBox, 4,
                      folderHovered ? pick(look, 0xFF8A6E3E, Role::Highlight)
                                    : pick(look, 0xFF5A4A2E, editable ? Role::Text : Role::Disabled));
    drawLineIn(ui.drawing, graphics, ui.installForm.folder, f, pick(look, kCream, Role::Text),
               RectF{52, 264, 769, 34}, textY);

    addHitRegion(ui.window.hitRegions, ClickId::ChangeFolder, 843, 264, 77, 34, editable);
    bool changeHovered = editable && ui.window.hoverId == ClickId::ChangeFolder;
    const bool changeLit = changeHovered && look.highContrast;
    RectF changeBox{843, 264, 77, 34};
    fillRoundedRect(graphics, changeBox, 4,
                    changeLit ? look.colours.highlight
                              : pick(look, changeHovered ? 0xFF261D12 : 0xFF1A1510, Role::ButtonFace));
    strokeRoundedRect(graphics, changeBox, 4,
                      !editable       ? pick(look, 0xFF6B5A3E, Role::Disabled)
                      : changeHovered ? pick(look, kDeepGold, Role::Highlight)
                                      : pick(look, 0xFF6B5A3E, Role::ButtonText));
    drawLineIn(ui.drawing, graphics, t[TextId::ChangeFolder], f,
               !editable   ? pick(look, kGold, Role::Disabled)
               : changeLit ? look.colours.highlightText
                           : pick(look, kGold, Role::ButtonText),
               RectF{843 + 4, 264, 77 - 8, 34}, textY, Align::Centre);

    const uint64_t required = ui.status.requiredBytes;
    std::wstring requiredText = required ? formatGigabytes(required) : std::wstring(t[TextId::Calculating]);
    std::wstring freeText =
        ui.installForm.freeBytes ? formatGigabytes(ui.installForm.freeBytes) : std::wstring(L"\u2014");
    bool tooSmall = required && ui.installForm.freeBytes && ui.installForm.freeBytes < required;
    GpFont* spaceFont = ui.drawing.font(FontId::Regular12);
    drawEmphasisLineIn(ui.drawing, graphics,
                       formatText(t[TextId::SpaceLine], requiredText.c_str(), freeText.c_str()), spaceFont,
                       pick(look, kMuted, Role::Text), pick(look, tooSmall ? kRed : kCream, Role::Text),
                       lineBox(ui.drawing, spaceFont, 40, 310, 880), 310);

    float x = 40;
    paintCheckBox(ui, graphics, ClickId::DesktopShortcut, x, t[TextId::DesktopShortcut],
                  ui.installForm.desktopShortcut, editable, &x);
    paintCheckBox(ui, graphics, ClickId::StartMenuShortcut, x, t[TextId::StartMenuShortcut],
                  ui.installForm.startMenuShortcut, editable, &x);
}

void paintBottomBar(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model, PaintLayer layer) {
    const TextTable& t = texts();
    const Look& look = ui.window.look;
    float barRight = installMode(ui) ? 660.0f : 600.0f;
    if (paintsChanging(layer)) {
        ARGB headlineNormal = pick(look, model.errorStyle ? kRed : kCream, Role::Text);
        ARGB headlineEmphasis = pick(look, model.errorStyle ? kRed : kGold, Role::Text);
        GpFont* headlineFont = ui.drawing.font(FontId::Regular15);
        drawEmphasisLineIn(ui.drawing, graphics, model.headline, headlineFont, headlineNormal,
                           headlineEmphasis, lineBox(ui.drawing, headlineFont, 40, 430, barRight - 40), 430);
        if (!model.detail.empty()) {
            // Beside the percentage when there is one.
            float maxWidth = (model.percent == -1 ? 620.0f : 548.0f) - (installMode(ui) ? 0 : 60);
            GpFont* detailFont = ui.drawing.font(FontId::Regular12);
            drawLineIn(ui.drawing, graphics, model.detail, detailFont, pick(look, kDim, Role::Text),
                       lineBox(ui.drawing, detailFont, 40, 452, maxWidth), 452);
        }
    }

    paintProgress(ui, graphics, model, barRight, layer);

    if (!installMode(ui)) {
        float x = 40;
        x += paintSmallButton(ui, graphics, ClickId::Repair, x, 504, t[TextId::RepairFiles],
                              repairEnabled(ui), layer) +
             8;
        x += paintSmallButton(ui, graphics, ClickId::GameFolder, x, 504, t[TextId::GameFolder], true, layer) +
             8;
        paintSmallButton(ui, graphics, ClickId::Language, x, 504,
                         uiLanguage == UiLanguage::English ? L"*EN* / TR" : L"*TR* / EN", true, layer);
        paintSettingsButton(ui, graphics, layer);
    }
    paintPrimaryButton(ui, graphics, model, layer);
}

std::wstring fixedPartsKey(const LauncherUi& ui, const ScreenModel& model) {
    // The pointer over a panel chip or the folder box changes nothing here.
    auto seen = [](ClickId id) {
        switch (id) {
            case ClickId::Minimise:
            case ClickId::Close:
            case ClickId::Repair:
            case ClickId::GameFolder:
            case ClickId::Language:
            case ClickId::Settings:
            case ClickId::Primary:
                return static_cast<int>(id);
            default:
                return -1;
        }
    };
    std::wstring key = formatText(
        L"%d|%d|%d|%d|%d|%d|%d|%d %d %d %d|", static_cast<int>(uiLanguage), static_cast<int>(installMode(ui)),
        static_cast<int>(ui.settings.open), seen(ui.window.hoverId), seen(ui.window.pressedId),
        static_cast<int>(repairEnabled(ui)), static_cast<int>(model.primaryEnabled),
        static_cast<int>(model.rows[0].state), static_cast<int>(model.rows[1].state),
        static_cast<int>(model.rows[2].state), static_cast<int>(model.rows[3].state));
    // Texts with their lengths, so that no two different lists give the same key.
    auto append = [&key](const std::wstring& text) {
        key += formatText(L"%d:", static_cast<int>(text.size())) + text;
    };
    append(model.buttonLabel);
    append(model.buttonHint);
    const std::vector<NewsItem>& news = ui.status.news[languageIndex(uiLanguage)];
    for (size_t i = 0; i < news.size() && i < 3; ++i) {
        append(news[i].date);
        append(news[i].title);
    }
    return key;
}
