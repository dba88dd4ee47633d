#include "ui/drawing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <unordered_map>

#include "app/launcher_app.h"
#include "ui/gdiplus_handles.h"

using namespace Gdiplus::DllExports;
using Gdiplus::GpStatus;
using Gdiplus::Ok;

namespace {

void releaseImages(LauncherApp& app) {
    for (int i = 0; i < 5; ++i) {
        if (app.images[i]) GdipDisposeImage(app.images[i]);
        app.images[i] = nullptr;
        // The decoder may read from the stream for as long as the image lives, so it goes after it.
        if (app.imageStreams[i]) app.imageStreams[i]->Release();
        app.imageStreams[i] = nullptr;
    }
}

// Decodes one RT_RCDATA PNG. The stream owns its memory block and must outlive the image.
bool loadImageResource(HMODULE module, int id, IStream** streamOut, Gdiplus::GpImage** imageOut) {
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (!resource) return false;
    DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return false;

    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block) return false;
    void* target = GlobalLock(block);
    if (!target) {
        GlobalFree(block);
        return false;
    }
    std::memcpy(target, bytes, size);
    GlobalUnlock(block);

    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || !stream) {
        GlobalFree(block);
        return false;
    }
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromStream(stream, &bitmap) != Ok || !bitmap) {
        stream->Release();
        return false;
    }
    *streamOut = stream;
    *imageOut = bitmap;
    return true;
}

// Text measuring dominates a frame's cost on slow GDI+ implementations, and a frame measures the
// same few dozen strings every 33 ms. Widths depend on the font, the text, the world scale (grid
// fitting happens in device pixels) and the rendering hint, so all four form the key. UI thread only.
struct MeasureKey {
    GpFont* font;
    float scale;
    int hint;
    std::wstring text;
    bool operator<(const MeasureKey& o) const {
        return std::tie(font, scale, hint, text) < std::tie(o.font, o.scale, o.hint, o.text);
    }
};
std::map<MeasureKey, float>& measureCache() {
    static std::map<MeasureKey, float> cache;
    return cache;
}
std::unordered_map<GpFont*, float>& lineHeightCache() {
    static std::unordered_map<GpFont*, float> cache;
    return cache;
}
constexpr size_t kMeasureCacheLimit = 4096;

float worldScale(GpGraphics* g) {
    static Gdiplus::GpMatrix* matrix = nullptr;
    if (!matrix && GdipCreateMatrix(&matrix) != Ok) matrix = nullptr;
    if (!matrix || GdipGetWorldTransform(g, matrix) != Ok) return 1;
    float m[6] = {1, 0, 0, 1, 0, 0};
    GdipGetMatrixElements(matrix, m);
    return m[0];
}

}  // namespace

bool loadImages(LauncherApp& app) {
    releaseImages(app);
    // A null instance means the executable itself, which is also what the test binaries embed.
    HMODULE module = app.instance ? app.instance : GetModuleHandleW(nullptr);
    for (int i = 0; i < 5; ++i) {
        if (!loadImageResource(module, 101 + i, &app.imageStreams[i], &app.images[i])) return false;
    }
    return true;
}

GpBitmap* scaledCopy(GpImage* image, int width, int height) {
    if (!image || width <= 0 || height <= 0) return nullptr;
    UINT sourceWidth = 0, sourceHeight = 0;
    GdipGetImageWidth(image, &sourceWidth);
    GdipGetImageHeight(image, &sourceHeight);
    GpBitmap* copy = nullptr;
    if (GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppPARGB, nullptr, &copy) != Ok)
        return nullptr;

    Gdiplus::GpGraphics* raw = nullptr;
    if (GdipGetImageGraphicsContext(copy, &raw) != Ok) {
        GdipDisposeImage(copy);
        return nullptr;
    }
    UniqueGraphics g(raw);
    GdipSetCompositingMode(g.get(), Gdiplus::CompositingModeSourceCopy);
    GdipSetInterpolationMode(g.get(), Gdiplus::InterpolationModeHighQualityBicubic);
    GdipSetPixelOffsetMode(g.get(), Gdiplus::PixelOffsetModeHighQuality);
    // Flipped tiling gives the filter real neighbours at the border instead of transparent ones,
    // so the edges of the copy do not fade.
    Gdiplus::GpImageAttributes* rawAttributes = nullptr;
    GdipCreateImageAttributes(&rawAttributes);
    UniqueImageAttributes attributes(rawAttributes);
    if (attributes) GdipSetImageAttributesWrapMode(attributes.get(), Gdiplus::WrapModeTileFlipXY, 0, FALSE);
    GpStatus status = GdipDrawImageRectRectI(g.get(), image, 0, 0, width, height, 0, 0,
                                             static_cast<INT>(sourceWidth), static_cast<INT>(sourceHeight),
                                             Gdiplus::UnitPixel, attributes.get(), nullptr, nullptr);
    if (status != Ok) {
        g.reset();
        GdipDisposeImage(copy);
        return nullptr;
    }
    return copy;
}

namespace {

Gdiplus::GpFontFamily* familyNamed(const wchar_t* name) {
    Gdiplus::GpFontFamily* family = nullptr;
    if (!name || !*name || GdipCreateFontFamilyFromName(name, nullptr, &family) != Ok) return nullptr;
    return family;
}

// The system's message font. Its face name may be one that only GDI's font mapper knows (a
// substitute such as "MS Shell Dlg"), so the face GDI actually realises for it comes second.
Gdiplus::GpFontFamily* messageFontFamily() {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return nullptr;
    if (Gdiplus::GpFontFamily* family = familyNamed(metrics.lfMessageFont.lfFaceName)) return family;
    wchar_t face[LF_FACESIZE] = {};
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    if (dc && font) {
        HGDIOBJ previous = SelectObject(dc, font);
        if (GetTextFaceW(dc, LF_FACESIZE, face) <= 0) face[0] = 0;
        SelectObject(dc, previous);
    }
    if (font) DeleteObject(font);
    if (dc) DeleteDC(dc);
    return familyNamed(face);
}

// Through the flat API: the C++ wrapper dereferences a null family when none exists.
Gdiplus::GpFontFamily* genericSansSerif() {
    Gdiplus::GpFontFamily* family = nullptr;
    if (GdipGetGenericFontFamilySansSerif(&family) != Ok) return nullptr;
    return family;
}

}  // namespace

GpFont* createFontWithFallback(const wchar_t* family, float size, int style, GpStatus* status) {
    // The named family, then the system's message font, then the generic sans-serif family, each
    // tried only when the one before gives no font of this size and style.
    GpFont* font = nullptr;
    GpStatus result = Gdiplus::FontFamilyNotFound;
    for (int step = 0; step < 3 && !font; ++step) {
        UniqueFontFamily candidate(step == 0   ? familyNamed(family)
                                   : step == 1 ? messageFontFamily()
                                               : genericSansSerif());
        if (!candidate) continue;
        result = GdipCreateFont(candidate.get(), size, style, Gdiplus::UnitPixel, &font);
        if (result != Ok) font = nullptr;
    }
    if (!font && result == Ok) result = Gdiplus::GenericError;
    if (status) *status = result;
    return font;
}

void createFonts(LauncherApp& app) {
    struct FontChoice {
        const wchar_t* family;
        float size;
        int style;
    };
    static const FontChoice fontTable[8] = {
        {L"Tahoma", 11, Gdiplus::FontStyleRegular}, {L"Tahoma", 11, Gdiplus::FontStyleBold},
        {L"Tahoma", 12, Gdiplus::FontStyleRegular}, {L"Tahoma", 12, Gdiplus::FontStyleBold},
        {L"Tahoma", 13, Gdiplus::FontStyleRegular}, {L"Tahoma", 14, Gdiplus::FontStyleBold},
        {L"Tahoma", 15, Gdiplus::FontStyleRegular}, {L"Trebuchet MS", 22, Gdiplus::FontStyleBold},
    };
    // A new font may be given the address of a deleted one.
    clearTextCaches();
    for (int i = 0; i < 8; ++i) {
        if (app.uiFonts[i]) GdipDeleteFont(app.uiFonts[i]);
        GpStatus status = Ok;
        app.uiFonts[i] =
            createFontWithFallback(fontTable[i].family, fontTable[i].size, fontTable[i].style, &status);
        if (i == 7 && status != Ok) {
            if (app.uiFonts[i]) GdipDeleteFont(app.uiFonts[i]);
            app.uiFonts[i] = createFontWithFallback(L"Tahoma", 22, Gdiplus::FontStyleBold, &status);
        }
    }

    if (app.uiStringFormat) GdipDeleteStringFormat(app.uiStringFormat);
    app.uiStringFormat = nullptr;
    // The generic typographic format belongs to GDI+; only the clone is ours.
    Gdiplus::GpStringFormat* generic = nullptr;
    if (GdipStringFormatGetGenericTypographic(&generic) == Ok && generic &&
        GdipCloneStringFormat(generic, &app.uiStringFormat) == Ok) {
        INT flags = 0;
        GdipGetStringFormatFlags(app.uiStringFormat, &flags);
        GdipSetStringFormatFlags(app.uiStringFormat, flags | Gdiplus::StringFormatFlagsNoWrap |
                                                         Gdiplus::StringFormatFlagsMeasureTrailingSpaces);
    } else {
        app.uiStringFormat = nullptr;
    }
}

namespace {

void drawStringDirect(LauncherApp& app, GpGraphics* g, const std::wstring& text, GpFont* font, ARGB colour,
                      float x, float y) {
    UniqueBrush brush = solidBrush(colour);
    if (!brush) return;
    Gdiplus::RectF layout(x, y, 0, 0);
    GdipDrawString(g, text.c_str(), static_cast<INT>(text.size()), font, &layout, app.uiStringFormat,
                   brush.get());
}

// Rendered text, kept between frames. Glyph rasterising is by far the slowest part of a frame on
// slow GDI+ implementations, while the same texts land on the same device positions frame after
// frame. A sprite holds the text exactly as it would be drawn at a given scale and sub-pixel offset
// (greyscale anti-aliasing composites the same on a transparent layer as on the background).
struct SpriteKey {
    GpFont* font;
    ARGB colour;
    float scale;
    float fractionX, fractionY;  // sub-pixel part of the device position
    int padX, padY;              // whole pixels before the origin inside the sprite
    int hint;
    int pixelOffset;
    std::wstring text;
    bool operator<(const SpriteKey& o) const {
        return std::tie(font, colour, scale, fractionX, fractionY, padX, padY, hint, pixelOffset, text) <
               std::tie(o.font, o.colour, o.scale, o.fractionX, o.fractionY, o.padX, o.padY, o.hint,
                        o.pixelOffset, o.text);
    }
};
struct Sprite {
    UniqueImage image;
    int width = 0, height = 0;
};
constexpr int kSpritePad = 4;
// Texts that change every frame (a download's byte counts) keep adding sprites, so the cache is
// dropped whole once it holds this many pixels: about 4 MiB, several screens' worth of text.
constexpr size_t kSpritePixelBudget = 1 << 20;

std::map<SpriteKey, Sprite>& spriteCache() {
    static std::map<SpriteKey, Sprite> cache;
    return cache;
}
size_t& spritePixels() {
    static size_t pixels = 0;
    return pixels;
}

Sprite renderSprite(LauncherApp& app, GpGraphics* target, const SpriteKey& key) {
    Sprite sprite;
    float width = measureText(app, target, key.text, key.font) * key.scale;
    float height = lineHeight(key.font) * key.scale;
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
    drawStringDirect(app, g.get(), key.text, key.font, key.colour, 0, 0);
    return sprite;
}

}  // namespace

void clearTextCaches() {
    spriteCache().clear();
    spritePixels() = 0;
    measureCache().clear();
    lineHeightCache().clear();
}

void drawText(LauncherApp& app, GpGraphics* g, const std::wstring& text, GpFont* font, ARGB colour, float x,
              float y) {
    if (text.empty() || !font) return;
    static Gdiplus::GpMatrix* matrix = nullptr;
    if (!matrix && GdipCreateMatrix(&matrix) != Ok) matrix = nullptr;
    float m[6] = {1, 0, 0, 1, 0, 0};
    Gdiplus::TextRenderingHint hint = Gdiplus::TextRenderingHintSystemDefault;
    Gdiplus::PixelOffsetMode pixelOffset = Gdiplus::PixelOffsetModeDefault;
    bool cacheable =
        matrix && GdipGetWorldTransform(g, matrix) == Ok && GdipGetMatrixElements(matrix, m) == Ok &&
        m[1] == 0 && m[2] == 0 && m[0] > 0 && m[0] == m[3] && GdipGetTextRenderingHint(g, &hint) == Ok &&
        (hint == Gdiplus::TextRenderingHintAntiAlias || hint == Gdiplus::TextRenderingHintAntiAliasGridFit) &&
        GdipGetPixelOffsetMode(g, &pixelOffset) == Ok;
    if (!cacheable) {
        drawStringDirect(app, g, text, font, colour, x, y);
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

    auto& cache = spriteCache();
    auto found = cache.find(key);
    if (found == cache.end()) {
        Sprite sprite = renderSprite(app, g, key);
        size_t pixels = static_cast<size_t>(sprite.width) * sprite.height;
        if (spritePixels() + pixels > kSpritePixelBudget) {
            cache.clear();
            spritePixels() = 0;
        }
        spritePixels() += pixels;
        found = cache.emplace(key, std::move(sprite)).first;
    }
    const Sprite& sprite = found->second;
    if (!sprite.image) {
        drawStringDirect(app, g, text, font, colour, x, y);
        return;
    }
    // One to one onto device pixels: no transform, no resampling.
    Gdiplus::InterpolationMode interpolation = Gdiplus::InterpolationModeDefault;
    GdipGetInterpolationMode(g, &interpolation);
    GdipResetWorldTransform(g);
    GdipSetPixelOffsetMode(g, Gdiplus::PixelOffsetModeHalf);
    GdipSetInterpolationMode(g, Gdiplus::InterpolationModeNearestNeighbor);
    GdipDrawImageRectI(g, sprite.image.get(), static_cast<INT>(wholeX) - padX,
                       static_cast<INT>(wholeY) - padY, sprite.width, sprite.height);
    GdipSetInterpolationMode(g, interpolation);
    GdipSetPixelOffsetMode(g, pixelOffset);
    GdipSetWorldTransform(g, matrix);
}

float measureText(LauncherApp& app, GpGraphics* g, const std::wstring& text, GpFont* font) {
    if (text.empty() || !font) return 0;
    Gdiplus::TextRenderingHint hint = Gdiplus::TextRenderingHintSystemDefault;
    GdipGetTextRenderingHint(g, &hint);
    MeasureKey key{font, worldScale(g), static_cast<int>(hint), text};
    auto& cache = measureCache();
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;

    Gdiplus::RectF layout(0, 0, 0, 0);
    Gdiplus::RectF box(0, 0, 0, 0);
    if (GdipMeasureString(g, text.c_str(), static_cast<INT>(text.size()), font, &layout, app.uiStringFormat,
                          &box, nullptr, nullptr) != Ok)
        return 0;
    if (cache.size() >= kMeasureCacheLimit) cache.clear();
    cache.emplace(std::move(key), box.Width);
    return box.Width;
}

float lineHeight(GpFont* font) {
    if (!font) return 0;
    auto& cache = lineHeightCache();
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

float drawSpacedText(LauncherApp& app, GpGraphics* g, const std::wstring& text, GpFont* font, ARGB colour,
                     float x, float y, float spacing, bool measureOnly) {
    float advance = 0;
    for (wchar_t c : text) {
        std::wstring one(1, c);
        if (!measureOnly) drawText(app, g, one, font, colour, x + advance, y);
        advance += measureText(app, g, one, font) + spacing;
    }
    return advance;
}

float drawEmphasisText(LauncherApp& app, GpGraphics* g, const std::wstring& text, GpFont* font,
                       ARGB normalColour, ARGB emphasisColour, float x, float y, bool measureOnly) {
    if (text.empty()) return 0;
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
                float offset = measureText(app, g, drawnSoFar + segment.substr(0, firstVisible), font);
                drawText(app, g, segment.substr(firstVisible), font,
                         emphasised ? emphasisColour : normalColour, x + offset, y);
            }
        }
        drawnSoFar += segment;
        emphasised = !emphasised;
        if (star == std::wstring::npos) break;
        start = star + 1;
    }
    return measureText(app, g, drawnSoFar, font);
}

std::wstring fitWithEllipsis(LauncherApp& app, GpGraphics* g, const std::wstring& text, GpFont* font,
                             float maxWidth) {
    if (measureText(app, g, text, font) <= maxWidth) return text;
    const std::wstring ellipsis = L"\u2026";
    size_t lo = 0, hi = text.size();
    while (lo < hi) {
        size_t mid = (lo + hi + 1) / 2;
        if (measureText(app, g, text.substr(0, mid) + ellipsis, font) <= maxWidth)
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

void fillRoundedRect(GpGraphics* g, const RectF& rect, float radius, GpBrush* brush) {
    if (!brush) return;
    GpPath* raw = nullptr;
    if (GdipCreatePath(Gdiplus::FillModeAlternate, &raw) != Ok) return;
    UniquePath path(raw);
    addRoundedRect(path.get(), rect, radius);
    GdipFillPath(g, brush, path.get());
}

void fillRoundedRect(GpGraphics* g, const RectF& rect, float radius, ARGB colour) {
    UniqueBrush brush = solidBrush(colour);
    fillRoundedRect(g, rect, radius, brush.get());
}

void strokeRoundedRect(GpGraphics* g, const RectF& rect, float radius, ARGB colour) {
    UniquePen pen = solidPen(colour, 1);
    GpPath* raw = nullptr;
    if (!pen || GdipCreatePath(Gdiplus::FillModeAlternate, &raw) != Ok) return;
    UniquePath path(raw);
    // Inset by half a pixel so that a one-pixel line covers whole pixels instead of two halves.
    addRoundedRect(path.get(), RectF{rect.x + 0.5f, rect.y + 0.5f, rect.width - 1, rect.height - 1},
                   radius - 0.5f);
    GdipDrawPath(g, pen.get(), path.get());
}

void drawCheckStroke(GpGraphics* g, ARGB colour, float x1, float y1, float x2, float y2, float x3, float y3) {
    UniquePen pen = solidPen(colour, 1.7f);
    if (!pen) return;
    GdipSetPenLineJoin(pen.get(), Gdiplus::LineJoinRound);
    GdipSetPenStartCap(pen.get(), Gdiplus::LineCapRound);
    GdipSetPenEndCap(pen.get(), Gdiplus::LineCapRound);
    Gdiplus::GpPointF points[3] = {{x1, y1}, {x2, y2}, {x3, y3}};
    GdipDrawLines(g, pen.get(), points, 3);
}

void drawSectionHeading(LauncherApp& app, GpGraphics* g, const std::wstring& text, float x, float y,
                        float rightEdge) {
    GpFont* font = app.uiFonts[3];
    float advance = drawSpacedText(app, g, text, font, 0xFFD9A83A, x, y, 3, false);
    float start = x + advance + 10;
    if (rightEdge - start < 2) return;
    UniqueBrush rule = lineBrush(start - 0.5f, 0, 0x80D9A83A, rightEdge + 0.5f, 0, 0x00D9A83A);
    if (!rule) return;
    GdipFillRectangle(g, rule.get(), start, y + lineHeight(font) / 2 - 0.5f, rightEdge - start, 1);
}

GpStatus setGradientStops(GpLineGradient* brush, const ARGB* colours, const float* positions, int count) {
    if (!brush || !colours || !positions || count <= 0) return Gdiplus::InvalidParameter;
    return GdipSetLinePresetBlend(brush, colours, positions, count);
}
