#include "ui/main_screen.h"

#include <algorithm>
#include <cmath>

#include "ui/controls.h"
#include "ui/drawing.h"
#include "ui/gdiplus_handles.h"
#include "ui/palette.h"
#include "ui/text_table.h"

using namespace Gdiplus::DllExports;

namespace {

void paintStateIcon(LauncherUi& ui, GpGraphics* graphics, RowState state, float x, float y) {
    struct Look {
        ARGB fill, ring;
    };
    static const Look looks[4] = {{0x00000000, 0xFF4A4236},
                                  {0x1FF2C94C, 0x80F2C94C},
                                  {0x268FD16A, 0x808FD16A},
                                  {0x26E0544A, 0x99E0544A}};
    int index = static_cast<int>(state);
    const Look& look = looks[index >= 0 && index <= 3 ? index : 0];
    if (look.fill >> 24) fillEllipse(graphics, look.fill, x + 0.5f, y + 0.5f, 15, 15);
    strokeEllipse(graphics, look.ring, 1, x + 0.5f, y + 0.5f, 15, 15);
    if (state == RowState::InProgress) {
        fillEllipse(graphics, kGold, x + 5.5f, y + 5.5f, 5, 5);
    } else if (state == RowState::Done) {
        drawCheckStroke(graphics, kGreen, x + 4.6f, y + 8.2f, x + 7, y + 10.6f, x + 11.4f, y + 5.6f);
    } else if (state == RowState::Failed) {
        GpFont* bold = ui.drawing.font(FontId::Bold11);
        float w = measureText(ui.drawing, graphics, L"!", bold);
        drawText(ui.drawing, graphics, L"!", bold, kRed, x + 8 - w / 2, centredY(ui.drawing, bold, y, 16));
    }
}

// A small framed button with emphasis text; returns its width.
float paintSmallButton(LauncherUi& ui, GpGraphics* graphics, ClickId id, float x, float y,
                       const std::wstring& text, bool enabled, PaintLayer layer) {
    GpFont* f = ui.drawing.font(FontId::Regular12);
    float w = drawEmphasisText(ui.drawing, graphics, text, f, 0, 0, 0, 0, true) + 26;
    if (paintsChanging(layer)) addHitRegion(ui.window.hitRegions, id, x, y, w, 24, enabled);
    if (!paintsFixed(layer)) return w;
    bool hovered = enabled && ui.window.hoverId == id;
    RectF box{x, y, w, 24};
    fillRoundedRect(graphics, box, 4, kPanel);
    strokeRoundedRect(graphics, box, 4, hovered ? kDeepGold : kBorder);
    ARGB normal = !enabled ? kDim : hovered ? kCream : kMuted;
    drawEmphasisText(ui.drawing, graphics, text, f, normal, kGold, x + 13, centredY(ui.drawing, f, y, 24),
                     false);
    return w;
}

void paintGear(GpGraphics* graphics, float k, float rotation) {
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

void paintSettingsButton(LauncherUi& ui, GpGraphics* graphics, PaintLayer layer) {
    if (paintsChanging(layer)) addHitRegion(ui.window.hitRegions, ClickId::Settings, 618, 438, 62, 64, true);
    if (!paintsFixed(layer)) return;
    bool hovered = ui.window.hoverId == ClickId::Settings && !ui.settings.open;
    bool pressed = hovered && ui.window.pressedId == ClickId::Settings;
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
    paintGear(graphics, pressed ? 0.92f : 1.0f, hovered ? 22.5f : 0.0f);

    if (hovered) {
        GpFont* f = ui.drawing.font(FontId::Regular12);
        std::wstring tip = texts()[TextId::SettingsButton];
        float w = measureText(ui.drawing, graphics, tip, f);
        RectF box{649 - w / 2 - 8, 408, w + 16, 22};
        fillRoundedRect(graphics, box, 4, kPanel);
        strokeRoundedRect(graphics, box, 4, kBorder);
        drawText(ui.drawing, graphics, tip, f, kCream, 649 - w / 2, centredY(ui.drawing, f, 408, 22));
    }
}

void paintPrimaryButton(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model, PaintLayer layer) {
    if (paintsChanging(layer))
        addHitRegion(ui.window.hitRegions, ClickId::Primary, 690, 438, 230, 64, model.primaryEnabled);
    if (!paintsFixed(layer)) return;
    bool hovered = ui.window.hoverId == ClickId::Primary;
    ButtonLook look = !model.primaryEnabled                                  ? ButtonLook::Disabled
                      : (hovered && ui.window.pressedId == ClickId::Primary) ? ButtonLook::Pressed
                      : hovered                                              ? ButtonLook::Hovered
                                                                             : ButtonLook::Normal;

    // The button art is pre-scaled to device pixels; drawing it through the world transform would
    // resample it a second time and blur the gold edges.
    GpBitmap* image = ui.drawing.scaledButtons[static_cast<int>(look)].get();
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
    float width = drawSpacedText(ui.drawing, graphics, model.buttonLabel, f, 0, 0, 0, 6, true);
    float x = 690 + (230 - width) / 2;
    float y = centredY(ui.drawing, f, 438, 64) + (look == ButtonLook::Pressed ? 1 : 0);
    if (model.primaryEnabled) {
        drawSpacedText(ui.drawing, graphics, model.buttonLabel, f, 0x99FFF0C8, x, y + 1, 6, false);
        drawSpacedText(ui.drawing, graphics, model.buttonLabel, f, 0xFF2A1606, x, y, 6, false);
    } else {
        drawSpacedText(ui.drawing, graphics, model.buttonLabel, f, 0xFF7D725E, x, y, 6, false);
    }

    if (!model.buttonHint.empty()) {
        GpFont* hintFont = ui.drawing.font(FontId::Regular11);
        float w = measureText(ui.drawing, graphics, model.buttonHint, hintFont);
        drawText(ui.drawing, graphics, model.buttonHint, hintFont, kDim, 690 + (230 - w) / 2, 510);
    }
}

// The track is still; the percentage, the fill and the edge over the fill change.
void paintProgress(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model, float barRight,
                   PaintLayer layer) {
    RectF track{40, 478, barRight - 40, 14};
    if (paintsFixed(layer)) fillRoundedRect(graphics, track, 7, kTrack);
    if (!paintsChanging(layer)) return;
    if (model.percent >= 0) {
        GpFont* f = ui.drawing.font(FontId::Bold14);
        std::wstring text = formatText(L"%d%%", model.percent);
        drawText(ui.drawing, graphics, text, f, kGold, barRight - measureText(ui.drawing, graphics, text, f),
                 451);
    }
    if (model.progress > 0.001f) {
        float w = std::max(std::min(model.progress, 1.0f) * (barRight - 42), 2.0f);
        UniqueBrush fill;
        if (model.barErrorStyle) {
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
    strokeRoundedRect(graphics, track, 7, kTrackEdge);
}

bool repairEnabled(const LauncherUi& ui) {
    UpdatePhase phase = ui.status.phase;
    return !ui.status.runActive && (phase == UpdatePhase::Ready || phase == UpdatePhase::Error);
}

void paintCheckBox(LauncherUi& ui, GpGraphics* graphics, ClickId id, float x, const std::wstring& label,
                   bool checked, bool enabled, float* nextX) {
    GpFont* f = ui.drawing.font(FontId::Regular13);
    float w = measureText(ui.drawing, graphics, label, f);
    addHitRegion(ui.window.hitRegions, id, x - 2, 336, w + 30, 22, enabled);
    RectF box{x, 339, 16, 16};
    fillRoundedRect(graphics, box, 3, 0xFF1A1208);
    strokeRoundedRect(graphics, box, 3, enabled && ui.window.hoverId == id ? kGold : kDeepGold);
    if (checked) drawCheckStroke(graphics, kGold, x + 3.8f, 347.3f, x + 6.6f, 350.1f, x + 12.2f, 343.6f);
    drawText(ui.drawing, graphics, label, f, kCream, x + 24, centredY(ui.drawing, f, 339, 16));
    *nextX = x + w + 46;
}

void paintNews(LauncherUi& ui, GpGraphics* graphics) {
    const std::vector<NewsItem>& news = ui.status.news[languageIndex(uiLanguage)];
    GpFont* dateFont = ui.drawing.font(FontId::Regular11);
    for (size_t i = 0; i < news.size() && i < 3; ++i) {
        float y = 262 + 29.0f * i;
        const NewsItem& item = news[i];
        float dateWidth = 0;
        if (!item.date.empty()) {
            drawText(ui.drawing, graphics, item.date, dateFont, kDim, 40, y + 3);
            dateWidth = measureText(ui.drawing, graphics, item.date, dateFont);
        }
        float x = 50 + std::max(dateWidth + 4, 44.0f);
        GdipSetClipRect(graphics, x, y - 2, 460 - x, 22, Gdiplus::CombineModeReplace);
        drawEmphasisText(ui.drawing, graphics, item.title, ui.drawing.font(FontId::Regular13), kCream, kGold,
                         x, y + 1, false);
        GdipResetClip(graphics);
    }
}

}  // namespace

void paintTitleBar(LauncherUi& ui, GpGraphics* graphics, PaintLayer layer) {
    const TextTable& t = texts();
    if (paintsFixed(layer)) {
        drawSpacedText(ui.drawing, graphics, t[TextId::Title], ui.drawing.font(FontId::Regular11), kDim, 64,
                       18, 1, false);
    }

    if (paintsChanging(layer)) addHitRegion(ui.window.hitRegions, ClickId::Minimise, 878, 16, 30, 24, true);
    if (paintsFixed(layer)) {
        bool minimiseHovered = ui.window.hoverId == ClickId::Minimise;
        if (minimiseHovered) fillRoundedRect(graphics, RectF{878, 16, 30, 24}, 4, 0x1FF2C94C);
        drawLine(graphics, minimiseHovered ? kGold : kMuted, 1.6f, 888, 28.5f, 898, 28.5f);
    }

    paintCloseButton(ui, graphics, ClickId::Close, RectF{912, 16, 30, 24}, layer);
}

void paintNewsAndStatus(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model, PaintLayer layer) {
    const TextTable& t = texts();
    // The news arrive once per run and a row's state changes with the phase: both are still parts.
    // The row values follow the counters.
    if (paintsFixed(layer)) {
        drawSectionHeading(ui.drawing, graphics, t[TextId::NewsHeading], 40, 236, 460);
        drawSectionHeading(ui.drawing, graphics, t[TextId::StatusHeading], 500, 236, 920);
        paintNews(ui, graphics);
    }

    GpFont* labelFont = ui.drawing.font(FontId::Regular13);
    GpFont* valueFont = ui.drawing.font(FontId::Regular12);
    const TextId rowLabels[4] = {TextId::RowGameFiles, TextId::RowUpdates, TextId::RowServer,
                                 TextId::RowVersion};
    for (int r = 0; r < 4; ++r) {
        float y = 262 + 27.0f * r;
        if (paintsFixed(layer)) {
            paintStateIcon(ui, graphics, model.rows[r].state, 500, y);
            drawText(ui.drawing, graphics, t[rowLabels[r]], labelFont, kCream, 526,
                     centredY(ui.drawing, labelFont, y, 16));
        }
        const std::wstring& value = model.rows[r].value;
        if (paintsChanging(layer) && !value.empty()) {
            float w = measureText(ui.drawing, graphics, value, valueFont);
            drawText(ui.drawing, graphics, value, valueFont, kMuted, 920 - w,
                     centredY(ui.drawing, valueFont, y, 16));
        }
    }
}

void paintInstallPanel(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model, PaintLayer layer) {
    const TextTable& t = texts();
    const bool editable = !ui.installForm.installing;
    if (paintsFixed(layer))
        drawSectionHeading(ui.drawing, graphics, t[TextId::InstallFolderHeading], 40, 236, 920);
    if (!paintsChanging(layer)) return;

    GpFont* f = ui.drawing.font(FontId::Regular13);
    float textY = centredY(ui.drawing, f, 264, 34);
    addHitRegion(ui.window.hitRegions, ClickId::FolderBox, 40, 264, 793, 34, editable);
    RectF folderBox{40, 264, 793, 34};
    fillRoundedRect(graphics, folderBox, 4, 0xFF0F0B07);
    strokeRoundedRect(graphics, folderBox, 4,
                      editable && ui.window.hoverId == ClickId::FolderBox ? 0xFF8A6E3E : 0xFF5A4A2E);
    drawText(ui.drawing, graphics, fitWithEllipsis(ui.drawing, graphics, ui.installForm.folder, f, 769), f,
             kCream, 52, textY);

    addHitRegion(ui.window.hitRegions, ClickId::ChangeFolder, 843, 264, 77, 34, editable);
    bool changeHovered = editable && ui.window.hoverId == ClickId::ChangeFolder;
    RectF changeBox{843, 264, 77, 34};
    fillRoundedRect(graphics, changeBox, 4, changeHovered ? 0xFF261D12 : 0xFF1A1510);
    strokeRoundedRect(graphics, changeBox, 4, changeHovered ? kDeepGold : 0xFF6B5A3E);
    std::wstring change = t[TextId::ChangeFolder];
    drawText(ui.drawing, graphics, change, f, kGold,
             843 + (77 - measureText(ui.drawing, graphics, change, f)) / 2, textY);

    const uint64_t required = ui.status.requiredBytes;
    std::wstring requiredText = required ? formatGigabytes(required) : std::wstring(t[TextId::Calculating]);
    std::wstring freeText =
        ui.installForm.freeBytes ? formatGigabytes(ui.installForm.freeBytes) : std::wstring(L"\u2014");
    bool tooSmall = required && ui.installForm.freeBytes && ui.installForm.freeBytes < required;
    drawEmphasisText(ui.drawing, graphics,
                     formatText(t[TextId::SpaceLine], requiredText.c_str(), freeText.c_str()),
                     ui.drawing.font(FontId::Regular12), kMuted, tooSmall ? kRed : kCream, 40, 310, false);

    float x = 40;
    paintCheckBox(ui, graphics, ClickId::DesktopShortcut, x, t[TextId::DesktopShortcut],
                  ui.installForm.desktopShortcut, editable, &x);
    paintCheckBox(ui, graphics, ClickId::StartMenuShortcut, x, t[TextId::StartMenuShortcut],
                  ui.installForm.startMenuShortcut, editable, &x);
}

void paintBottomBar(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model, PaintLayer layer) {
    const TextTable& t = texts();
    if (paintsChanging(layer)) {
        ARGB headlineNormal = model.errorStyle ? kRed : kCream;
        ARGB headlineEmphasis = model.errorStyle ? kRed : kGold;
        drawEmphasisText(ui.drawing, graphics, model.headline, ui.drawing.font(FontId::Regular15),
                         headlineNormal, headlineEmphasis, 40, 430, false);
        if (!model.detail.empty()) {
            float maxWidth = (model.percent == -1 ? 620.0f : 548.0f) - (installMode(ui) ? 0 : 60);
            drawText(ui.drawing, graphics,
                     fitWithEllipsis(ui.drawing, graphics, model.detail, ui.drawing.font(FontId::Regular12),
                                     maxWidth),
                     ui.drawing.font(FontId::Regular12), kDim, 40, 452);
        }
    }

    float barRight = installMode(ui) ? 660.0f : 600.0f;
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
