#include "ui/controls.h"

#include "ui/palette.h"

void paintCloseButton(LauncherUi& ui, GpGraphics* graphics, ClickId id, const RectF& box, PaintLayer layer) {
    if (paintsChanging(layer))
        addHitRegion(ui.window.hitRegions, id, box.x, box.y, box.width, box.height, true);
    if (!paintsFixed(layer)) return;
    const bool hovered = ui.window.hoverId == id;
    if (hovered) fillRoundedRect(graphics, box, 4, 0x40E0544A);
    const ARGB cross = hovered ? 0xFFFFFFFF : kMuted;
    const float cx = box.x + box.width / 2, cy = box.y + box.height / 2;
    drawLine(graphics, cross, 1.6f, cx - 4.5f, cy - 4.5f, cx + 4.5f, cy + 4.5f);
    drawLine(graphics, cross, 1.6f, cx + 4.5f, cy - 4.5f, cx - 4.5f, cy + 4.5f);
}
