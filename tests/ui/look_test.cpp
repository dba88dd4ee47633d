#include "ui/look.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/ui/painting_fixture.h"
#include "ui/frame.h"
#include "ui/preview.h"
#include "ui/text_table.h"
#include "ui/window.h"

using namespace Gdiplus::DllExports;

namespace {

TEST(Look, RolesTakeTheSystemPairsOnlyWithHighContrast) {
    Look design;
    EXPECT_EQ(pick(design, 0xFF123456, Role::Text), 0xFF123456u);
    Look contrast;
    contrast.highContrast = true;
    contrast.colours =
        ContrastColours{0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004, 0xFF000005, 0xFF000006, 0xFF000007};
    const std::pair<Role, ARGB> roles[] = {{Role::Window, 0xFF000001},     {Role::Text, 0xFF000002},
                                           {Role::Highlight, 0xFF000003},  {Role::HighlightText, 0xFF000004},
                                           {Role::ButtonFace, 0xFF000005}, {Role::ButtonText, 0xFF000006},
                                           {Role::Disabled, 0xFF000007}};
    for (auto [role, colour] : roles)
        EXPECT_EQ(pick(contrast, 0xFF123456, role), colour) << static_cast<int>(role);
    EXPECT_NE(lookKey(design), lookKey(contrast));
    contrast.colours.highlight = 0xFF000009;  // another scheme is another picture
    EXPECT_NE(lookKey(contrast),
              lookKey(Look{true, ContrastColours{0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004, 0xFF000005,
                                                 0xFF000006, 0xFF000007}}));

    EXPECT_NEAR(contrastRatio(0xFF000000, 0xFFFFFFFF), 21.0, 0.01);
    EXPECT_NEAR(contrastRatio(0xFFFFFFFF, 0xFF000000), 21.0, 0.01);
    EXPECT_NEAR(contrastRatio(0xFF777777, 0xFF777777), 1.0, 0.001);
    EXPECT_NEAR(contrastRatio(0xFF767676, 0xFFFFFFFF), 4.54, 0.01);  // the classic AA limit grey
}

// ---- The preview's high-contrast pictures --------------------------------------------------------

struct Picture {
    int width = 0, height = 0;
    std::vector<ARGB> pixels;
    ARGB at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Picture load(const std::wstring& path) {
    Picture p;
    GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromFile(path.c_str(), &bitmap) != Gdiplus::Ok) return p;
    UINT w = 0, h = 0;
    GdipGetImageWidth(bitmap, &w);
    GdipGetImageHeight(bitmap, &h);
    Gdiplus::Rect all(0, 0, static_cast<INT>(w), static_cast<INT>(h));
    Gdiplus::BitmapData data{};
    if (GdipBitmapLockBits(bitmap, &all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) ==
        Gdiplus::Ok) {
        p.width = static_cast<int>(w);
        p.height = static_cast<int>(h);
        for (UINT y = 0; y < h; ++y) {
            const auto* row =
                reinterpret_cast<const ARGB*>(static_cast<const BYTE*>(data.Scan0) + y * data.Stride);
            p.pixels.insert(p.pixels.end(), row, row + w);
        }
        GdipBitmapUnlockBits(bitmap, &data);
    }
    GdipDisposeImage(bitmap);
    return p;
}

// The texts a state draws, where they are (design units), with the preview's high contrast.
std::vector<DrawnText> textsOf(PaintedApp& app, const std::wstring& state) {
    showPreviewState(app.ui, state);
    app.ui.window.look = Look{true, previewContrastColours()};
    app.ui.drawing.frameCache.paintEverything = true;
    TextFitLog log;
    app.ui.drawing.fitLog = &log;
    app.paint();
    app.ui.drawing.fitLog = nullptr;
    return log.texts;
}

TEST(ContrastPreview, PicturesUseTheSystemPairsAndEveryTextStandsOutFromItsBackground) {
    TempFolder t;
    const UiLanguage saved = uiLanguage;
    {
        RunControl runs;
        LauncherUi ui{runs};
        ASSERT_TRUE(renderPreview(ui, t.file(L"resimler")));
    }
    uiLanguage = saved;
    const ContrastColours c = previewContrastColours();
    const ARGB scheme[] = {c.window,     c.windowText, c.highlight, c.highlightText,
                           c.buttonFace, c.buttonText, c.grayText};
    auto inScheme = [&](ARGB colour) {
        return std::find(std::begin(scheme), std::end(scheme), colour) != std::end(scheme);
    };
    const wchar_t* const states[] = {L"kurulum",    L"baglaniyor",     L"tarama",        L"indirme",
                                     L"hazir",      L"hazir_uzerinde", L"hata_baglanti", L"hata_kilitli",
                                     L"hazir_en",   L"ayar",           L"ayar_en",       L"ayar_kucuk",
                                     L"hazir_disli"};
    for (float scale : {1.0f, 1.5f}) {
        PaintedApp app(scale);
        ASSERT_TRUE(app.ready);
        const int percent = static_cast<int>(scale * 100);
        for (const wchar_t* state : states) {
            const std::wstring name =
                std::wstring(state) + L"_kontrast_" + std::to_wstring(percent) + L".png";
            const std::string where(name.begin(), name.end());
            const Picture picture = load(t.file(L"resimler\\" + name));
            ASSERT_EQ(picture.width, static_cast<int>(960 * scale + 0.5f)) << where;
            // No background art, no embers, no half-transparent shades: the scheme's colours and
            // the anti-aliased edges between them.
            size_t schemePixels = 0;
            for (ARGB p : picture.pixels)
                schemePixels += inScheme(p);
            EXPECT_GT(schemePixels, picture.pixels.size() * 95 / 100) << where;
            EXPECT_EQ(picture.at(static_cast<int>(300 * scale), static_cast<int>(120 * scale)), c.window)
                << where;

            // Each text: the colour its box is filled with, and its darkest or brightest letter pixel.
            // The settings panel hides the main screen's texts: only its own count then.
            const std::vector<DrawnText> drawn = textsOf(app, state);
            size_t first = 0;
            for (size_t i = 0; i < drawn.size(); ++i)
                if (drawn[i].text == textsFor(UiLanguage::Turkish)[TextId::SettingsHeading] ||
                    drawn[i].text == textsFor(UiLanguage::English)[TextId::SettingsHeading])
                    first = i;
            for (size_t i = first; i < drawn.size(); ++i) {
                const DrawnText& text = drawn[i];
                for (const RectF& line : text.lineBoxes) {
                    std::map<ARGB, int> counts;
                    const int x0 = static_cast<int>(line.x * scale),
                              x1 = static_cast<int>((line.x + line.width) * scale);
                    const int y0 = static_cast<int>(line.y * scale),
                              y1 = static_cast<int>((line.y + line.height) * scale);
                    for (int y = std::max(y0, 0); y < std::min(y1, picture.height); ++y)
                        for (int x = std::max(x0, 0); x < std::min(x1, picture.width); ++x)
                            ++counts[picture.at(x, y)];
                    if (counts.empty()) continue;
                    ARGB background = counts.begin()->first;
                    for (auto [colour, n] : counts)
                        if (n > counts[background]) background = colour;
                    double best = 1;
                    for (auto [colour, n] : counts)
                        best = std::max(best, contrastRatio(colour, background));
                    EXPECT_TRUE(inScheme(background)) << where << ": " << std::hex << background;
                    EXPECT_GE(best, 7.0) << where << ": a text of " << text.text.size() << " letters at "
                                         << line.x << "," << line.y;
                }
            }
        }
    }
    // The borders of buttons stay: the primary button's left edge in the button text colour (Wine
    // draws one-pixel lines a pixel further right than Windows).
    auto edgeIs = [](const Picture& p, ARGB colour) {
        for (int x = 688; x <= 693; ++x)
            if (p.at(x, 470) == colour) return true;
        return false;
    };
    EXPECT_TRUE(edgeIs(load(t.file(L"resimler\\hazir_kontrast_100.png")), c.buttonText));
    EXPECT_TRUE(edgeIs(load(t.file(L"resimler\\baglaniyor_kontrast_100.png")), c.grayText));  // disabled
}

// ---- Animations turned off ------------------------------------------------------------------------

std::vector<uint32_t> framePixels(PaintedApp& app, double time) {
    app.ui.window.clock.frozenTime = time;
    app.paint();
    auto* p = static_cast<uint32_t*>(app.ui.backBuffer.pixels);
    return std::vector<uint32_t>(p,
                                 p + static_cast<size_t>(app.ui.backBuffer.width) * app.ui.backBuffer.height);
}

TEST(StillLook, WithoutAnimationsTheEmbersStandStillAndUnchangedFramesAreNotRepainted) {
    PaintedApp app;
    ASSERT_TRUE(app.ready);
    showPreviewState(app.ui, L"hazir");
    EXPECT_FALSE(framePixels(app, 1.0) == framePixels(app, 5.0));  // embers move
    app.ui.window.look.animations = false;
    const std::vector<uint32_t> still = framePixels(app, 1.0);
    EXPECT_TRUE(still == framePixels(app, 5.0));
    // Where the preview shows them.
    app.ui.window.look.animations = true;
    EXPECT_TRUE(still == framePixels(app, kStillEmberTime));

    // The timer invalidates only when the picture would change, or after a second.
    PaintedWindow win(app);
    // Only a shown window keeps an update region; far off the screen, the pointer never meets it.
    SetWindowPos(win.handle, nullptr, -3000, -3000, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    app.ui.window.look.animations = false;
    auto repaintAsked = [&] {
        ValidateRect(win.handle, nullptr);
        onTimer(app.ui);
        RECT dirty;
        return GetUpdateRect(win.handle, &dirty, FALSE) != FALSE;
    };
    repaintAsked();  // the first tick paints
    app.ui.window.paintedAt = GetTickCount();
    const std::wstring signature = frameSignature(app.ui);
    EXPECT_EQ(frameSignature(app.ui), signature);
    EXPECT_FALSE(repaintAsked());
    app.ui.window.hoverId = ClickId::Repair;
    EXPECT_NE(frameSignature(app.ui), signature);
    EXPECT_TRUE(repaintAsked());
    EXPECT_FALSE(repaintAsked());
    app.ui.window.paintedAt = GetTickCount() - 1500;
    EXPECT_TRUE(repaintAsked());
    app.ui.window.look.animations = true;
    EXPECT_TRUE(repaintAsked());  // with animations every tick paints
    EXPECT_TRUE(repaintAsked());
}

}  // namespace
