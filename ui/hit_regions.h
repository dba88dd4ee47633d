// The controls of the last painted frame: rectangles in design units registered while painting,
// and the hit test that maps a client pixel to the topmost of them.
#pragma once

#include <vector>

#include "ui/click_id.h"

struct HitRegion {
    ClickId id = ClickId::None;
    float x = 0, y = 0, width = 0, height = 0;
    bool clickable = false;  // a disabled control still takes the pointer, but no click
};

using HitRegions = std::vector<HitRegion>;

void addHitRegion(HitRegions& regions, ClickId id, float x, float y, float width, float height,
                  bool clickable);
// The region under the centre of client pixel (x, y) at the window's scale; the last one added
// wins. ClickId::None (and *clickable false) where there is none.
ClickId hitTest(const HitRegions& regions, float scale, int clientX, int clientY, bool* clickable);
