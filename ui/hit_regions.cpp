#include "ui/hit_regions.h"

void addHitRegion(HitRegions& regions, ClickId id, float x, float y, float width, float height,
                  bool clickable) {
    regions.push_back(HitRegion{id, x, y, width, height, clickable});
}

ClickId hitTest(const HitRegions& regions, float scale, int clientX, int clientY, bool* clickable) {
    // The centre of the device pixel, in design units.
    const float dx = (static_cast<float>(clientX) + 0.5f) / scale;
    const float dy = (static_cast<float>(clientY) + 0.5f) / scale;
    for (auto it = regions.rbegin(); it != regions.rend(); ++it) {
        if (dx >= it->x && dx < it->x + it->width && dy >= it->y && dy < it->y + it->height) {
            if (clickable) *clickable = it->clickable;
            return it->id;
        }
    }
    if (clickable) *clickable = false;
    return ClickId::None;
}
