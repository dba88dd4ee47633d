// Texts kept inside the box they may use: one line cut with an ellipsis, or emphasis text wrapped
// at blanks onto more lines within its area, never clipped mid-letter; and the record of every
// drawn text with its box, which the checks measure.
#pragma once

#include <string>
#include <vector>

#include "ui/drawing.h"

enum class Align { Left, Centre, Right };

// The box of a single line of the font at (x, y), width wide.
RectF lineBox(DrawingResources& res, GpFont* font, float x, float y, float width);

// One line at y, aligned within box horizontally and cut with an ellipsis to its width; returns
// the drawn width.
float drawLineIn(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                 ARGB colour, const RectF& box, float y, Align align = Align::Left);
// The same for emphasis text; the ellipsis takes the colour of the text it ends.
float drawEmphasisLineIn(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                         ARGB normalColour, ARGB emphasisColour, const RectF& box, float y,
                         Align align = Align::Left);
// Letter-spaced text; as with drawSpacedText, alignment counts the spacing after the last letter,
// the fit does not. Returns the advance drawn.
float drawSpacedLineIn(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                       ARGB colour, const RectF& box, float y, float spacing, Align align = Align::Left);
// Emphasis text wrapped at blanks onto lines lineStep apart from y, as many as the box's height
// holds; what still does not fit ends the last line with an ellipsis. Returns the lines drawn.
int drawEmphasisWrappedIn(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                          ARGB normalColour, ARGB emphasisColour, const RectF& box, float y, float lineStep);

// The text without its asterisks.
std::wstring withoutEmphasisMarks(const std::wstring& text);
// Emphasis text cut to at most maxWidth with an ellipsis, asterisks kept for what remains.
std::wstring fitEmphasisWithEllipsis(DrawingResources& res, GpGraphics* graphics, const std::wstring& text,
                                     GpFont* font, float maxWidth);
// Emphasis text broken at blanks into lines of at most maxWidth (each with the asterisks it needs
// to start in the right colour), at most maxLines of them, the last cut with an ellipsis when the
// text needs more; a word wider than a line is cut with an ellipsis.
std::vector<std::wstring> wrapEmphasis(DrawingResources& res, GpGraphics* graphics, const std::wstring& text,
                                       GpFont* font, float maxWidth, int maxLines);
