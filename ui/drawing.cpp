#include "ui/drawing.h"

#include <algorithm>
#include <cmath>

using namespace Gdiplus::DllExports;
using Gdiplus::GpStatus;
using Gdiplus::Ok;

namespace {

constexpr size_t kMeasureCacheLimit = 4096;
constexpr int kSpritePad = 4;
// Texts that change every frame (a download's byte counts) keep adding sprites, so the cache is
// dropped whole once it holds this many pixels: about 4 MiB, several screens' worth of text.
constexpr size_t kSpritePixelBudget = 1 << 20;

// The matrix is made on first use and kept; false when GDI+ refuses one.
bool ensureMatrix(UniqueMatrix& matrix) {
    if (!matrix && GdipCreateMatrix(matrix.put()) != Ok) matrix.release();
    return static_cast<bool>(matrix);
}

float worldScale(DrawingResources& res, GpGraphics* graphics) {
    if (!ensureMatrix(res.measureMatrix) || GdipGetWorldTransform(graphics, res.measureMatrix.get()) != Ok)
        return 1;
    float m[6] = {1, 0, 0, 1, 0, 0};
    GdipGetMatrixElements(res.measureMatrix.get(), m);
    return m[0];
}

void drawStringDirect(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                      ARGB colour, float x, float y) {
    UniqueBrush brush = solidBrush(colour);
    if (!brush) return;
    Gdiplus::RectF layout(x, y, 0, 0);
    GdipDrawString(graphics, text.c_str(), static_cast<INT>(text.size()), font, &layout,
                   res.stringFormat.get(), brush.get());
}

// A text a painter drew at a point, without a box: written down for the fit checks.
void noteUnboxed(DrawingResources& res, const std::wstring& text) {
    if (res.fitLog && res.boxedDepth == 0) res.fitLog->unboxed.push_back(text);
}

// The primitives one draw is made of belong to it, not to the painter.
struct InnerDraws {
    explicit InnerDraws(DrawingResources& res) : res(res) { ++res.boxedDepth; }
    ~InnerDraws() { --res.boxedDepth; }
    DrawingResources& res;
};

Sprite renderSprite(DrawingResources& res, GpGraphics* target, const SpriteKey& key) {
    Sprite sprite;
    float width = measureText(res, target, key.text, key.font) * key.scale;
    float height = lineHeight(res, key.font) * key.scale;
    sprite.width =
        static_cast<int>(std::ceil(width + height * 0.5f)) + 2 * kSpritePad + 1;  // room for overhangs
    sprite.height = static_cast<int>(std::ceil(height)) + 2 * kSpritePad + 1;
    GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromScan0(sprite.width, sprite.height, 0, PixelFormat32bppPARGB, nullptr, &bitmap) !=
        Ok)
        return sprite;
    sprite.image.reset(bitmap);
    Gdiplus::GpGraphics* raw = nullptr;
    if (GdipGetImageGraphicsContext(bitmap, &raw) != Ok) {
        sprite.image.reset();
        return sprite;
    }
    UniqueGraphics g(raw);
    GdipGraphicsClear(g.get(), 0);
    GdipSetTextRenderingHint(g.get(), static_cast<Gdiplus::TextRenderingHint>(key.hint));
    GdipSetPixelOffsetMode(g.get(), static_cast<Gdiplus::PixelOffsetMode>(key.pixelOffset));
    GdipTranslateWorldTransform(g.get(), key.padX + key.fractionX, key.padY + key.fractionY,
                                Gdiplus::MatrixOrderPrepend);
    GdipScaleWorldTransform(g.get(), key.scale, key.scale, Gdiplus::MatrixOrderPrepend);
    drawStringDirect(res, g.get(), key.text, key.font, key.colour, 0, 0);
    return sprite;
}

}  // namespace

void drawText(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
              ARGB colour, float x, float y) {
    if (text.empty() || !font) return;
    noteUnboxed(res, text);
    Gdiplus::GpMatrix* matrix = ensureMatrix(res.drawMatrix) ? res.drawMatrix.get() : nullptr;
    float m[6] = {1, 0, 0, 1, 0, 0};
    Gdiplus::TextRenderingHint hint = Gdiplus::TextRenderingHintSystemDefault;
    Gdiplus::PixelOffsetMode pixelOffset = Gdiplus::PixelOffsetModeDefault;
    bool cacheable =
        matrix && GdipGetWorldTransform(graphics, matrix) == Ok && GdipGetMatrixElements(matrix, m) == Ok &&
        m[1] == 0 && m[2] == 0 && m[0] > 0 && m[0] == m[3] &&
        GdipGetTextRenderingHint(graphics, &hint) == Ok &&
        (hint == Gdiplus::TextRenderingHintAntiAlias || hint == Gdiplus::TextRenderingHintAntiAliasGridFit) &&
        GdipGetPixelOffsetMode(graphics, &pixelOffset) == Ok;
    if (!cacheable) {
        drawStringDirect(res, graphics, text, font, colour, x, y);
        return;
    }
    // Device position of the layout origin, split into whole pixels and the exact fraction. Grid
    // fitting rounds the origin, so the sprite keeps the fraction as it is and a pad of the same
    // parity as the whole part (round-half-to-even then lands the same way in both).
    float deviceX = x * m[0] + m[4], deviceY = y * m[3] + m[5];
    float wholeX = std::floor(deviceX), wholeY = std::floor(deviceY);
    int padX = kSpritePad + (static_cast<long long>(wholeX) & 1);
    int padY = kSpritePad + (static_cast<long long>(wholeY) & 1);
    SpriteKey key{font,
                  colour,
                  m[0],
                  deviceX - wholeX,
                  deviceY - wholeY,
                  padX,
                  padY,
                  static_cast<int>(hint),
                  static_cast<int>(pixelOffset),
                  text};

    auto& cache = res.textCaches.sprites;
    auto found = cache.find(key);
    if (found == cache.end()) {
        Sprite sprite = renderSprite(res, graphics, key);
        size_t pixels = static_cast<size_t>(sprite.width) * sprite.height;
        if (res.textCaches.spritePixels + pixels > kSpritePixelBudget) {
            cache.clear();
            res.textCaches.spritePixels = 0;
        }
        res.textCaches.spritePixels += pixels;
        found = cache.emplace(key, std::move(sprite)).first;
    }
    const Sprite& sprite = found->second;
    if (!sprite.image) {
        drawStringDirect(res, graphics, text, font, colour, x, y);
        return;
    }
    // One to one onto device pixels: no transform, no resampling.
    Gdiplus::InterpolationMode interpolation = Gdiplus::InterpolationModeDefault;
    GdipGetInterpolationMode(graphics, &interpolation);
    GdipResetWorldTransform(graphics);
    GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHalf);
    GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeNearestNeighbor);
    GdipDrawImageRectI(graphics, sprite.image.get(), static_cast<INT>(wholeX) - padX,
                       static_cast<INT>(wholeY) - padY, sprite.width, sprite.height);
    GdipSetInterpolationMode(graphics, interpolation);
    GdipSetPixelOffsetMode(graphics, pixelOffset);
    GdipSetWorldTransform(graphics, matrix);
}

float measureText(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font) {
    if (text.empty() || !font) return 0;
    Gdiplus::TextRenderingHint hint = Gdiplus::TextRenderingHintSystemDefault;
    GdipGetTextRenderingHint(graphics, &hint);
    MeasureKey key{font, worldScale(res, graphics), static_cast<int>(hint), text};
    auto& cache = res.textCaches.widths;
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;

    Gdiplus::RectF layout(0, 0, 0, 0);
    Gdiplus::RectF box(0, 0, 0, 0);
    if (GdipMeasureString(graphics, text.c_str(), static_cast<INT>(text.size()), font, &layout,
                          res.stringFormat.get(), &box, nullptr, nullptr) != Ok)
        return 0;
    if (cache.size() >= kMeasureCacheLimit) cache.clear();
    cache.emplace(std::move(key), box.Width);
    return box.Width;
}

float lineHeight(DrawingResources& res, GpFont* font) {
    if (!font) return 0;
    auto& cache = res.textCaches.lineHeights;
    auto found = cache.find(font);
    if (found != cache.end()) return found->second;
    float size = 0;
    INT style = 0;
    Gdiplus::GpFontFamily* raw = nullptr;
    if (GdipGetFontSize(font, &size) != Ok || GdipGetFontStyle(font, &style) != Ok ||
        GdipGetFamily(font, &raw) != Ok)
        return size;
    UniqueFontFamily family(raw);
    UINT16 spacing = 0, em = 0;
    GdipGetLineSpacing(family.get(), style, &spacing);
    GdipGetEmHeight(family.get(), style, &em);
    float height = em ? size * spacing / em : size;
    cache[font] = height;
    return height;
}

float centredY(DrawingResources& res, GpFont* font, float top, float height) {
    return top + (height - lineHeight(res, font)) / 2;
}

float drawSpacedText(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                     ARGB colour, float x, float y, float spacing, bool measureOnly) {
    if (!measureOnly && !text.empty()) noteUnboxed(res, text);
    InnerDraws inner(res);
    float advance = 0;
    for (wchar_t c : text) {
        std::wstring one(1, c);
        if (!measureOnly) drawText(res, graphics, one, font, colour, x + advance, y);
        advance += measureText(res, graphics, one, font) + spacing;
    }
    return advance;
}

float drawEmphasisText(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                       ARGB normalColour, ARGB emphasisColour, float x, float y, bool measureOnly) {
    if (text.empty()) return 0;
    if (!measureOnly) noteUnboxed(res, text);
    InnerDraws inner(res);
    std::wstring drawnSoFar;  // every previous segment, asterisks removed
    bool emphasised = false;
    size_t start = 0;
    while (true) {
        size_t star = text.find(L'*', start);
        std::wstring segment =
            text.substr(start, star == std::wstring::npos ? std::wstring::npos : star - start);
        if (!segment.empty() && !measureOnly) {
            size_t firstVisible = segment.find_first_not_of(L' ');
            if (firstVisible != std::wstring::npos) {
                // Leading blanks are not drawn (a drawn blank would shift anti-aliasing of what follows),
                // but they still take their place in the line.
                float offset = measureText(res, graphics, drawnSoFar + segment.substr(0, firstVisible), font);
                drawText(res, graphics, segment.substr(firstVisible), font,
                         emphasised ? emphasisColour : normalColour, x + offset, y);
            }
        }
        drawnSoFar += segment;
        emphasised = !emphasised;
        if (star == std::wstring::npos) break;
        start = star + 1;
    }
    return measureText(res, graphics, drawnSoFar, font);
}

std::wstring fitWithEllipsis(DrawingResources& res, GpGraphics* graphics, const std::wstring& text,
                             GpFont* font, float maxWidth) {
    if (measureText(res, graphics, text, font) <= maxWidth) return text;
    const std::wstring ellipsis = L"\u2026";
    size_t lo = 0, hi = text.size();
    while (lo < hi) {
        size_t mid = (lo + hi + 1) / 2;
        if (measureText(res, graphics, text.substr(0, mid) + ellipsis, font) <= maxWidth)
            lo = mid;
        else
            hi = mid - 1;
    }
    return text.substr(0, lo) + ellipsis;
}

void addRoundedRect(GpPath* path, const RectF& rect, float radius) {
    float d = std::min({rect.width, rect.height, 2 * radius});
    if (d <= 0.01f) {
        GdipAddPathRectangle(path, rect.x, rect.y, rect.width, rect.height);
        return;
    }
    GdipAddPathArc(path, rect.x, rect.y, d, d, 180, 90);
    GdipAddPathArc(path, rect.x + rect.width - d, rect.y, d, d, 270, 90);
    GdipAddPathArc(path, rect.x + rect.width - d, rect.y + rect.height - d, d, d, 0, 90);
    GdipAddPathArc(path, rect.x, rect.y + rect.height - d, d, d, 90, 90);
    GdipClosePathFigure(path);
}

void fillRoundedRect(GpGraphics* graphics, const RectF& rect, float radius, GpBrush* brush) {
    if (!brush) return;
    GpPath* raw = nullptr;
    if (GdipCreatePath(Gdiplus::FillModeAlternate, &raw) != Ok) return;
    UniquePath path(raw);
    addRoundedRect(path.get(), rect, radius);
    GdipFillPath(graphics, brush, path.get());
}

void fillRoundedRect(GpGraphics* graphics, const RectF& rect, float radius, ARGB colour) {
    UniqueBrush brush = solidBrush(colour);
    fillRoundedRect(graphics, rect, radius, brush.get());
}

void strokeRoundedRect(GpGraphics* graphics, const RectF& rect, float radius, ARGB colour) {
    UniquePen pen = solidPen(colour, 1);
    GpPath* raw = nullptr;
    if (!pen || GdipCreatePath(Gdiplus::FillModeAlternate, &raw) != Ok) return;
    UniquePath path(raw);
    // Inset by half a pixel so that a one-pixel line covers whole pixels instead of two halves.
    addRoundedRect(path.get(), RectF{rect.x + 0.5f, rect.y + 0.5f, rect.width - 1, rect.height - 1},
                   radius - 0.5f);
    GdipDrawPath(graphics, pen.get(), path.get());
}

void fillRect(GpGraphics* graphics, ARGB colour, float x, float y, float width, float height) {
    UniqueBrush brush = solidBrush(colour);
    if (brush) GdipFillRectangle(graphics, brush.get(), x, y, width, height);
}

void drawLine(GpGraphics* graphics, ARGB colour, float width, float x1, float y1, float x2, float y2) {
    UniquePen pen = solidPen(colour, width);
    if (pen) GdipDrawLine(graphics, pen.get(), x1, y1, x2, y2);
}

void fillEllipse(GpGraphics* graphics, ARGB colour, float x, float y, float width, float height) {
    UniqueBrush brush = solidBrush(colour);
    if (brush) GdipFillEllipse(graphics, brush.get(), x, y, width, height);
}

void strokeEllipse(GpGraphics* graphics, ARGB colour, float penWidth, float x, float y, float width,
                   float height) {
    UniquePen pen = solidPen(colour, penWidth);
    if (pen) GdipDrawEllipse(graphics, pen.get(), x, y, width, height);
}

void drawCheckStroke(GpGraphics* graphics, ARGB colour, float x1, float y1, float x2, float y2, float x3,
                     float y3) {
    UniquePen pen = solidPen(colour, 1.7f);
    if (!pen) return;
    GdipSetPenLineJoin(pen.get(), Gdiplus::LineJoinRound);
    GdipSetPenStartCap(pen.get(), Gdiplus::LineCapRound);
    GdipSetPenEndCap(pen.get(), Gdiplus::LineCapRound);
    Gdiplus::GpPointF points[3] = {{x1, y1}, {x2, y2}, {x3, y3}};
    GdipDrawLines(graphics, pen.get(), points, 3);
}

GpStatus setGradientStops(GpLineGradient* brush, const ARGB* colours, const float* positions, int count) {
    if (!brush || !colours || !positions || count <= 0) return Gdiplus::InvalidParameter;
    return GdipSetLinePresetBlend(brush, colours, positions, count);
}
