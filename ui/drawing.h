// Drawing primitives shared by every screen: plain, letter-spaced, emphasised and ellipsis-cut
// text (measured and rendered through the resources' caches), rounded shapes, lines, check strokes,
// section headings and gradient stops. All lengths are design pixels.
#pragma once

#include <string>

#include "ui/drawing_resources.h"
#include "ui/gdiplus_handles.h"

// Which parts a painter draws: all of them; only the still ones the frame keeps as pixels (no hit
// regions); or only those painted afresh every frame, with every control's hit region.
enum class PaintLayer { Everything, Fixed, Changing };
inline bool paintsFixed(PaintLayer layer) {
    return layer != PaintLayer::Changing;
}
inline bool paintsChanging(PaintLayer layer) {
    return layer != PaintLayer::Fixed;
}

// The plain text primitives below place text at a point without a box; painters draw through
// text_fit.h, which keeps each text inside its box, and a fit log counts direct calls as faults.
void drawText(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
              ARGB colour, float x, float y);
float measureText(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font);
float lineHeight(DrawingResources& res, GpFont* font);
// The y that centres a line of the font vertically in a band of the given height.
float centredY(DrawingResources& res, GpFont* font, float top, float height);
float drawSpacedText(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                     ARGB colour, float x, float y, float spacing, bool measureOnly);
// Text whose segments between asterisks alternate between the two colours; returns its width
// without the asterisks.
float drawEmphasisText(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                       ARGB normalColour, ARGB emphasisColour, float x, float y, bool measureOnly);
std::wstring fitWithEllipsis(DrawingResources& res, GpGraphics* graphics, const std::wstring& text,
                             GpFont* font, float maxWidth);

void addRoundedRect(GpPath* path, const RectF& rect, float radius);
void fillRoundedRect(GpGraphics* graphics, const RectF& rect, float radius, GpBrush* brush);
void fillRoundedRect(GpGraphics* graphics, const RectF& rect, float radius, ARGB colour);
void strokeRoundedRect(GpGraphics* graphics, const RectF& rect, float radius, ARGB colour);
void fillRect(GpGraphics* graphics, ARGB colour, float x, float y, float width, float height);
void drawLine(GpGraphics* graphics, ARGB colour, float width, float x1, float y1, float x2, float y2);
void fillEllipse(GpGraphics* graphics, ARGB colour, float x, float y, float width, float height);
void strokeEllipse(GpGraphics* graphics, ARGB colour, float penWidth, float x, float y, float width,
                   float height);
void drawCheckStroke(GpGraphics* graphics, ARGB colour, float x1, float y1, float x2, float y2, float x3,
                     float y3);
Gdiplus::GpStatus setGradientStops(GpLineGradient* brush, const ARGB* colours, const float* positions,
                                   int count);
