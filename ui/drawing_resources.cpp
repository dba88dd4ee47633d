#include "ui/drawing_resources.h"

#include <cmath>
#include <cstring>

using namespace Gdiplus::DllExports;
using Gdiplus::GpStatus;
using Gdiplus::Ok;

namespace {

// Decodes one RT_RCDATA PNG. The stream owns its memory block and must outlive the image.
bool loadImageResource(HMODULE module, int id, UniqueStream& streamOut, UniqueImage& imageOut) {
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

    UniqueStream stream;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, stream.put())) || !stream) {
        GlobalFree(block);
        return false;
    }
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromStream(stream.get(), &bitmap) != Ok || !bitmap) return false;
    imageOut.reset(bitmap);
    streamOut = std::move(stream);
    return true;
}

// Copies a bitmap's pixels, premultiplied, into a tightly packed byte vector.
bool copyPixels(GpBitmap* bitmap, int width, int height, std::vector<uint8_t>& out) {
    Gdiplus::Rect area(0, 0, width, height);
    Gdiplus::BitmapData data{};
    if (GdipBitmapLockBits(bitmap, &area, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Ok)
        return false;
    out.resize(static_cast<size_t>(width) * height * 4);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int row = 0; row < height; ++row) {
        std::memcpy(out.data() + row * rowBytes, static_cast<const uint8_t*>(data.Scan0) + row * data.Stride,
                    rowBytes);
    }
    GdipBitmapUnlockBits(bitmap, &data);
    return true;
}

UniqueStringFormat createStringFormat() {
    // The generic typographic format belongs to GDI+; only the clone is ours.
    Gdiplus::GpStringFormat* generic = nullptr;
    UniqueStringFormat format;
    if (GdipStringFormatGetGenericTypographic(&generic) != Ok || !generic ||
        GdipCloneStringFormat(generic, format.put()) != Ok)
        return UniqueStringFormat();
    INT flags = 0;
    GdipGetStringFormatFlags(format.get(), &flags);
    GdipSetStringFormatFlags(format.get(), flags | Gdiplus::StringFormatFlagsNoWrap |
                                               Gdiplus::StringFormatFlagsMeasureTrailingSpaces);
    return format;
}

// The family's font, or failing that Tahoma at the fallback size (the display font is missing on
// some systems, and the generic family stands in for it at another size).
UniqueFont createFontOrTahoma(const wchar_t* family, float size, float tahomaSize, int style) {
    GpStatus status = Ok;
    UniqueFont font = createFontWithFallback(family, size, style, &status);
    if (status != Ok) font = createFontWithFallback(L"Tahoma", tahomaSize, style, &status);
    return font;
}

}  // namespace

bool loadImages(DrawingResources& resources, HMODULE module) {
    // A null module means the executable itself, which is also what the test binaries embed.
    if (!module) module = GetModuleHandleW(nullptr);
    for (int i = 0; i < kImageCount; ++i) {
        resources.images[i].reset();
        resources.imageStreams[i].reset();
    }
    for (int i = 0; i < kImageCount; ++i) {
        if (!loadImageResource(module, 101 + i, resources.imageStreams[i], resources.images[i])) return false;
    }
    return true;
}

namespace {

UniqueFontFamily familyNamed(const wchar_t* name) {
    UniqueFontFamily family;
    if (!name || !*name || GdipCreateFontFamilyFromName(name, nullptr, family.put()) != Ok) family.release();
    return family;
}

// The system's message font. Its face name may be one that only GDI's font mapper knows (a
// substitute such as "MS Shell Dlg"), so the face GDI actually realises for it comes second.
UniqueFontFamily messageFontFamily() {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return {};
    if (UniqueFontFamily family = familyNamed(metrics.lfMessageFont.lfFaceName)) return family;
    wchar_t face[LF_FACESIZE] = {};
    UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    UniqueGdiObject font(CreateFontIndirectW(&metrics.lfMessageFont));
    if (dc && font) {
        SelectGuard selected(dc.get(), font.get());
        if (GetTextFaceW(dc.get(), LF_FACESIZE, face) <= 0) face[0] = 0;
    }
    return familyNamed(face);
}

// Through the flat API: the C++ wrapper dereferences a null family when none exists.
UniqueFontFamily genericSansSerif() {
    UniqueFontFamily family;
    if (GdipGetGenericFontFamilySansSerif(family.put()) != Ok) family.release();
    return family;
}

}  // namespace

UniqueFont createFontWithFallback(const wchar_t* family, float size, int style, GpStatus* status) {
    // The named family, then the system's message font, then the generic sans-serif family, each
    // tried only when the one before gives no font of this size and style.
    UniqueFont font;
    GpStatus result = Gdiplus::FontFamilyNotFound;
    for (int step = 0; step < 3 && !font; ++step) {
        UniqueFontFamily candidate = step == 0   ? familyNamed(family)
                                     : step == 1 ? messageFontFamily()
                                                 : genericSansSerif();
        if (!candidate) continue;
        result = GdipCreateFont(candidate.get(), size, style, Gdiplus::UnitPixel, font.put());
        if (result != Ok) font.release();
    }
    if (!font && result == Ok) result = Gdiplus::GenericError;
    if (status) *status = result;
    return font;
}

void createFonts(DrawingResources& resources) {
    struct FontChoice {
        const wchar_t* family;
        float size;
        int style;
    };
    static const FontChoice fontTable[kFontCount] = {
        {L"Tahoma", 11, Gdiplus::FontStyleRegular}, {L"Tahoma", 11, Gdiplus::FontStyleBold},
        {L"Tahoma", 12, Gdiplus::FontStyleRegular}, {L"Tahoma", 12, Gdiplus::FontStyleBold},
        {L"Tahoma", 13, Gdiplus::FontStyleRegular}, {L"Tahoma", 14, Gdiplus::FontStyleBold},
        {L"Tahoma", 15, Gdiplus::FontStyleRegular}, {L"Trebuchet MS", 22, Gdiplus::FontStyleBold},
    };
    // A new font may be given the address of a deleted one.
    clearTextCaches(resources);
    for (int i = 0; i < kFontCount; ++i) {
        const FontChoice& choice = fontTable[i];
        if (i == static_cast<int>(FontId::Button22)) {
            resources.fonts[i] = createFontOrTahoma(choice.family, choice.size, choice.size, choice.style);
        } else {
            resources.fonts[i] = createFontWithFallback(choice.family, choice.size, choice.style, nullptr);
        }
    }
    resources.settingsTitleFont = createFontOrTahoma(L"Trebuchet MS", 18, 17, Gdiplus::FontStyleBold);
    resources.stringFormat = createStringFormat();
}

void clearTextCaches(DrawingResources& resources) {
    resources.textCaches = TextCaches();
    // The cached layers hold text rendered with the old fonts.
    clearFrameCache(resources);
}

void clearFrameCache(DrawingResources& resources) {
    FrameCache& cache = resources.frameCache;
    const bool paintEverything = cache.paintEverything;
    cache = FrameCache();
    cache.paintEverything = paintEverything;
}

UniqueBitmap scaledCopy(GpImage* image, int width, int height) {
    if (!image || width <= 0 || height <= 0) return UniqueBitmap();
    UINT sourceWidth = 0, sourceHeight = 0;
    GdipGetImageWidth(image, &sourceWidth);
    GdipGetImageHeight(image, &sourceHeight);
    UniqueBitmap copy;
    if (GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppPARGB, nullptr, copy.put()) != Ok) {
        copy.release();
        return UniqueBitmap();
    }

    UniqueGraphics g;
    if (GdipGetImageGraphicsContext(copy.get(), g.put()) != Ok) {
        g.release();
        return UniqueBitmap();
    }
    GdipSetCompositingMode(g.get(), Gdiplus::CompositingModeSourceCopy);
    GdipSetInterpolationMode(g.get(), Gdiplus::InterpolationModeHighQualityBicubic);
    GdipSetPixelOffsetMode(g.get(), Gdiplus::PixelOffsetModeHighQuality);
    // Flipped tiling gives the filter real neighbours at the border instead of transparent ones,
    // so the edges of the copy do not fade.
    UniqueImageAttributes attributes;
    if (GdipCreateImageAttributes(attributes.put()) != Ok) attributes.release();
    if (attributes) GdipSetImageAttributesWrapMode(attributes.get(), Gdiplus::WrapModeTileFlipXY, 0, FALSE);
    GpStatus status = GdipDrawImageRectRectI(g.get(), image, 0, 0, width, height, 0, 0,
                                             static_cast<INT>(sourceWidth), static_cast<INT>(sourceHeight),
                                             Gdiplus::UnitPixel, attributes.get(), nullptr, nullptr);
    if (status != Ok) return UniqueBitmap();
    return copy;
}

void prepareScaledArt(DrawingResources& resources, int width, int height, float scale) {
    releaseScaledArt(resources);
    if (width <= 0 || height <= 0) return;
    if (UniqueBitmap background = scaledCopy(resources.images[0].get(), width, height)) {
        if (!copyPixels(background.get(), width, height, resources.backgroundPixels))
            resources.backgroundPixels.clear();
    }
    const int buttonWidth = static_cast<int>(std::floor(270 * scale + 0.5f));
    const int buttonHeight = static_cast<int>(std::floor(104 * scale + 0.5f));
    for (int i = 0; i < kButtonImageCount; ++i)
        resources.scaledButtons[i] = scaledCopy(resources.images[1 + i].get(), buttonWidth, buttonHeight);
}

void releaseScaledArt(DrawingResources& resources) {
    resources.backgroundPixels.clear();
    clearFrameCache(resources);
    for (UniqueBitmap& button : resources.scaledButtons)
        button.reset();
}
