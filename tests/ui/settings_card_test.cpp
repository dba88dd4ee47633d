#include "ui/settings_card.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "tests/ui/painting_fixture.h"
#include "ui/text_table.h"

namespace {

void simulateScreen(DisplaySettings& d, int width, int height, int dpi) {
    d.simulatedScreenWidth = width;
    d.simulatedScreenHeight = height;
    d.dpiOverride = dpi;
}

class PanelPaint : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(painted.ready);
        uiLanguage = UiLanguage::English;
        painted.ui.status.phase = UpdatePhase::Ready;
        painted.ui.settings.open = true;
    }
    void TearDown() override { uiLanguage = UiLanguage::Turkish; }

    void open(int width, int height, int dpi, int windowWidth, int windowHeight, float scale) {
        DisplaySettings& d = painted.ui.settings.draft;
        simulateScreen(d, width, height, dpi);
        d.windowWidth = windowWidth;
        d.windowHeight = windowHeight;
        d.interfaceScale = scale;
        painted.paint();
    }

    // True when some pixel row of the rectangle is not one flat colour: something is drawn there
    // over the card's vertical gradient.
    bool somethingDrawn(int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0 + 1; x < x1; ++x)
                if (painted.pixel(x, y) != painted.pixel(x0, y)) return true;
        return false;
    }

    // The panel's ids are numbered in the order it registers them, 12 to 26.
    const HitRegion* region(int id) const { return painted.region(static_cast<ClickId>(id)); }

    PaintedApp painted;
};

TEST_F(PanelPaint, PanelLiesOverTheMainScreenWithEveryControlOnTheCard) {
    open(1920, 1080, 120, 1600, 900, 1.2f);
    std::vector<int> ids;
    for (ClickId id : painted.ids())
        ids.push_back(static_cast<int>(id));
    auto backdrop = std::find(ids.begin(), ids.end(), 12);
    ASSERT_NE(backdrop, ids.end());
    // The backdrop comes after every main-screen control, so it wins their hit tests.
    for (auto it = ids.begin(); it != backdrop; ++it)
        EXPECT_LT(*it, 12);
    std::set<int> panelIds(backdrop, ids.end());
    for (int id = 12; id <= 33; ++id)
        EXPECT_EQ(panelIds.count(id), 1u) << id;
    const HitRegion* r12 = region(12);
    EXPECT_FALSE(r12->clickable);
    EXPECT_FLOAT_EQ(r12->width, 960);
    EXPECT_FLOAT_EQ(r12->height, 560);
    for (int id = 14; id <= 33; ++id) {
        const HitRegion* r = region(id);
        EXPECT_GE(r->x, 220) << id;
        EXPECT_LE(r->x + r->width, 740.01f) << id;
        EXPECT_FLOAT_EQ(r->height, 30) << id;
    }
    EXPECT_FLOAT_EQ(region(26)->x + region(26)->width, 740);
    EXPECT_FLOAT_EQ(region(25)->x + region(25)->width, region(26)->x - 8);
    EXPECT_FLOAT_EQ(region(24)->x, 220);
    for (int id : {24, 25, 26})
        EXPECT_FLOAT_EQ(region(id)->y, 455) << id;
}

TEST_F(PanelPaint, ChipsWrapAndFollowTheScreen) {
    struct Case {
        int width, height, dpi;
        bool clickable[6];
    } cases[] = {
        {1366, 768, 96, {false, false, false, false, false, true}},
        {1920, 1080, 120, {true, true, true, false, false, true}},
        {2560, 1440, 144, {true, true, true, true, false, true}},
    };
    for (const Case& c : cases) {
        open(c.width, c.height, c.dpi, 1280, 720, 1.0f);
        float lastY = 0;
        for (int i = 0; i < 6; ++i) {
            const HitRegion* r = region(14 + i);
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(r->clickable, c.clickable[i]) << c.width << " chip " << i;
            EXPECT_TRUE(r->y == 147 || r->y == 183 || r->y == 219) << r->y;
            EXPECT_GE(r->y, lastY);
            lastY = r->y;
        }
        // The scale row sits 68 below the last size row; the box and its lines follow from it.
        for (int id = 20; id <= 23; ++id) {
            EXPECT_FLOAT_EQ(region(id)->y, lastY + 68) << id;
            EXPECT_TRUE(region(id)->clickable);
        }
        // The download caps follow 40 below, left to right after their label, and stay clear of the
        // buttons; so does the preview box under them.
        float right = 0;
        for (int i = 0; i < 7; ++i) {
            const HitRegion* r = region(27 + i);
            ASSERT_NE(r, nullptr);
            EXPECT_FLOAT_EQ(r->y, lastY + 108) << i;
            EXPECT_TRUE(r->clickable);
            EXPECT_GT(r->x, right) << i;
            right = r->x + r->width;
        }
        EXPECT_LE(right, 740.01f);
        EXPECT_GT(region(27)->x, 240);  // the label has room before the first chip
        const int boxTop = static_cast<int>(lastY + 148);
        EXPECT_TRUE(somethingDrawn(219, boxTop + 1, 412, boxTop + 20)) << c.width;
        EXPECT_FALSE(somethingDrawn(219, 450, 412, 454)) << c.width;  // the box ends above the buttons
    }
}

TEST_F(PanelPaint, SmallScreenHintShowsOnlyUpTo800PixelsHigh) {
    struct Case {
        int width, height;
        bool hint;
    } cases[] = {{1366, 768, true}, {1280, 800, true}, {1280, 801, false}, {1920, 1080, false}};
    for (const Case& c : cases) {
        open(c.width, c.height, 96, 1280, 720, 1.0f);
        const HitRegion* last = region(23);
        int x0 = static_cast<int>(last->x + last->width) + 4;
        int y0 = static_cast<int>(last->y) + 4;
        EXPECT_EQ(somethingDrawn(x0, y0, 738, y0 + 22), c.hint) << c.width << "x" << c.height;
    }
}

TEST_F(PanelPaint, NoticePillTakesTheColourOfTheOutcome) {
    auto pillColourAt = [&](uint32_t& found) {
        // The pill's top outline crosses the card's centre column near y 411.
        for (int y = 409; y <= 414; ++y) {
            uint32_t p = painted.pixel(480, y);
            int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (g > 150 && r < 180 && b < 140) found = 1;  // green
            if (r > 180 && g < 120 && b < 110) found = 2;  // red
        }
    };
    uint32_t found = 0;
    open(1920, 1080, 120, 1600, 900, 1.2f);
    pillColourAt(found);
    EXPECT_EQ(found, 0u);
    painted.ui.settings.noticeAt = 1;
    painted.paint();
    pillColourAt(found);
    EXPECT_EQ(found, 1u);
    painted.ui.settings.noticeIsError = true;
    found = 0;
    painted.paint();
    pillColourAt(found);
    EXPECT_EQ(found, 2u);
}

}  // namespace
