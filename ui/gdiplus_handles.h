// Move-only owners for the GDI+ objects the launcher creates (graphics, brushes, pens, paths, image
// attributes, matrices, images and bitmaps, fonts, string formats) and the streams images decode
// from, so every early return and every replaced resource releases them.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "base/handles.h"

// The GDI+ flat-API types as the drawing code names them.
using GpGraphics = Gdiplus::GpGraphics;
using GpFont = Gdiplus::GpFont;
using GpBrush = Gdiplus::GpBrush;
using GpPath = Gdiplus::GpPath;
using GpBitmap = Gdiplus::GpBitmap;
using GpImage = Gdiplus::GpImage;
using GpLineGradient = Gdiplus::GpLineGradient;
using ARGB = Gdiplus::ARGB;

template <typename T, Gdiplus::GpStatus(WINGDIPAPI* Release)(T*)>
struct GdipTraits {
    using type = T*;
    static type invalid() { return nullptr; }
    static void close(type value) { Release(value); }
};

using UniqueGraphics = UniqueHandle<GdipTraits<Gdiplus::GpGraphics, Gdiplus::DllExports::GdipDeleteGraphics>>;
using UniqueBrush = UniqueHandle<GdipTraits<Gdiplus::GpBrush, Gdiplus::DllExports::GdipDeleteBrush>>;
using UniquePen = UniqueHandle<GdipTraits<Gdiplus::GpPen, Gdiplus::DllExports::GdipDeletePen>>;
using UniquePath = UniqueHandle<GdipTraits<Gdiplus::GpPath, Gdiplus::DllExports::GdipDeletePath>>;
using UniqueMatrix = UniqueHandle<GdipTraits<Gdiplus::GpMatrix, Gdiplus::DllExports::GdipDeleteMatrix>>;
using UniqueImage = UniqueHandle<GdipTraits<Gdiplus::GpImage, Gdiplus::DllExports::GdipDisposeImage>>;
using UniqueImageAttributes =
    UniqueHandle<GdipTraits<Gdiplus::GpImageAttributes, Gdiplus::DllExports::GdipDisposeImageAttributes>>;
using UniqueFontFamily =
    UniqueHandle<GdipTraits<Gdiplus::GpFontFamily, Gdiplus::DllExports::GdipDeleteFontFamily>>;
using UniqueFont = UniqueHandle<GdipTraits<Gdiplus::GpFont, Gdiplus::DllExports::GdipDeleteFont>>;
using UniqueStringFormat =
    UniqueHandle<GdipTraits<Gdiplus::GpStringFormat, Gdiplus::DllExports::GdipDeleteStringFormat>>;

// A bitmap is an image to GDI+'s release call, but callers need it typed as a bitmap.
struct GdipBitmapTraits {
    using type = Gdiplus::GpBitmap*;
    static type invalid() { return nullptr; }
    static void close(type value) { Gdiplus::DllExports::GdipDisposeImage(value); }
};
using UniqueBitmap = UniqueHandle<GdipBitmapTraits>;

struct StreamTraits {  // a COM stream: one reference owned
    using type = IStream*;
    static type invalid() { return nullptr; }
    static void close(type value) { value->Release(); }
};
using UniqueStream = UniqueHandle<StreamTraits>;

// A solid brush of one colour; empty when GDI+ refuses.
inline UniqueBrush solidBrush(Gdiplus::ARGB colour) {
    Gdiplus::GpSolidFill* fill = nullptr;
    if (Gdiplus::DllExports::GdipCreateSolidFill(colour, &fill) != Gdiplus::Ok) return UniqueBrush();
    return UniqueBrush(fill);
}

// A pen of one colour and width in world units; empty when GDI+ refuses.
inline UniquePen solidPen(Gdiplus::ARGB colour, float width) {
    Gdiplus::GpPen* pen = nullptr;
    if (Gdiplus::DllExports::GdipCreatePen1(colour, width, Gdiplus::UnitWorld, &pen) != Gdiplus::Ok)
        return UniquePen();
    return UniquePen(pen);
}

// A linear gradient between two points with two end colours, tiled beyond them; empty when GDI+
// refuses (two equal points, for one).
inline UniqueBrush lineBrush(float x1, float y1, Gdiplus::ARGB colour1, float x2, float y2,
                             Gdiplus::ARGB colour2) {
    Gdiplus::GpPointF from(x1, y1);
    Gdiplus::GpPointF to(x2, y2);
    Gdiplus::GpLineGradient* brush = nullptr;
    if (Gdiplus::DllExports::GdipCreateLineBrush(&from, &to, colour1, colour2, Gdiplus::WrapModeTileFlipXY,
                                                 &brush) != Gdiplus::Ok)
        return UniqueBrush();
    return UniqueBrush(brush);
}
