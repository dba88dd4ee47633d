#include "ui/drawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "ui/controls.h"
#include "ui/gdiplus_handles.h"

using namespace Gdiplus::DllExports;

namespace {

constexpr ARGB kNormal = 0xFFFF0000;    // pure red
constexpr ARGB kEmphasis = 0xFF0000FF;  // pure blue

// A white canvas with a GDI+ graphics set up like a frame's, to draw on and read back.
struct Canvas {
    explicit Canvas(int w = 600, int h = 40) : width(w), height(h) {
        GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, &bitmap);
        GdipGetImageGraphicsContext(bitmap, &graphics);
        GdipGraphicsClear(graphics, 0xFFFFFFFF);
        GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeAntiAlias);
        GdipSetTextRenderingHint(graphics, Gdiplus::TextRenderingHintAntiAliasGridFit);
        GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHalf);
    }
    ~Canvas() {
        GdipDeleteGraphics(graphics);
        GdipDisposeImage(bitmap);
    }
    ARGB at(int x, int y) const {
        ARGB c = 0;
        GdipBitmapGetPixel(bitmap, x, y, &c);
        return c;
    }
    // Leftmost and rightmost column holding a pixel where the given channel clearly dominates.
    struct Span {
        int first = -1, last = -1;
    };
    Span inkOf(bool blue) const {
        Span s;
        for (int x = 0; x < width; ++x) {
            for (int y = 0; y < height; ++y) {
                ARGB c = at(x, y);
                int r = (c >> 16) & 0xFF, b = c & 0xFF, g = (c >> 8) & 0xFF;
                bool hit = blue ? (b > 200 && r < 150 && g < 150) : (r > 200 && b < 150 && g < 150);
                if (hit) {
                    if (s.first < 0) s.first = x;
                    s.last = x;
                    break;
                }
            }
        }
        return s;
    }
    bool blank() const {
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                if (at(x, y) != 0xFFFFFFFF) return false;
        return true;
    }

    int width, height;
    Gdiplus::GpBitmap* bitmap = nullptr;
    Gdiplus::GpGraphics* graphics = nullptr;
};

class DrawingTest : public ::testing::Test {
   protected:
    void SetUp() override { createFonts(res); }
    GpFont* font(int i) { return res.font(static_cast<FontId>(i)); }
    DrawingResources res;
};

TEST_F(DrawingTest, FontsExistWithTheirSizesAndAMissingFamilyFallsBack) {
    const float sizes[8] = {11, 11, 12, 12, 13, 14, 15, 22};
    const int styles[8] = {0, 1, 0, 1, 0, 1, 0, 1};
    for (int i = 0; i < 8; ++i) {
        ASSERT_NE(font(i), nullptr) << i;
        float size = 0;
        INT style = -1;
        GdipGetFontSize(font(i), &size);
        GdipGetFontStyle(font(i), &style);
        EXPECT_EQ(size, sizes[i]) << i;
        EXPECT_EQ(style, styles[i]) << i;
        EXPECT_GT(lineHeight(res, font(i)), sizes[i]) << i;  // line spacing exceeds the em height
    }
    ASSERT_TRUE(res.stringFormat);
    INT flags = 0;
    GdipGetStringFormatFlags(res.stringFormat.get(), &flags);
    EXPECT_EQ(flags & 0x1800, 0x1800);
    // The settings heading: bold, 18 px of its own family or 17 px of the fallback.
    ASSERT_TRUE(res.settingsTitleFont);
    float titleSize = 0;
    GdipGetFontSize(res.settingsTitleFont.get(), &titleSize);
    EXPECT_TRUE(titleSize == 18 || titleSize == 17) << titleSize;

    Gdiplus::GpStatus status = Gdiplus::GenericError;
    UniqueFont missing = createFontWithFallback(L"No Such Family Qv", 17, Gdiplus::FontStyleBold, &status);
    ASSERT_TRUE(missing);
    EXPECT_EQ(status, Gdiplus::Ok);
    float size = 0;
    GdipGetFontSize(missing.get(), &size);
    EXPECT_EQ(size, 17);
}

TEST_F(DrawingTest, CachesBelongToTheirResourcesAndNewFontsStartThemAfresh) {
    Canvas c;
    drawText(res, c.graphics, L"Oyun", font(4), kNormal, 10, 8);
    EXPECT_EQ(res.textCaches.widths.size(), 1u);
    EXPECT_EQ(res.textCaches.sprites.size(), 1u);
    EXPECT_GT(res.textCaches.spritePixels, 0u);

    DrawingResources other;
    createFonts(other);
    EXPECT_TRUE(other.textCaches.widths.empty());
    EXPECT_FLOAT_EQ(measureText(other, c.graphics, L"Oyun", other.font(FontId::Regular13)),
                    measureText(res, c.graphics, L"Oyun", font(4)));

    // A new font may get a deleted one's address: its cached widths must not survive.
    createFonts(res);
    EXPECT_TRUE(res.textCaches.widths.empty());
    EXPECT_TRUE(res.textCaches.sprites.empty());
    EXPECT_TRUE(res.textCaches.lineHeights.empty());
    EXPECT_EQ(res.textCaches.spritePixels, 0u);
}

TEST_F(DrawingTest, MeasuringCountsTrailingBlanksAndEmptyTextIsZero) {
    Canvas c;
    EXPECT_EQ(measureText(res, c.graphics, L"", font(4)), 0);
    float word = measureText(res, c.graphics, L"Oyun", font(4));
    EXPECT_GT(word, 10);
    EXPECT_GT(measureText(res, c.graphics, L"Oyun  ", font(4)), word + 4);
}

TEST_F(DrawingTest, FitWithEllipsis) {
    Canvas c;
    GpFont* f = font(4);
    const std::wstring text = L"C:\\Program Files\\Qorvane\\a very long folder name that cannot fit";
    EXPECT_EQ(fitWithEllipsis(res, c.graphics, L"kısa", f, 200), L"kısa");
    float whole = measureText(res, c.graphics, text, f);
    EXPECT_EQ(fitWithEllipsis(res, c.graphics, text, f, whole), text);  // exactly fitting needs no ellipsis

    std::wstring cut = fitWithEllipsis(res, c.graphics, text, f, 120);
    ASSERT_GE(cut.size(), 2u);
    EXPECT_EQ(cut.back(), L'\u2026');
    std::wstring prefix = cut.substr(0, cut.size() - 1);
    EXPECT_EQ(text.compare(0, prefix.size(), prefix), 0);
    EXPECT_LE(measureText(res, c.graphics, cut, f), 120);
    // The longest prefix that fits: one more character would not.
    std::wstring longer = text.substr(0, prefix.size() + 1) + L"\u2026";
    EXPECT_GT(measureText(res, c.graphics, longer, f), 120);

    EXPECT_EQ(fitWithEllipsis(res, c.graphics, text, f, 1), L"\u2026");
    EXPECT_EQ(fitWithEllipsis(res, c.graphics, L"", f, 0), L"");
}

TEST_F(DrawingTest, EmphasisMeasuresAsPlainTextWithoutAsterisksAndMeasureOnlyDrawsNothing) {
    Canvas c;
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"Oyun hazır. *İyi eğlenceler!*", L"Oyun hazır. İyi eğlenceler!"},
        {L"no marks at all", L"no marks at all"},
        {L"*TR* / EN", L"TR / EN"},
        {L"a ** b", L"a  b"},
        {L"unpaired * rest", L"unpaired  rest"},
        {L"", L""},
    };
    for (const auto& [marked, plain] : cases) {
        float measured = drawEmphasisText(res, c.graphics, marked, font(2), kNormal, kEmphasis, 5, 5, true);
        EXPECT_FLOAT_EQ(measured, measureText(res, c.graphics, plain, font(2))) << marked;
    }
    EXPECT_TRUE(c.blank());
}

// Draws marked text, then the expected pieces one by one in the same colours on a second canvas;
// both must cover exactly the same columns in each colour.
void expectSameInk(DrawingResources& res, GpFont* f, const std::wstring& marked,
                   const std::vector<std::pair<std::wstring, std::wstring>>& before_and_piece,
                   const std::vector<bool>& emphasised) {
    Canvas drawn, expected;
    drawEmphasisText(res, drawn.graphics, marked, f, kNormal, kEmphasis, 10, 8, false);
    for (size_t i = 0; i < before_and_piece.size(); ++i) {
        float x = 10 + measureText(res, expected.graphics, before_and_piece[i].first, f);
        drawText(res, expected.graphics, before_and_piece[i].second, f, emphasised[i] ? kEmphasis : kNormal,
                 x, 8);
    }
    for (bool blue : {false, true}) {
        Canvas::Span a = drawn.inkOf(blue), b = expected.inkOf(blue);
        EXPECT_EQ(a.first, b.first) << (blue ? "emphasis" : "normal");
        EXPECT_EQ(a.last, b.last) << (blue ? "emphasis" : "normal");
    }
}

TEST_F(DrawingTest, EmphasisSegmentsLandWhereThePlainTextWouldPutThem) {
    // Second word emphasised after a single asterisk.
    expectSameInk(res, font(4), L"Oyun *hazır", {{L"", L"Oyun "}, {L"Oyun ", L"hazır"}}, {false, true});
    // A leading emphasised word.
    expectSameInk(res, font(4), L"*İyi* eğlenceler", {{L"", L"İyi"}, {L"İyi ", L"eğlenceler"}},
                  {true, false});
    // Asterisk between blanks: the emphasised part loses its drawn blank, not its place.
    expectSameInk(res, font(4), L"Boş alan * 148 GB", {{L"", L"Boş alan "}, {L"Boş alan  ", L"148 GB"}},
                  {false, true});
}

TEST_F(DrawingTest, EmphasisWithoutMarksDrawsOnlyTheNormalColour) {
    Canvas c;
    drawEmphasisText(res, c.graphics, L"plain words", font(4), kNormal, kEmphasis, 10, 8, false);
    EXPECT_GE(c.inkOf(false).first, 10);
    EXPECT_EQ(c.inkOf(true).first, -1);
}

TEST_F(DrawingTest, TextLooksTheSameAsADirectDrawAndLeavesTheGraphicsAsItWas) {
    for (float scale : {1.0f, 1.5f}) {
        for (float x : {10.0f, 10.3f, 10.55f, 10.9f}) {
            SCOPED_TRACE(testing::Message() << "scale " << scale << " x " << x);
            Canvas ours, direct;
            for (Canvas* c : {&ours, &direct}) {
                GdipScaleWorldTransform(c->graphics, scale, scale, Gdiplus::MatrixOrderPrepend);
                GdipFillRectangle(c->graphics, solidBrush(0xFF203040).get(), 0, 0, 400, 40);
            }
            const std::wstring text = L"Güncelleme İndiriliyor 39%";
            drawText(res, ours.graphics, text, font(6), 0xF0F2C94C, x, 4.25f);
            UniqueBrush brush = solidBrush(0xF0F2C94C);
            Gdiplus::RectF layout(x, 4.25f, 0, 0);
            GdipDrawString(direct.graphics, text.c_str(), static_cast<INT>(text.size()), font(6), &layout,
                           res.stringFormat.get(), brush.get());

            int worst = 0;
            for (int px = 0; px < ours.width; ++px) {
                for (int py = 0; py < ours.height; ++py) {
                    ARGB a = ours.at(px, py), b = direct.at(px, py);
                    for (int shift : {0, 8, 16}) {
                        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                                         static_cast<int>((b >> shift) & 0xFF)));
                    }
                }
            }
            EXPECT_LE(worst, 2);  // same glyphs at the same place; blending rounds at most a little

            Gdiplus::GpMatrix* matrix = nullptr;
            GdipCreateMatrix(&matrix);
            GdipGetWorldTransform(ours.graphics, matrix);
            float m[6];
            GdipGetMatrixElements(matrix, m);
            GdipDeleteMatrix(matrix);
            EXPECT_FLOAT_EQ(m[0], scale);
            EXPECT_FLOAT_EQ(m[3], scale);
            Gdiplus::PixelOffsetMode mode;
            GdipGetPixelOffsetMode(ours.graphics, &mode);
            EXPECT_EQ(mode, Gdiplus::PixelOffsetModeHalf);
        }
    }
}

// A font that no fallback could make stays null: every text routine must take it without crashing,
// measure it as nothing and draw nothing.
TEST_F(DrawingTest, ANullFontMeasuresAsNothingAndDrawsNothing) {
    Canvas c;
    EXPECT_EQ(measureText(res, c.graphics, L"Oyun", nullptr), 0);
    EXPECT_EQ(lineHeight(res, nullptr), 0);
    drawText(res, c.graphics, L"Oyun", nullptr, kNormal, 5, 5);
    EXPECT_EQ(drawSpacedText(res, c.graphics, L"OK", nullptr, kNormal, 5, 5, 6, false), 12);
    EXPECT_EQ(drawEmphasisText(res, c.graphics, L"Oyun *hazır*", nullptr, kNormal, kEmphasis, 5, 5, false),
              0);
    EXPECT_EQ(fitWithEllipsis(res, c.graphics, L"C:\\Qorvane", nullptr, 10), L"C:\\Qorvane");
    EXPECT_TRUE(c.blank());
}

TEST_F(DrawingTest, SpacedTextAdvancesByEachCharacterPlusTheSpacing) {
    Canvas c;
    float expected =
        measureText(res, c.graphics, L"O", font(7)) + measureText(res, c.graphics, L"K", font(7)) + 12;
    EXPECT_FLOAT_EQ(drawSpacedText(res, c.graphics, L"OK", font(7), kNormal, 0, 0, 6, true), expected);
    EXPECT_TRUE(c.blank());
    EXPECT_EQ(drawSpacedText(res, c.graphics, L"", font(7), kNormal, 0, 0, 6, false), 0);
}

TEST_F(DrawingTest, RoundedRectangleCapsItsCornersAtHalfTheShorterSide) {
    Canvas c(200, 60);
    // Radius far above half the height: the ends become semicircles of diameter 20.
    fillRoundedRect(c.graphics, RectF{20, 20, 120, 20}, 50, kEmphasis);
    EXPECT_EQ(c.at(80, 30), kEmphasis);    // middle
    EXPECT_EQ(c.at(22, 30) & 0xFF, 0xFF);  // left end, on the axis, is filled
    EXPECT_EQ(c.at(21, 21), 0xFFFFFFFF);   // the corner itself is rounded away
    EXPECT_EQ(c.at(137, 30) & 0xFF, 0xFF);
    EXPECT_EQ(c.at(138, 38), 0xFFFFFFFF);
    // A zero radius is a plain rectangle with square corners.
    fillRoundedRect(c.graphics, RectF{150, 10, 30, 30}, 0, kNormal);
    EXPECT_EQ(c.at(150, 10), kNormal);
    EXPECT_EQ(c.at(179, 39), kNormal);
}

TEST_F(DrawingTest, GradientStopsRejectAnEmptyList) {
    UniqueBrush brush = lineBrush(0, 0, 0xFF000000, 10, 0, 0xFFFFFFFF);
    ASSERT_TRUE(brush);
    auto* line = static_cast<GpLineGradient*>(brush.get());
    const ARGB colours[3] = {0xFF000000, 0xFF808080, 0xFFFFFFFF};
    const float positions[3] = {0, 0.5f, 1};
    EXPECT_EQ(setGradientStops(line, colours, positions, 0), Gdiplus::InvalidParameter);
    EXPECT_EQ(setGradientStops(line, nullptr, positions, 3), Gdiplus::InvalidParameter);
    INT count = -1;
    GdipGetLinePresetBlendCount(line, &count);
    EXPECT_LE(count, 0);  // nothing was set
    EXPECT_EQ(setGradientStops(line, colours, positions, 3), Gdiplus::Ok);
    GdipGetLinePresetBlendCount(line, &count);
    EXPECT_EQ(count, 3);
}

TEST_F(DrawingTest, SectionHeadingRuleFadesOutTowardsTheRightEdge) {
    Canvas c(500, 30);
    drawSectionHeading(res, Look{}, c.graphics, L"NEWS", 10, 4, 480);
    float advance = drawSpacedText(res, c.graphics, L"NEWS", font(3), 0, 0, 0, 3, true);
    int ruleY = static_cast<int>(4 + lineHeight(res, font(3)) / 2);
    int start = static_cast<int>(10 + advance + 10) + 2;
    ARGB nearStart = c.at(start, ruleY);
    ARGB nearEnd = c.at(476, ruleY);
    EXPECT_NE(nearStart, 0xFFFFFFFF);
    // Darker (more rule colour over white) near its start than near its end.
    EXPECT_LT(nearStart & 0xFF, nearEnd & 0xFF);
    EXPECT_EQ(c.at(start, ruleY + 4), 0xFFFFFFFF);  // one pixel high
}

}  // namespace
