#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/ui/painting_fixture.h"
#include "ui/dpi.h"
#include "ui/frame.h"
#include "ui/pixel_layer.h"
#include "ui/preview.h"
#include "ui/text_table.h"

namespace {

// ---- Blending a layer -------------------------------------------------------------------------

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return a << 24 | r << 16 | g << 8 | b;
}

TEST(PixelLayer, RunsCoverExactlyTheVisiblePixels) {
    const uint32_t o = 0, x = argb(255, 1, 2, 3), h = argb(128, 64, 0, 0);
    const std::vector<uint32_t> picture = {
        o, x, x, o, h,  //
        o, o, o, o, o,  //
        h, o, o, o, x,
    };
    PixelLayer layer = packLayer(picture.data(), 5, 3);
    ASSERT_EQ(layer.runs.size(), 4u);
    const int expected[4][3] = {{0, 1, 3}, {0, 4, 5}, {2, 0, 1}, {2, 4, 5}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(layer.runs[i].row, expected[i][0]) << i;
        EXPECT_EQ(layer.runs[i].start, expected[i][1]) << i;
        EXPECT_EQ(layer.runs[i].end, expected[i][2]) << i;
    }
    EXPECT_EQ(layer.pixels, (std::vector<uint32_t>{x, x, h, h, x}));

    EXPECT_TRUE(packLayer(nullptr, 5, 3).runs.empty());
    EXPECT_TRUE(packLayer(picture.data(), 0, 3).runs.empty());
}

TEST(PixelLayer, BlendsPremultipliedSourceOverAndScalesByOpacity) {
    struct Case {
        uint32_t source, destination;
        int opacity;
        uint32_t expected;
    } cases[] = {
        {argb(255, 10, 20, 30), argb(255, 200, 200, 200), 255, argb(255, 10, 20, 30)},    // opaque: copied
        {argb(128, 128, 0, 64), argb(255, 0, 255, 100), 255, argb(255, 128, 127, 114)},   // half over
        {argb(255, 200, 100, 0), argb(255, 0, 0, 0), 51, argb(255, 40, 20, 0)},           // a fifth of it
        {argb(255, 200, 100, 0), argb(255, 100, 100, 100), 0, argb(255, 100, 100, 100)},  // none of it
        {argb(0, 0, 0, 0), argb(255, 7, 8, 9), 255, argb(255, 7, 8, 9)},                  // transparent
    };
    for (const Case& c : cases) {
        uint32_t target = c.destination;
        PixelLayer layer = packLayer(&c.source, 1, 1);
        blendLayer(layer, &target, 1, 1, 0, 0, c.opacity);
        EXPECT_EQ(target, c.expected) << std::hex << c.source << " over " << c.destination;
    }
}

TEST(PixelLayer, PartsOutsideTheTargetAreCutOnEverySide) {
    const uint32_t x = argb(255, 1, 1, 1);
    const std::vector<uint32_t> square(9, x);
    PixelLayer layer = packLayer(square.data(), 3, 3);
    struct Case {
        int x, y;
        int covered;  // pixels of the 4 x 4 target the square lands on
    } cases[] = {{0, 0, 9}, {-1, -1, 4}, {2, 2, 4}, {-2, 3, 1}, {3, 0, 3}, {-3, 0, 0}, {0, 4, 0}, {0, -3, 0}};
    for (const Case& c : cases) {
        std::vector<uint32_t> target(16, 0);
        blendLayer(layer, target.data(), 4, 4, c.x, c.y);
        int covered = 0;
        for (uint32_t p : target)
            covered += p == x;
        EXPECT_EQ(covered, c.covered) << c.x << "," << c.y;
    }
}

// ---- The cached frame against every part painted ----------------------------------------------

struct Frame {
    std::vector<uint32_t> pixels;
    std::vector<HitRegion> regions;
};

Frame paintOnce(PaintedApp& painted, bool everything) {
    painted.ui.drawing.frameCache.paintEverything = everything;
    painted.paint();
    const BackBuffer& b = painted.ui.backBuffer;
    const auto* pixels = static_cast<const uint32_t*>(b.pixels);
    Frame frame{std::vector<uint32_t>(pixels, pixels + static_cast<size_t>(b.width) * b.height),
                painted.ui.window.hitRegions};
    painted.ui.drawing.frameCache.paintEverything = false;
    return frame;
}

struct Difference {
    int largest = 0;          // in channel levels
    size_t overRounding = 0;  // pixels with a channel off by more than the rounding of a blend
};

constexpr int kBlendRounding = 4;

Difference compare(const Frame& a, const Frame& b) {
    Difference d;
    for (size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i) {
        int worst = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            int delta = std::abs(static_cast<int>((a.pixels[i] >> shift) & 0xFF) -
                                 static_cast<int>((b.pixels[i] >> shift) & 0xFF));
            worst = std::max(worst, delta);
        }
        d.largest = std::max(d.largest, worst);
        d.overRounding += worst > kBlendRounding;
    }
    return d;
}

void expectSameRegions(const Frame& a, const Frame& b) {
    ASSERT_EQ(a.regions.size(), b.regions.size());
    for (size_t i = 0; i < a.regions.size(); ++i) {
        EXPECT_EQ(a.regions[i].id, b.regions[i].id) << i;
        EXPECT_FLOAT_EQ(a.regions[i].x, b.regions[i].x) << i;
        EXPECT_FLOAT_EQ(a.regions[i].y, b.regions[i].y) << i;
        EXPECT_FLOAT_EQ(a.regions[i].width, b.regions[i].width) << i;
        EXPECT_EQ(a.regions[i].clickable, b.regions[i].clickable) << i;
    }
}

struct ScreenState {
    const char* name;
    std::function<void(LauncherUi&)> apply;
};

// Taken one after another on the same window, so that each state also proves the cache notices
// what changed since the one before: pointer, pressed button, phase, news, language, panel, install
// mode.
std::vector<ScreenState> screenStates() {
    return {
        {"ready", [](LauncherUi& ui) { ui.status.phase = UpdatePhase::Ready; }},
        {"primary hovered", [](LauncherUi& ui) { ui.window.hoverId = ClickId::Primary; }},
        {"primary pressed", [](LauncherUi& ui) { ui.window.pressedId = ClickId::Primary; }},
        {"downloading", [](LauncherUi& ui) { ASSERT_TRUE(showPreviewState(ui, L"indirme")); }},
        {"more bytes", [](LauncherUi& ui) { ui.status.bytesDone += 9000000; }},
        {"news replaced", [](LauncherUi& ui) { ui.status.news[0][1].title = L"*Yeni* sezon başladı."; }},
        {"settings hovered",
         [](LauncherUi& ui) {
             ui.status.phase = UpdatePhase::Error;
             ui.status.errorCode = ErrorKind::FileLocked;
             ui.window.hoverId = ClickId::Settings;
         }},
        {"english", [](LauncherUi&) { uiLanguage = UiLanguage::English; }},
        {"panel open",
         [](LauncherUi& ui) {
             ui.window.hoverId = ClickId::None;
             ui.settings.open = true;
             ui.settings.draft.simulatedScreenWidth = 1920;
             ui.settings.draft.simulatedScreenHeight = 1080;
             ui.settings.draft.windowWidth = 1600;
             ui.settings.draft.windowHeight = 900;
         }},
        {"panel close hovered", [](LauncherUi& ui) { ui.window.hoverId = ClickId::PanelClose; }},
        {"chip hovered", [](LauncherUi& ui) { ui.window.hoverId = sizeChipId(1); }},
        {"panel in turkish", [](LauncherUi&) { uiLanguage = UiLanguage::Turkish; }},
        {"install",
         [](LauncherUi& ui) {
             ui.window.hoverId = ClickId::FolderBox;
             ui.runs.options.installMode = true;
             ui.installForm.folder = L"C:\\Qorvane";
             ui.installForm.freeBytes = 158913789952ull;
         }},
        {"installing", [](LauncherUi& ui) { ui.installForm.installing = true; }},
    };
}

class CachedFrame : public ::testing::TestWithParam<float> {
   protected:
    void SetUp() override { uiLanguage = UiLanguage::Turkish; }
    void TearDown() override { uiLanguage = UiLanguage::Turkish; }
};

TEST_P(CachedFrame, WithoutEmbersMatchesEveryPartPaintedWithinBlendRounding) {
    PaintedApp painted(GetParam());
    ASSERT_TRUE(painted.ready);
    painted.ui.window.particles.clear();
    painted.ui.status.manifestVersion = 1791945000;
    painted.ui.status.listVerified = true;
    for (const ScreenState& state : screenStates()) {
        SCOPED_TRACE(state.name);
        state.apply(painted.ui);
        Frame cached = paintOnce(painted, false);
        Frame reference = paintOnce(painted, true);
        Difference d = compare(cached, reference);
        EXPECT_LE(d.largest, kBlendRounding);
        expectSameRegions(cached, reference);
        // Painting the same state again from the cache gives the very same pixels.
        EXPECT_EQ(paintOnce(painted, false).pixels, cached.pixels);
    }
}

TEST_P(CachedFrame, EmbersFromSpritesStayWithinTheirBucketsOfTheGradientFills) {
    PaintedApp painted(GetParam());
    ASSERT_TRUE(painted.ready);
    painted.ui.status.phase = UpdatePhase::Ready;
    for (double t : {3.0, 4.0, 57.25}) {
        SCOPED_TRACE(t);
        painted.ui.window.clock.frozenTime = t;
        Frame cached = paintOnce(painted, false);
        Frame reference = paintOnce(painted, true);
        Difference d = compare(cached, reference);
        // A sprite stands up to an eighth of a pixel off the ember's exact place, which moves an
        // aliased gradient edge by a pixel here and there; everything else is blend rounding.
        EXPECT_LE(d.overRounding, cached.pixels.size() / 1000);
        EXPECT_LE(d.largest, 48);
    }
    // The embers are really there: without them the frame is another one.
    Frame withEmbers = paintOnce(painted, false);
    painted.ui.window.particles.clear();
    EXPECT_GT(compare(withEmbers, paintOnce(painted, false)).overRounding, 500u);
}

INSTANTIATE_TEST_SUITE_P(Scales, CachedFrame, ::testing::Values(1.0f, 1.5f));

TEST(CachedFrameSizes, ANewSizeOrNewFontsDropTheCachedParts) {
    PaintedApp painted(1.0f);
    ASSERT_TRUE(painted.ready);
    painted.ui.window.particles.clear();
    painted.ui.status.phase = UpdatePhase::Ready;
    painted.paint();
    EXPECT_FALSE(painted.ui.drawing.frameCache.fixedKey.empty());

    painted.ui.window.uiScale = 1.25f;
    ASSERT_TRUE(sizeFrame(painted.ui, scaledLength(960, 1.25f), scaledLength(560, 1.25f)));
    EXPECT_TRUE(painted.ui.drawing.frameCache.fixedKey.empty());
    EXPECT_TRUE(painted.ui.drawing.frameCache.embers.byKey.empty());
    Difference d = compare(paintOnce(painted, false), paintOnce(painted, true));
    EXPECT_LE(d.largest, kBlendRounding);

    painted.ui.drawing.frameCache.paintEverything = true;
    createFonts(painted.ui.drawing);
    EXPECT_TRUE(painted.ui.drawing.frameCache.fixedKey.empty());
    EXPECT_TRUE(painted.ui.drawing.frameCache.paintEverything);  // the choice survives the drop
}

}  // namespace
