#include "ui/text_fit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui/painting_fixture.h"
#include "ui/pixel_layer.h"
#include "ui/preview.h"
#include "ui/text_table.h"

namespace {

const wchar_t kEllipsis = L'\u2026';
const wchar_t* const kStates[] = {L"kurulum",        L"baglaniyor",    L"tarama",       L"indirme",  L"hazir",
                                  L"hazir_uzerinde", L"hata_baglanti", L"hata_kilitli", L"hazir_en", L"ayar",
                                  L"ayar_en",        L"ayar_kucuk",    L"hazir_disli"};

std::string narrow(const std::wstring& text) {
    std::string out(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), nullptr,
                        nullptr);
    out.pop_back();
    return out;
}

std::wstring joined(const std::vector<std::wstring>& lines) {
    std::wstring out;
    for (const std::wstring& line : lines)
        out += (out.empty() ? L"" : L" ") + line;
    return out;
}

bool endsWithEllipsis(const std::wstring& line) {
    return !line.empty() && line.back() == kEllipsis;
}

// A drawn text keeps its letters: it is the text, or the text broken at blanks, or a beginning of
// it ending with an ellipsis.
bool keepsItsLetters(const DrawnText& d) {
    std::wstring all = joined(d.lines);
    if (all == d.text) return true;
    if (!endsWithEllipsis(all)) return false;
    all.pop_back();
    return d.text.compare(0, all.size(), all) == 0;
}

struct Graphics {
    explicit Graphics(PaintedApp& app)
        : g(frameGraphics(app.ui.backBuffer.bitmap.get(), app.ui.window.uiScale)) {}
    UniqueGraphics g;
};

// ---- Cutting and wrapping ----------------------------------------------------------------------

TEST(TextFit, EmphasisTextKeepsItsColoursWhenCutOrWrapped) {
    PaintedApp app(1.5f);
    ASSERT_TRUE(app.ready);
    Graphics graphics(app);
    DrawingResources& res = app.ui.drawing;
    GpGraphics* g = graphics.g.get();
    GpFont* f = res.font(FontId::Regular12);
    const std::wstring line = L"Arayüz: *%120* — büyüdükçe pencereye daha az şey sığar";
    const float whole = measureText(res, g, withoutEmphasisMarks(line), f);

    EXPECT_EQ(wrapEmphasis(res, g, line, f, whole, 3), std::vector<std::wstring>{line});  // fits: unchanged
    EXPECT_EQ(fitEmphasisWithEllipsis(res, g, line, f, whole), line);

    std::vector<std::wstring> two = wrapEmphasis(res, g, line, f, whole * 0.7f, 3);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(withoutEmphasisMarks(two[0]) + L" " + withoutEmphasisMarks(two[1]), withoutEmphasisMarks(line));
    EXPECT_NE(two[0].find(L"*%120*"), std::wstring::npos);  // the emphasis stays where it was
    EXPECT_EQ(two[1].find(L'*'), std::wstring::npos);
    for (const std::wstring& l : two)
        EXPECT_LE(measureText(res, g, withoutEmphasisMarks(l), f), whole * 0.7f);

    // One line only: the rest ends with an ellipsis after whole or cut letters, never past the width.
    std::vector<std::wstring> one = wrapEmphasis(res, g, line, f, whole * 0.7f, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_TRUE(endsWithEllipsis(one[0]));
    EXPECT_LE(measureText(res, g, withoutEmphasisMarks(one[0]), f), whole * 0.7f);

    // An emphasised run broken across lines starts the next line emphasised.
    const std::wstring run = L"aa *bb cc* dd";
    const float upToBb = measureText(res, g, L"aa bb", f);
    EXPECT_EQ(wrapEmphasis(res, g, run, f, upToBb, 3), (std::vector<std::wstring>{L"aa *bb", L"*cc* dd"}));
    // A word wider than the line is cut with an ellipsis and the next word starts a line.
    const std::vector<std::wstring> cut = wrapEmphasis(res, g, L"pencereye az", f, upToBb * 0.8f, 3);
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_TRUE(endsWithEllipsis(cut[0]));
    EXPECT_EQ(cut[1], L"az");
    // Cut emphasis text keeps its asterisks up to the cut.
    const std::wstring cutRun = fitEmphasisWithEllipsis(res, g, L"*Oto İksir* ve *Oto Av* artık PC'de!", f,
                                                        measureText(res, g, L"Oto İksir ve Oto A…", f));
    EXPECT_EQ(cutRun, L"*Oto İksir* ve *Oto A\u2026");
}

// ---- Every text of every screen, at both scales, in both languages and both looks ----------------

struct FitCase {
    float scale;
    UiLanguage language;
    bool highContrast;
};

// Paints a state with every part painted afresh (the cache would skip the still parts) and keeps
// what the frame drew.
TextFitLog paintLogged(PaintedApp& app, const wchar_t* state, UiLanguage language, bool highContrast) {
    showPreviewState(app.ui, state);
    uiLanguage = language;
    app.ui.window.look.highContrast = highContrast;
    app.ui.drawing.frameCache.paintEverything = true;
    TextFitLog log;
    app.ui.drawing.fitLog = &log;
    app.paint();
    app.ui.drawing.fitLog = nullptr;
    return log;
}

bool inside(const RectF& line, const RectF& box) {
    const float e = 0.01f;
    return line.x >= box.x - e && line.x + line.width <= box.x + box.width + e && line.y >= box.y - e &&
           line.y + line.height <= box.y + box.height + e;
}

bool overlap(const RectF& a, const RectF& b) {
    const float e = 0.5f;  // neighbours may touch
    return a.x + e < b.x + b.width && b.x + e < a.x + a.width && a.y + e < b.y + b.height &&
           b.y + e < a.y + a.height;
}

TEST(TextFit, EveryDrawnTextFitsItsBoxInEveryPreviewState) {
    const UiLanguage saved = uiLanguage;
    int drawn = 0;
    for (float scale : {1.0f, 1.5f}) {
        PaintedApp app(scale);
        ASSERT_TRUE(app.ready);
        for (bool highContrast : {false, true}) {
            for (UiLanguage language : {UiLanguage::Turkish, UiLanguage::English}) {
                for (const wchar_t* state : kStates) {
                    const TextFitLog log = paintLogged(app, state, language, highContrast);
                    const std::string where = narrow(state) + " " + std::to_string(scale) +
                                              (language == UiLanguage::English ? " en" : " tr") +
                                              (highContrast ? " contrast" : "");
                    EXPECT_TRUE(log.unboxed.empty())
                        << where << ": drawn without a box: " << narrow(log.unboxed[0]);
                    // The settings panel covers the main screen: overlaps count among its own texts.
                    size_t layerStart = 0;
                    for (size_t i = 0; i < log.texts.size(); ++i)
                        if (log.texts[i].text == texts()[TextId::SettingsHeading]) layerStart = i;
                    for (size_t i = 0; i < log.texts.size(); ++i) {
                        const DrawnText& d = log.texts[i];
                        ++drawn;
                        EXPECT_TRUE(keepsItsLetters(d))
                            << where << ": " << narrow(d.text) << " -> " << narrow(joined(d.lines));
                        for (const RectF& line : d.lineBoxes) {
                            EXPECT_TRUE(inside(line, d.box))
                                << where << ": " << narrow(d.text) << " at " << line.x << "," << line.y
                                << " width " << line.width << " in " << d.box.x << "," << d.box.y << " "
                                << d.box.width << "x" << d.box.height;
                        }
                        if (i < layerStart) continue;
                        for (size_t j = i + 1; j < log.texts.size(); ++j) {
                            const DrawnText& other = log.texts[j];
                            if (other.text == d.text) continue;  // a caption over its own shadow
                            for (const RectF& a : d.lineBoxes)
                                for (const RectF& b : other.lineBoxes)
                                    EXPECT_FALSE(overlap(a, b)) << where << ": " << narrow(d.text)
                                                                << " overlaps " << narrow(other.text);
                        }
                    }
                }
            }
        }
    }
    uiLanguage = saved;
    EXPECT_GT(drawn, 13 * 2 * 2 * 2 * 10);
}

// The fault that started it: the interface line was clipped to 310 pixels mid-word ("sığa" at
// 1.5, "windo" at 1.0). It now takes a second line, whole words on both.
TEST(TextFit, TheSettingsInterfaceLineWrapsAtAWordInBothLanguages) {
    const UiLanguage saved = uiLanguage;
    struct Case {
        float scale;
        UiLanguage language;
        const wchar_t* lastWord;
    } cases[] = {{1.5f, UiLanguage::Turkish, L"sığar"},
                 {1.0f, UiLanguage::English, L"window"},
                 {1.0f, UiLanguage::Turkish, L"sığar"}};
    for (const Case& c : cases) {
        PaintedApp app(c.scale);
        ASSERT_TRUE(app.ready);
        const TextFitLog log = paintLogged(app, L"ayar", c.language, false);
        const std::wstring line = withoutEmphasisMarks(formatText(texts()[TextId::InterfaceLine], 120));
        const DrawnText* drawn = nullptr;
        for (const DrawnText& d : log.texts)
            if (d.text == line) drawn = &d;
        ASSERT_NE(drawn, nullptr) << c.scale;
        EXPECT_EQ(drawn->lines.size(), 2u) << c.scale;
        EXPECT_EQ(joined(drawn->lines), line);
        const std::wstring& last = drawn->lines.back();
        EXPECT_EQ(last.substr(last.size() - std::wstring(c.lastWord).size()), c.lastWord);
    }
    uiLanguage = saved;
}

}  // namespace
