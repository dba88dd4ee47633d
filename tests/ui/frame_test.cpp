#include "ui/frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "tests/ui/painting_fixture.h"
#include "ui/drawing.h"
#include "ui/text_table.h"
#include "ui/window.h"

namespace {

class FrameTest : public ::testing::Test {
   protected:
    void SetUp() override {
        uiLanguage = Turkish;
        ASSERT_TRUE(painted.ready) << "images, fonts or back buffer missing";
        painted.app.status.phase = UpdatePhase::Ready;
        painted.app.status.manifestVersion = 1791945000;
        painted.app.status.listVerified = true;
    }
    void TearDown() override { uiLanguage = Turkish; }

    void expectRect(int id, float x, float y, float w, float h) {
        const HitRegion* r = painted.region(id);
        ASSERT_NE(r, nullptr) << id;
        EXPECT_FLOAT_EQ(r->x, x) << id;
        EXPECT_FLOAT_EQ(r->y, y) << id;
        EXPECT_FLOAT_EQ(r->width, w) << id;
        EXPECT_FLOAT_EQ(r->height, h) << id;
    }
    bool clickable(int id) {
        const HitRegion* r = painted.region(id);
        return r && r->clickable;
    }

    PaintedApp painted;
};

TEST_F(FrameTest, NormalScreenRegistersItsControlsInDrawingOrder) {
    painted.paint();
    EXPECT_EQ(painted.ids(), (std::vector<int>{1, 2, 3, 4, 5, 11, 6}));
    expectRect(1, 878, 16, 30, 24);
    expectRect(2, 912, 16, 30, 24);
    expectRect(6, 690, 438, 230, 64);
    expectRect(11, 618, 438, 62, 64);
    const HitRegion* repair = painted.region(3);
    const HitRegion* folder = painted.region(4);
    const HitRegion* language = painted.region(5);
    ASSERT_TRUE(repair && folder && language);
    EXPECT_FLOAT_EQ(repair->x, 40);
    EXPECT_FLOAT_EQ(repair->y, 504);
    EXPECT_FLOAT_EQ(repair->height, 24);
    EXPECT_FLOAT_EQ(folder->x, repair->x + repair->width + 8);
    EXPECT_FLOAT_EQ(language->x, folder->x + folder->width + 8);
    // The toggle's width is its text without the asterisks plus the padding.
    Gdiplus::GpGraphics* g = nullptr;
    Gdiplus::DllExports::GdipGetImageGraphicsContext(painted.app.backBuffer.bitmap, &g);
    float toggleText = measureText(painted.app, g, L"TR / EN", painted.app.uiFonts[2]);
    Gdiplus::DllExports::GdipDeleteGraphics(g);
    EXPECT_NEAR(language->width, toggleText + 26, 0.01);
    for (int id : {1, 2, 3, 4, 5, 6, 11})
        EXPECT_TRUE(clickable(id)) << id;
}

TEST_F(FrameTest, RepairIsClickableOnlyAfterARunEndedInReadyOrError) {
    struct {
        UpdatePhase phase;
        bool clickable;
    } cases[] = {{UpdatePhase::Idle, false},     {UpdatePhase::Connecting, false},  {UpdatePhase::ListChecked, false},
                 {UpdatePhase::Scanning, false}, {UpdatePhase::Downloading, false}, {UpdatePhase::Cleaning, false},
                 {UpdatePhase::Ready, true},     {UpdatePhase::Error, true},        {UpdatePhase::SelfUpdated, false}};
    for (const auto& c : cases) {
        painted.app.status.phase = c.phase;
        painted.app.status.errorCode = c.phase == UpdatePhase::Error ? ErrorKind::DownloadFailed : ErrorKind::None;
        painted.paint();
        EXPECT_EQ(clickable(3), c.clickable) << static_cast<int>(c.phase);
        EXPECT_EQ(clickable(6), c.phase == UpdatePhase::Ready || c.phase == UpdatePhase::Error) << static_cast<int>(c.phase);
        EXPECT_TRUE(clickable(4));
        EXPECT_TRUE(clickable(5));
    }
    // A run still winding down after reporting Ready keeps repair disabled.
    painted.app.status.phase = UpdatePhase::Ready;
    painted.app.updater.workerRunning = true;
    painted.paint();
    EXPECT_FALSE(clickable(3));
    painted.app.updater.workerRunning = false;
}

TEST_F(FrameTest, InstallScreenHasTheFormAndNoSmallButtons) {
    painted.app.installMode = true;
    painted.app.installFolder = L"C:\\Qorvane";
    painted.paint();
    EXPECT_EQ(painted.ids(), (std::vector<int>{1, 2, 7, 8, 9, 10, 6}));
    expectRect(7, 40, 264, 793, 34);
    expectRect(8, 843, 264, 77, 34);
    const HitRegion* desktop = painted.region(9);
    const HitRegion* startMenu = painted.region(10);
    ASSERT_TRUE(desktop && startMenu);
    EXPECT_FLOAT_EQ(desktop->x, 38);
    EXPECT_FLOAT_EQ(desktop->y, 336);
    EXPECT_FLOAT_EQ(desktop->height, 22);
    // The second box starts 46 after the first label's end: label width = region width - 30.
    EXPECT_FLOAT_EQ(startMenu->x, 40 + (desktop->width - 30) + 46 - 2);
    for (int id : {6, 7, 8, 9, 10})
        EXPECT_TRUE(clickable(id)) << id;

    painted.app.installing = true;
    painted.paint();
    for (int id : {6, 7, 8, 9, 10})
        EXPECT_FALSE(clickable(id)) << id;
    EXPECT_TRUE(clickable(1));
    EXPECT_TRUE(clickable(2));
}

TEST_F(FrameTest, InstallModeIgnoresAnOpenSettingsPanel) {
    painted.app.installMode = true;
    painted.app.settingsOpen = true;
    painted.paint();
    EXPECT_EQ(painted.region(12), nullptr);
    EXPECT_EQ(painted.region(11), nullptr);
}

TEST_F(FrameTest, FrozenClockPaintsIdenticalFramesAndTheButtonImageFollowsTheState) {
    const BackBuffer& b = painted.app.backBuffer;
    const size_t bytes = static_cast<size_t>(b.width) * b.height * 4;
    painted.paint();
    std::vector<uint8_t> first(static_cast<uint8_t*>(b.pixels), static_cast<uint8_t*>(b.pixels) + bytes);
    painted.paint();
    EXPECT_EQ(std::memcmp(first.data(), b.pixels, bytes), 0);

    // The disabled image is dark brown, the enabled one gold: compare the body's centre pixel.
    uint32_t enabled = painted.pixel(805, 446);
    painted.app.status.phase = UpdatePhase::Scanning;
    painted.paint();
    uint32_t disabled = painted.pixel(805, 446);
    auto brightness = [](uint32_t p) { return ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF); };
    EXPECT_GT(brightness(enabled), brightness(disabled) + 150);
}

TEST_F(FrameTest, ParticlesMoveWithTheClock) {
    const BackBuffer& b = painted.app.backBuffer;
    const size_t bytes = static_cast<size_t>(b.width) * b.height * 4;
    painted.paint();
    std::vector<uint8_t> atThree(static_cast<uint8_t*>(b.pixels), static_cast<uint8_t*>(b.pixels) + bytes);
    painted.app.frozenTime = 4.0;
    painted.paint();
    EXPECT_NE(std::memcmp(atThree.data(), b.pixels, bytes), 0);
    EXPECT_DOUBLE_EQ(animationTime(painted.app), 4.0);
}

TEST(NewsTest, LongTitlesAreClippedAtTheSectionEdgeAndOnlyThreeAreShown) {
    for (float scale : {1.0f, 1.5f}) {
        SCOPED_TRACE(scale);
        PaintedApp painted(scale);
        ASSERT_TRUE(painted.ready);
        uiLanguage = Turkish;
        painted.app.status.phase = UpdatePhase::Ready;
        const BackBuffer& b = painted.app.backBuffer;
        auto band = [&] {
            std::vector<uint32_t> out;
            // right of the news column, over the first two rows
            for (float designY : {260.0f, 270.0f, 280.0f, 290.0f}) {
                for (int x = static_cast<int>(461 * scale); x < static_cast<int>(495 * scale); ++x)
                    out.push_back(painted.pixel(x, static_cast<int>(designY * scale)));
            }
            // where a fourth row would stand
            for (float designY : {352.0f, 356.0f, 360.0f, 364.0f}) {
                for (int x = static_cast<int>(94 * scale); x < static_cast<int>(300 * scale); ++x)
                    out.push_back(painted.pixel(x, static_cast<int>(designY * scale)));
            }
            return out;
        };
        painted.paint();
        std::vector<uint32_t> empty = band();
        std::vector<uint32_t> rows;
        for (int y = 0; y < b.height; y += 2)
            rows.push_back(painted.pixel(static_cast<int>(200 * scale), y));

        const std::wstring longTitle(60, L'W');
        painted.app.status.news[0] = {
            {L"14.10", longTitle}, {L"", longTitle}, {L"12.10", longTitle}, {L"11.10", longTitle}};
        painted.paint();
        EXPECT_EQ(band(), empty);  // nothing spilled past x 460, and no fourth row
        int changed = 0;
        for (int y = 0, i = 0; y < b.height; y += 2, ++i)
            changed += painted.pixel(static_cast<int>(200 * scale), y) != rows[i];
        EXPECT_GT(changed, 0);  // while the titles themselves were drawn
    }
}

TEST(BackBufferTest, ScaledCopiesFollowTheScale) {
    for (float scale : {1.0f, 1.25f, 1.5f}) {
        PaintedApp painted(scale);
        ASSERT_TRUE(painted.ready);
        const BackBuffer& b = painted.app.backBuffer;
        EXPECT_EQ(b.width, static_cast<int>(std::floor(960 * scale + 0.5f)));
        EXPECT_EQ(painted.app.backgroundPixels.size(), static_cast<size_t>(b.width) * b.height * 4);
        for (Gdiplus::GpBitmap* button : painted.app.scaledButtons) {
            ASSERT_NE(button, nullptr);
            UINT w = 0, h = 0;
            Gdiplus::DllExports::GdipGetImageWidth(button, &w);
            Gdiplus::DllExports::GdipGetImageHeight(button, &h);
            EXPECT_EQ(w, static_cast<UINT>(std::floor(270 * scale + 0.5f)));
            EXPECT_EQ(h, static_cast<UINT>(std::floor(104 * scale + 0.5f)));
        }
        // Opaque background: every pre-scaled pixel has full alpha, the edges included.
        EXPECT_EQ(painted.app.backgroundPixels[3], 0xFF);
        EXPECT_EQ(painted.app.backgroundPixels.back(), 0xFF);
    }
}

TEST(BackBufferTest, ReleaseLeavesNothingToPaint) {
    PaintedApp painted;
    ASSERT_TRUE(painted.ready);
    releaseBackBuffer(painted.app);
    EXPECT_EQ(painted.app.backBuffer.bitmap, nullptr);
    EXPECT_EQ(painted.app.backBuffer.pixels, nullptr);
    EXPECT_TRUE(painted.app.backgroundPixels.empty());
    for (Gdiplus::GpBitmap* button : painted.app.scaledButtons)
        EXPECT_EQ(button, nullptr);
    painted.app.hitRegions.push_back(HitRegion{99, 0, 0, 1, 1, true});
    painted.paint();  // paints nothing, and keeps the old regions untouched
    EXPECT_EQ(painted.app.hitRegions.size(), 1u);
}

}  // namespace
