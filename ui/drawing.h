// Drawing primitives shared by every screen: the embedded images, the eight fonts and the string
// format, plain, letter-spaced, emphasised and ellipsis-cut text, rounded shapes, check strokes,
// section headings and gradient stops. All lengths are design pixels.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <string>

struct LauncherApp;

using GpGraphics = Gdiplus::GpGraphics;
using GpFont = Gdiplus::GpFont;
using GpBrush = Gdiplus::GpBrush;
using GpPath = Gdiplus::GpPath;
using GpBitmap = Gdiplus::GpBitmap;
using GpImage = Gdiplus::GpImage;
using GpLineGradient = Gdiplus::GpLineGradient;
using ARGB = Gdiplus::ARGB;

struct RectF {
    float x = 0, y = 0, width = 0, height = 0;
};

bool loadImages(LauncherApp& app);
GpBitmap* scaledCopy(GpImage* image, int width, int height);
void createFonts(LauncherApp& app);
// Creates a font from a family name, falling back to the system's message font and then to the
// generic sans-serif family at the same size and style; status in *status, null when all fail.
GpFont* createFontWithFallback(const wchar_t* family, float size, int style, Gdiplus::GpStatus* status);

// Text widths and line heights are cached per font; createFonts clears the caches, and so must
// anyone who deletes a font that was measured.
void clearTextCaches();

void drawText(LauncherApp& app, GpGraphics* g, const std::wstring& text, GpFont* font, ARGB colour, float x,
              float y);
float measureText(LauncherApp& app, GpGraphics* g, const std::wstring& text, GpFont* font);
float lineHeight(GpFont* font);
float drawSpacedText(LauncherApp& app, GpGraphics* g, const std::wstring& text, GpFont* font, ARGB colour,
                     float x, float y, float spacing, bool measureOnly);
float drawEmphasisText(LauncherApp& app, GpGraphics* g, const std::wstring& text, GpFont* font,
                       ARGB normalColour, ARGB emphasisColour, float x, float y, bool measureOnly);
std::wstring fitWithEllipsis(LauncherApp& app, GpGraphics* g, const std::wstring& text, GpFont* font,
                             float maxWidth);

void addRoundedRect(GpPath* path, const RectF& rect, float radius);
void fillRoundedRect(GpGraphics* g, const RectF& rect, float radius, GpBrush* brush);
void fillRoundedRect(GpGraphics* g, const RectF& rect, float radius, ARGB colour);
void strokeRoundedRect(GpGraphics* g, const RectF& rect, float radius, ARGB colour);
void drawCheckStroke(GpGraphics* g, ARGB colour, float x1, float y1, float x2, float y2, float x3, float y3);
void drawSectionHeading(LauncherApp& app, GpGraphics* g, const std::wstring& text, float x, float y,
                        float rightEdge);
Gdiplus::GpStatus setGradientStops(GpLineGradient* brush, const ARGB* colours, const float* positions,
                                   int count);
