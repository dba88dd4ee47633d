#include "ui/frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "tests/ui/painting_fixture.h"
#include "ui/drawing.h"
#include "ui/text_table.h"

namespace {

class FrameTest : public ::testing::Test {
   protected:
    void SetUp() override {
        uiLanguage = UiLanguage::Turkish;
        ASSERT_TRUE(painted.ready) << "images, fonts or back buffer missing";
        painted.ui.status.phase = UpdatePhase::Ready;
        painted.ui.status.manifestVersion = 1791945000;
        painted.ui.status.listVerified = true;
    }
    void TearDown() override { uiLanguage = UiLanguage::Turkish; }

    void expectRect(ClickId id, float x, float y, float w, float h) {
        const HitRegion* r = painted.region(id);
        ASSERT_NE(r, nullptr) << static_cast<int>(id);
        EXPECT_FLOAT_EQ(r->x, x) << static_cast<int>(id);
        EXPECT_FLOAT_EQ(r->y, y) << static_cast<int>(id);
        EXPECT_FLOAT_EQ(r->width, w) << static_cast<int>(id);
        EXPECT_FLOAT_EQ(r->height, h) << static_cast<int>(id);
    }
    bool clickable(ClickId id) {
        const HitRegion* r = painted.region(id);
        return r && r->clickable;
    }

    PaintedApp painted;
};

TEST_F(FrameTest, NormalScreenRegistersItsControlsInDrawingOrder) {
    painted.paint();
    EXPECT_EQ(painted.ids(),
              (std::vector<ClickId>{ClickId::Minimise, ClickId::Close, ClickId::Repair, ClickId::GameFolder,
                                    ClickId::Language, ClickId::Settings, ClickId::Primary}));
    expectRect(ClickId::Minimise, 878, 16, 30, 24);
    expectRect(ClickId::Close, 912, 16, 30, 24);
    expectRect(ClickId::Primary, 690, 438, 230, 64);
    expectRect(ClickId::Settings, 618, 438, 62, 64);
    const HitRegion* repair = painted.region(ClickId::Repair);
    const HitRegion* folder = painted.region(ClickId::GameFolder);
    const HitRegion* language = painted.region(ClickId::Language);
    ASSERT_TRUE(repair && folder && language);
    EXPECT_FLOAT_EQ(repair->x, 40);
    EXPECT_FLOAT_EQ(repair->y, 504);
    EXPECT_FLOAT_EQ(repair->height, 24);
    EXPECT_FLOAT_EQ(folder->x, repair->x + repair->width + 8);
    EXPECT_FLOAT_EQ(language->x, folder->x + folder->width + 8);
    // The toggle's width is its text without the asterisks plus the padding.
    Gdiplus::GpGraphics* g = nullptr;
    Gdiplus::DllExports::GdipGetImageGraphicsContext(painted.ui.backBuffer.bitmap.get(), &g);
    float toggleText =
        measureText(painted.ui.drawing, g, L"TR / EN", painted.ui.drawing.font(FontId::Regular12));
    Gdiplus::DllExports::GdipDeleteGraphics(g);
    EXPECT_NEAR(language->width, toggleText + 26, 0.01);
    for (ClickId id : {ClickId::Minimise, ClickId::Close, ClickId::Repair, ClickId::GameFolder,
                       ClickId::Language, ClickId::Primary, ClickId::Settings})
        EXPECT_TRUE(clickable(id)) << static_cast<int>(id);
}

TEST_F(FrameTest, RepairIsClickableOnlyAfterARunEndedInReadyOrError) {
    struct {
        UpdatePhase phase;
        bool clickable;
    } cases[] = {
        {UpdatePhase::Idle, false},     {UpdatePhase::Connecting, false},  {UpdatePhase::ListChecked, false},
        {UpdatePhase::Scanning, false}, {UpdatePhase::Downloading, false}, {UpdatePhase::Cleaning, false},
        {UpdatePhase::Ready, true},     {UpdatePhase::Error, true},        {UpdatePhase::SelfUpdated, false}};
    for (const auto& c : cases) {
        painted.ui.status.phase = c.phase;
        painted.ui.status.errorCode =
            c.phase == UpdatePhase::Error ? ErrorKind::DownloadFailed : ErrorKind::None;
        painted.paint();
        EXPECT_EQ(clickable(ClickId::Repair), c.clickable) << static_cast<int>(c.phase);
        EXPECT_EQ(clickable(ClickId::Primary), c.phase == UpdatePhase::Ready || c.phase == UpdatePhase::Error)
            << static_cast<int>(c.phase);
        EXPECT_TRUE(clickable(ClickId::GameFolder));
        EXPECT_TRUE(clickable(ClickId::Language));
    }
    // A run still winding down after reporting Ready keeps repair disabled.
    painted.ui.status.phase = UpdatePhase::Ready;
    painted.ui.status.runActive = true;
    painted.paint();
    EXPECT_FALSE(clickable(ClickId::Repair));
}

TEST_F(FrameTest, InstallScreenHasTheFormAndNoSmallButtons) {
    painted.runs.options.installMode = true;
    painted.ui.installForm.folder = L"C:\\Qorvane";
    painted.paint();
    EXPECT_EQ(painted.ids(), (std::vector<ClickId>{ClickId::Minimise, ClickId::Close, ClickId::FolderBox,
                                                   ClickId::ChangeFolder, ClickId::DesktopShortcut,
                                                   ClickId::StartMenuShortcut, ClickId::Primary}));
    expectRect(ClickId::FolderBox, 40, 264, 793, 34);
    expectRect(ClickId::ChangeFolder, 843, 264, 77, 34);
    const HitRegion* desktop = painted.region(ClickId::DesktopShortcut);
    const HitRegion* startMenu = painted.region(ClickId::StartMenuShortcut);
    ASSERT_TRUE(desktop && startMenu);
    EXPECT_FLOAT_EQ(desktop->x, 38);
    EXPECT_FLOAT_EQ(desktop->y, 336);
    EXPECT_FLOAT_EQ(desktop->height, 22);
    // The second box starts 46 after the first label's end: label width = region width - 30.
    EXPECT_FLOAT_EQ(startMenu->x, 40 + (desktop->width - 30) + 46 - 2);
    for (ClickId id : {ClickId::Primary, ClickId::FolderBox, ClickId::ChangeFolder, ClickId::DesktopShortcut,
                       ClickId::StartMenuShortcut})
        EXPECT_TRUE(clickable(id)) << static_cast<int>(id);

    painted.ui.installForm.installing = true;
    painted.paint();
    for (ClickId id : {ClickId::Primary, ClickId::FolderBox, ClickId::ChangeFolder, ClickId::DesktopShortcut,
                       ClickId::StartMenuShortcut})
        EXPECT_FALSE(clickable(id)) << static_cast<int>(id);
    EXPECT_TRUE(clickable(ClickId::Minimise));
    EXPECT_TRUE(clickable(ClickId::Close));
}

TEST_F(FrameTest, InstallModeIgnoresAnOpenSettingsPanel) {
    painted.runs.options.installMode = true;
    painted.ui.settings.open = true;
    painted.paint();
    EXPECT_EQ(painted.region(ClickId::PanelBackdrop), nullptr);
    EXPECT_EQ(painted.region(ClickId::Settings), nullptr);
}

TEST_F(FrameTest, FrozenClockPaintsIdenticalFramesAndTheButtonImageFollowsTheState) {
    const BackBuffer& b = painted.ui.backBuffer;
    const size_t bytes = static_cast<size_t>(b.width) * b.height * 4;
    painted.paint();
    std::vector<uint8_t> first(static_cast<uint8_t*>(b.pixels), static_cast<uint8_t*>(b.pixels) + bytes);
    painted.paint();
    EXPECT_EQ(std::memcmp(first.data(), b.pixels, bytes), 0);

    // The disabled image is dark brown, the enabled one gold: compare the body's centre pixel.
    uint32_t enabled = painted.pixel(805, 446);
    painted.ui.status.phase = UpdatePhase::Scanning;
    painted.paint();
    uint32_t disabled = painted.pixel(805, 446);
    auto brightness = [](uint32_t p) { return ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF); };
    EXPECT_GT(brightness(enabled), brightness(disabled) + 150);
}

TEST_F(FrameTest, ParticlesMoveWithTheClock) {
    const BackBuffer& b = painted.ui.backBuffer;
    const size_t bytes = static_cast<size_t>(b.width) * b.height * 4;
    painted.paint();
    std::vector<uint8_t> atThree(static_cast<uint8_t*>(b.pixels), static_cast<uint8_t*>(b.pixels) + bytes);
    painted.ui.window.clock.frozenTime = 4.0;
    painted.paint();
    EXPECT_NE(std::memcmp(atThree.data(), b.pixels, bytes), 0);
    EXPECT_DOUBLE_EQ(animationTime(painted.ui.window.clock), 4.0);
}

TEST(NewsTest, LongTitlesAreClippedAtTheSectionEdgeAndOnlyThreeAreShown) {
    for (float scale : {1.0f, 1.5f}) {
        SCOPED_TRACE(scale);
        PaintedApp painted(scale);
        ASSERT_TRUE(painted.ready);
        uiLanguage = UiLanguage::Turkish;
        painted.ui.status.phase = UpdatePhase::Ready;
        const BackBuffer& b = painted.ui.backBuffer;
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
        painted.ui.status.news[0] = {
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
        const BackBuffer& b = painted.ui.backBuffer;
        EXPECT_EQ(b.width, static_cast<int>(std::floor(960 * scale + 0.5f)));
        EXPECT_EQ(painted.ui.drawing.backgroundPixels.size(), static_cast<size_t>(b.width) * b.height * 4);
        for (const UniqueBitmap& scaled : painted.ui.drawing.scaledButtons) {
            Gdiplus::GpBitmap* button = scaled.get();
            ASSERT_NE(button, nullptr);
            UINT w = 0, h = 0;
            Gdiplus::DllExports::GdipGetImageWidth(button, &w);
            Gdiplus::DllExports::GdipGetImageHeight(button, &h);
            EXPECT_EQ(w, static_cast<UINT>(std::floor(270 * scale + 0.5f)));
            EXPECT_EQ(h, static_cast<UINT>(std::floor(104 * scale + 0.5f)));
        }
        // Opaque background: every pre-scaled pixel has full alpha, the edges included.
        EXPECT_EQ(painted.ui.drawing.backgroundPixels[3], 0xFF);
        EXPECT_EQ(painted.ui.drawing.backgroundPixels.back(), 0xFF);
    }
}

TEST(BackBufferTest, ReleaseLeavesNothingToPaint) {
    PaintedApp painted;
    ASSERT_TRUE(painted.ready);
    releaseFrame(painted.ui);
    const BackBuffer& b = painted.ui.backBuffer;
    EXPECT_FALSE(b.bitmap);
    EXPECT_FALSE(b.memoryDc);
    EXPECT_FALSE(b.dibSection);
    EXPECT_EQ(b.pixels, nullptr);
    EXPECT_TRUE(painted.ui.drawing.backgroundPixels.empty());
    for (const UniqueBitmap& button : painted.ui.drawing.scaledButtons)
        EXPECT_FALSE(button);
    painted.ui.window.hitRegions.push_back(HitRegion{ClickId::Settings, 0, 0, 1, 1, true});
    painted.paint();  // paints nothing, and keeps the old regions untouched
    EXPECT_EQ(painted.ui.window.hitRegions.size(), 1u);
}

TEST(BackBufferTest, AnotherSizeReplacesBufferAndArtTogetherAndARefusedSizeLeavesNone) {
    PaintedApp painted;
    ASSERT_TRUE(painted.ready);
    painted.ui.window.uiScale = 1.5f;
    ASSERT_TRUE(sizeFrame(painted.ui, 1440, 840));
    EXPECT_EQ(painted.ui.backBuffer.width, 1440);
    EXPECT_EQ(painted.ui.drawing.backgroundPixels.size(), 1440u * 840 * 4);
    painted.paint();
    EXPECT_FALSE(painted.ui.window.hitRegions.empty());

    EXPECT_FALSE(sizeFrame(painted.ui, 0, 840));
    EXPECT_FALSE(painted.ui.backBuffer.bitmap);
    EXPECT_TRUE(painted.ui.drawing.backgroundPixels.empty());
    EXPECT_FALSE(painted.ui.drawing.scaledButtons[0]);
}

}  // namespace
