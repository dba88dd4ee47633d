// Everything drawing keeps between frames: the embedded images and the streams they decode from,
// the fonts and the string format, the art pre-scaled to the back buffer's size, the caches of
// measured and rendered text, and the frame's parts kept as pixels. Owned once by the window; all
// of it is released with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "ui/animation.h"
#include "ui/gdiplus_handles.h"
#include "ui/pixel_layer.h"

// The eight fonts by size and weight; Button22 is the primary button's label.
enum class FontId : int {
    Regular11,
    Bold11,
    Regular12,
    Bold12,
    Regular13,
    Bold14,
    Regular15,
    Button22,
    Count
};
inline constexpr int kFontCount = static_cast<int>(FontId::Count);

// The embedded PNG resources 101 to 105: the background, then the primary button's four states
// (normal, hovered, pressed, disabled).
inline constexpr int kImageCount = 5;
// The primary button's four looks, in the order of their images.
enum class ButtonLook : int { Normal = 0, Hovered = 1, Pressed = 2, Disabled = 3 };
inline constexpr int kButtonImageCount = 4;

// A text's measured width depends on the font, the text, the world scale (grid fitting happens in
// device pixels) and the rendering hint, so all four form the key.
struct MeasureKey {
    GpFont* font;
    float scale;
    int hint;
    std::wstring text;
    bool operator<(const MeasureKey& other) const {
        return std::tie(font, scale, hint, text) < std::tie(other.font, other.scale, other.hint, other.text);
    }
};

// A text rendered exactly as it would be drawn at a given scale and sub-pixel device offset.
struct SpriteKey {
    GpFont* font;
    ARGB colour;
    float scale;
    float fractionX, fractionY;  // sub-pixel part of the device position
    int padX, padY;              // whole pixels before the origin inside the sprite
    int hint;
    int pixelOffset;
    std::wstring text;
    bool operator<(const SpriteKey& other) const {
        return std::tie(font, colour, scale, fractionX, fractionY, padX, padY, hint, pixelOffset, text) <
               std::tie(other.font, other.colour, other.scale, other.fractionX, other.fractionY, other.padX,
                        other.padY, other.hint, other.pixelOffset, other.text);
    }
};
struct Sprite {
    UniqueImage image;  // empty when rendering failed: the text is then drawn directly
    int width = 0, height = 0;
};

// Text measuring and glyph rasterising dominate a frame's cost on slow GDI+ implementations, while
// a frame measures and draws the same few dozen strings every 33 ms. Keys hold font addresses, so
// the caches are cleared whenever a font is replaced. UI thread only.
struct TextCaches {
    std::map<MeasureKey, float> widths;
    std::unordered_map<GpFont*, float> lineHeights;
    std::map<SpriteKey, Sprite> sprites;
    size_t spritePixels = 0;  // pixels held by sprites; the cache is dropped whole past a budget
};

// What a frame does not need to paint again, at the back buffer's size and scale. Each layer is
// kept with a description of everything its look depends on (language, hovered and pressed
// control, states and captions) and painted again when that changes; sizing the frame and
// replacing the fonts drop them all.
struct FrameCache {
    bool paintEverything = false;  // no caching: every part painted afresh, as the reference
    std::wstring fixedKey;         // what fixedParts was painted for; empty when not painted
    PixelLayer fixedParts;         // the still parts between the embers and the changing ones
    std::wstring panelKey;
    PixelLayer panelFrame;  // the settings panel's dimmed backdrop, card, heading and separator
    EmberSprites embers;
};

struct RectF {
    float x = 0, y = 0, width = 0, height = 0;
};

// One drawn text: what it was asked to show (asterisks removed), the lines it became, each line's
// extent (first letter to last letter's advance, one line high) and the box it was given.
struct DrawnText {
    std::wstring text;
    std::vector<std::wstring> lines;
    std::vector<RectF> lineBoxes;
    RectF box;
};

// Filled while DrawingResources::fitLog points at it (text_fit.h): every boxed text, and every
// text a painter drew at a point without a box, which the checks count as a fault.
struct TextFitLog {
    std::vector<DrawnText> texts;
    std::vector<std::wstring> unboxed;
};

struct DrawingResources {
    DrawingResources() = default;
    DrawingResources(const DrawingResources&) = delete;
    DrawingResources& operator=(const DrawingResources&) = delete;

    GpFont* font(FontId id) const { return fonts[static_cast<int>(id)].get(); }

    // The decoder may read from a stream for as long as its image lives, so images are declared
    // after the streams and released before them.
    UniqueStream imageStreams[kImageCount];
    UniqueImage images[kImageCount];
    UniqueFont fonts[kFontCount];
    UniqueFont settingsTitleFont;     // the display settings panel's heading
    UniqueStringFormat stringFormat;  // generic typographic, no wrapping, trailing blanks measured

    // At the back buffer's size and scale (prepareScaledArt); empty when there is no buffer.
    std::vector<uint8_t> backgroundPixels;  // premultiplied BGRA rows, copied under every frame
    UniqueBitmap scaledButtons[kButtonImageCount];

    TextCaches textCaches;
    FrameCache frameCache;
    // Scratch matrices for reading a graphics' world transform without allocating per call, made on
    // first use: one for drawing text (it holds the transform until it is put back), one for measuring.
    UniqueMatrix drawMatrix;
    UniqueMatrix measureMatrix;

    // While set, every drawn text is written down with the box it was given (text_fit.h).
    TextFitLog* fitLog = nullptr;
    int boxedDepth = 0;  // inside a boxed draw: the primitives it calls are not the painter's own
};

// Decodes the five images from the module's RT_RCDATA resources (null: the executable itself);
// false when any is missing or cannot be decoded.
bool loadImages(DrawingResources& resources, HMODULE module);
// Creates the fonts, the settings heading font and the string format, and clears the text caches.
void createFonts(DrawingResources& resources);
// A font of the family, falling back to the system's message font and then to the generic
// sans-serif family at the same size and style; the status in *status, empty when all fail.
UniqueFont createFontWithFallback(const wchar_t* family, float size, int style, Gdiplus::GpStatus* status);
void clearTextCaches(DrawingResources& resources);
// Drops the cached layers and sprites; the choice to paint everything stays.
void clearFrameCache(DrawingResources& resources);

// A high-quality resampled copy of image at width x height; empty on failure.
UniqueBitmap scaledCopy(GpImage* image, int width, int height);
// The background at width x height and the button images at their design size times scale.
void prepareScaledArt(DrawingResources& resources, int width, int height, float scale);
void releaseScaledArt(DrawingResources& resources);
