#include "ui/controls.h"

#include <algorithm>

#include "ui/keyboard.h"
#include "ui/palette.h"
#include "ui/text_fit.h"

using namespace Gdiplus::DllExports;

void paintCloseButton(LauncherUi& ui, GpGraphics* graphics, ClickId id, const RectF& box, PaintLayer layer) {
    if (paintsChanging(layer))
        addHitRegion(ui.window.hitRegions, id, box.x, box.y, box.width, box.height, true);
    if (!paintsFixed(layer)) return;
    const Look& look = ui.window.look;
    const bool hovered = ui.window.hoverId == id;
    if (hovered) fillRoundedRect(graphics, box, 4, pick(look, 0x40E0544A, Role::Highlight));
    const ARGB cross = hovered ? pick(look, 0xFFFFFFFF, Role::HighlightText) : pick(look, kMuted, Role::Text);
    const float cx = box.x + box.width / 2, cy = box.y + box.height / 2;
    drawLine(graphics, cross, 1.6f, cx - 4.5f, cy - 4.5f, cx + 4.5f, cy + 4.5f);
    drawLine(graphics, cross, 1.6f, cx + 4.5f, cy - 4.5f, cx - 4.5f, cy + 4.5f);
}

void drawSectionHeading(DrawingResources& res, const Look& look, GpGraphics* graphics,
                        const std::wstring& text, float x, float y, float rightEdge) {
    GpFont* font = res.font(FontId::Bold12);
    const float height = lineHeight(res, font);
    float advance = drawSpacedLineIn(res, graphics, text, font, pick(look, kDeepGold, Role::Text),
                                     RectF{x, y, rightEdge - x, height}, y, 3);
    float start = x + advance + 10;
    if (rightEdge - start < 2) return;
    const float ruleY = y + height / 2 - 0.5f;
    if (look.highContrast) {
        // A fade is no system colour: the rule stays whole.
        fillRect(graphics, pick(look, kDeepGold, Role::Text), start, ruleY, rightEdge - start, 1);
        return;
    }
    UniqueBrush rule = lineBrush(start - 0.5f, 0, 0x80D9A83A, rightEdge + 0.5f, 0, 0x00D9A83A);
    if (!rule) return;
    GdipFillRectangle(graphics, rule.get(), start, ruleY, rightEdge - start, 1);
}

void paintFocusRing(LauncherUi& ui, GpGraphics* graphics) {
    const WindowState& w = ui.window;
    if (!w.focusCues || focusable(w.hitRegions, w.focusId) == ClickId::None) return;
    const HitRegion* region = nullptr;
    for (const HitRegion& r : w.hitRegions)
        if (r.id == w.focusId) region = &r;
    if (!region) return;
    // Three pixels outside the control, rounded like the design's buttons.
    const float gap = 3;
    RectF ring{region->x - gap, region->y - gap, region->width + 2 * gap, region->height + 2 * gap};
    const float radius = std::min(region->height / 2, 6.0f) + gap;
    if (w.look.highContrast) {
        strokeRoundedRect(graphics, ring, radius, w.look.colours.highlight);
        strokeRoundedRect(graphics, RectF{ring.x + 1, ring.y + 1, ring.width - 2, ring.height - 2},
                          radius - 1, w.look.colours.highlight);
        return;
    }
    // A soft gold halo with a crisp gold line inside it.
    strokeRoundedRect(graphics, RectF{ring.x - 1, ring.y - 1, ring.width + 2, ring.height + 2}, radius + 1,
                      0x50F2C94C);
    strokeRoundedRect(graphics, ring, radius, kGold);
}
