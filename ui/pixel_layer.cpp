#include "ui/pixel_layer.h"

#include <algorithm>

using namespace Gdiplus::DllExports;

namespace {

// v / 255 rounded to nearest, exact for every product of two bytes.
inline uint32_t divide255(uint32_t v) {
    v += 128;
    return (v + (v >> 8)) >> 8;
}

// Scales all four channels of a premultiplied pixel by opacity / 255.
inline uint32_t scalePixel(uint32_t p, uint32_t opacity) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= divide255(((p >> shift) & 0xFF) * opacity) << shift;
    return out;
}

// Source over destination, both premultiplied.
inline uint32_t over(uint32_t source, uint32_t destination) {
    const uint32_t keep = 255 - (source >> 24);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t channel = ((source >> shift) & 0xFF) + divide255(((destination >> shift) & 0xFF) * keep);
        out |= std::min<uint32_t>(channel, 255) << shift;
    }
    return out;
}

}  // namespace

PixelLayer packLayer(const uint32_t* pixels, int width, int height) {
    PixelLayer layer;
    if (!pixels || width <= 0 || height <= 0) return layer;
    layer.width = width;
    layer.height = height;
    for (int row = 0; row < height; ++row) {
        const uint32_t* line = pixels + static_cast<size_t>(row) * width;
        int x = 0;
        while (x < width) {
            while (x < width && line[x] == 0)
                ++x;
            if (x == width) break;
            const int start = x;
            while (x < width && line[x] != 0)
                ++x;
            layer.runs.push_back(PixelRun{row, start, x, layer.pixels.size()});
            layer.pixels.insert(layer.pixels.end(), line + start, line + x);
        }
    }
    return layer;
}

void blendLayer(const PixelLayer& layer, uint32_t* target, int width, int height, int x, int y, int opacity) {
    if (!target || opacity <= 0) return;
    const uint32_t scale = static_cast<uint32_t>(std::min(opacity, 255));
    for (const PixelRun& run : layer.runs) {
        const int targetRow = y + run.row;
        if (targetRow < 0 || targetRow >= height) continue;
        const int start = std::max(run.start, -x), end = std::min(run.end, width - x);
        if (start >= end) continue;
        const uint32_t* source = layer.pixels.data() + run.offset;
        uint32_t* line = target + static_cast<size_t>(targetRow) * width + x;
        for (int i = start; i < end; ++i) {
            const uint32_t s = source[i - run.start];
            const uint32_t p = scale == 255 ? s : scalePixel(s, scale);
            const uint32_t alpha = p >> 24;
            if (alpha == 255)
                line[i] = p;
            else if (p != 0)
                line[i] = over(p, line[i]);
        }
    }
}

UniqueGraphics frameGraphics(GpBitmap* bitmap, float scale) {
    UniqueGraphics graphics;
    if (!bitmap || GdipGetImageGraphicsContext(bitmap, graphics.put()) != Gdiplus::Ok) {
        graphics.release();
        return graphics;
    }
    GpGraphics* g = graphics.get();
    GdipSetSmoothingMode(g, Gdiplus::SmoothingModeAntiAlias);
    GdipSetTextRenderingHint(g, Gdiplus::TextRenderingHintAntiAliasGridFit);
    GdipSetPixelOffsetMode(g, Gdiplus::PixelOffsetModeHalf);
    GdipSetInterpolationMode(g, Gdiplus::InterpolationModeNearestNeighbor);
    GdipScaleWorldTransform(g, scale, scale, Gdiplus::MatrixOrderPrepend);
    return graphics;
}

PixelLayer paintLayer(int width, int height, float scale, float originX, float originY,
                      const std::function<void(GpGraphics*)>& paint) {
    if (width <= 0 || height <= 0) return PixelLayer();
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0);
    {
        UniqueBitmap bitmap;
        if (GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppPARGB,
                                      reinterpret_cast<BYTE*>(pixels.data()), bitmap.put()) != Gdiplus::Ok) {
            bitmap.release();
            return PixelLayer();
        }
        UniqueGraphics graphics = frameGraphics(bitmap.get(), scale);
        if (!graphics) return PixelLayer();
        // Appended: the shift applies in device pixels, after the scale.
        if (originX != 0 || originY != 0)
            GdipTranslateWorldTransform(graphics.get(), originX, originY, Gdiplus::MatrixOrderAppend);
        paint(graphics.get());
    }
    return packLayer(pixels.data(), width, height);
}
