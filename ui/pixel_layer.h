// A picture kept as the runs of its rows that are not fully transparent (premultiplied BGRA),
// painting one with GDI+ as a frame would be painted, and blending it over a frame: the frame's
// cached parts and the ember sprites are laid down this way instead of being painted again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "ui/gdiplus_handles.h"

struct PixelRun {
    int row = 0;
    int start = 0, end = 0;  // [start, end) within the row
    size_t offset = 0;       // of the run's first pixel in PixelLayer::pixels
};

struct PixelLayer {
    int width = 0, height = 0;
    std::vector<PixelRun> runs;    // in row order; everything outside them is fully transparent
    std::vector<uint32_t> pixels;  // the runs' pixels, one run after another
};

// The runs of a width x height picture of premultiplied BGRA pixels, top row first.
PixelLayer packLayer(const uint32_t* pixels, int width, int height);
// Blends the layer over a premultiplied BGRA target of width x height, its top-left corner at
// (x, y), every pixel first scaled by opacity (0 to 255); what falls outside the target is cut.
void blendLayer(const PixelLayer& layer, uint32_t* target, int width, int height, int x, int y,
                int opacity = 255);

// The graphics a frame is painted with on bitmap: anti-aliased shapes, anti-aliased grid-fitted
// text, pixel offset half, nearest-neighbour images, and design units scaled to device pixels;
// empty when GDI+ refuses.
UniqueGraphics frameGraphics(GpBitmap* bitmap, float scale);
// Paints with a frame's graphics into a transparent width x height picture, the design origin
// moved to device pixel (originX, originY), and keeps what was drawn; empty when GDI+ refuses.
// Laid over a frame, it gives what painting there would have given, up to one more blend's rounding.
PixelLayer paintLayer(int width, int height, float scale, float originX, float originY,
                      const std::function<void(GpGraphics*)>& paint);
