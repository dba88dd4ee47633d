#include "ui/settings_panel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/ui/painting_fixture.h"
#include "ui/text_table.h"

namespace {

void simulateScreen(DisplaySettings& d, int width, int height, int dpi) {
    d.simulatedScreenWidth = width;
    d.simulatedScreenHeight = height;
    d.dpiOverride = dpi;
}

TEST(SizeChoice, SmallScreenOffersOnlyFillScreen) {
    uiLanguage = UiLanguage::English;
    DisplaySettings d;
    simulateScreen(d, 1366, 768, 96);
    d.windowWidth = 1366;
    d.windowHeight = 705;
    ScreenSize usable = usableScreen(d);  // 1366 x 705: even 1280 x 720 is too tall
    for (int i = 0; i < kScreenSizeCount; ++i) {
        SizeChoice c = sizeChoice(d, usable, i);
        EXPECT_FALSE(c.fits) << i;
        EXPECT_FALSE(c.selected) << i;
        EXPECT_EQ(c.subLabel, L"too big") << i;
    }
    EXPECT_EQ(sizeChoice(d, usable, 1).label, L"1366 × 768");
    SizeChoice fill = sizeChoice(d, usable, 5);
    EXPECT_TRUE(fill.fits);
    EXPECT_TRUE(fill.selected);
    EXPECT_EQ(fill.label, L"Fill screen");
    EXPECT_EQ(fill.subLabel, L"1366×705");
    uiLanguage = UiLanguage::Turkish;
    EXPECT_EQ(sizeChoice(d, usable, 0).subLabel, L"sığmaz");
    EXPECT_EQ(sizeChoice(d, usable, 5).label, L"Ekranı kapla");
}

TEST(SizeChoice, FullHdScreenWithTaskbarLosesItsOwnSize) {
    uiLanguage = UiLanguage::English;
    DisplaySettings d;
    simulateScreen(d, 1920, 1080, 120);
    d.windowWidth = 1600;
    d.windowHeight = 900;
    ScreenSize usable = usableScreen(d);  // 1920 x 1017
    bool fits[6] = {true, true, true, false, false, true};
    for (int i = 0; i <= kScreenSizeCount; ++i) {
        SizeChoice c = sizeChoice(d, usable, i);
        EXPECT_EQ(c.fits, fits[i]) << i;
        EXPECT_EQ(c.selected, i == 2) << i;
        EXPECT_EQ(c.subLabel.empty(), fits[i] && i < 5) << i;
    }
    EXPECT_EQ(sizeChoice(d, usable, 5).subLabel, L"1920×1017");
    EXPECT_EQ(sizeChoice(d, usable, 3).subLabel, L"too big");

    // A fixed size equal to the usable screen selects both chips.
    d.windowWidth = 1600;
    d.windowHeight = 900;
    EXPECT_TRUE(sizeChoice(d, {1600, 900}, 2).selected);
    EXPECT_TRUE(sizeChoice(d, {1600, 900}, 5).selected);
    uiLanguage = UiLanguage::Turkish;
}

TEST(SizeChoice, WindowsScaleInPercentRoundsToNearest) {
    struct Case {
        int dpi, percent;
    } cases[] = {{96, 100}, {120, 125}, {144, 150}, {168, 175}, {192, 200}, {100, 104}, {110, 115}};
    for (const Case& c : cases)
        EXPECT_EQ(windowsScalePercent(c.dpi), c.percent) << c.dpi;
    // Turkish puts the percent sign first, in the chips and in the screen line alike.
    EXPECT_EQ(formatText(textsFor(UiLanguage::Turkish)[TextId::PercentFormat], 80), L"%80");
    EXPECT_EQ(formatText(textsFor(UiLanguage::English)[TextId::PercentFormat], 140), L"140%");
    EXPECT_EQ(formatText(textsFor(UiLanguage::Turkish)[TextId::ScreenLine], 1920, 1080, 125),
              L"Ekranın: *1920 × 1080* (Windows %125)");
}

class PanelClicks : public ::testing::Test {
   protected:
    void SetUp() override {
        simulateScreen(panel.draft, 1366, 768, 96);
        panel.open = true;
        panel.draft.windowWidth = 1000;
        panel.draft.windowHeight = 600;
        panel.draft.interfaceScale = 0.8f;
    }
    TempFolder folder;
    SettingsPanel panel;
    bool click(ClickId id) { return onSettingsClick(panel, folder.path, id); }
};

TEST_F(PanelClicks, ChipsChangeOnlyTheDraftAndHideTheNotice) {
    panel.noticeAt = 1234;
    EXPECT_TRUE(click(sizeChipId(1)));  // 1366 x 768 does not fit 1366 x 705: ignored
    EXPECT_EQ(panel.draft.windowWidth, 1000);
    EXPECT_EQ(panel.noticeAt, 1234u);

    EXPECT_TRUE(click(ClickId::FillScreenChip));
    EXPECT_EQ(panel.draft.windowWidth, 1366);
    EXPECT_EQ(panel.draft.windowHeight, 705);
    EXPECT_EQ(panel.noticeAt, 0u);

    panel.noticeAt = 99;
    EXPECT_TRUE(click(scaleChipId(3)));
    EXPECT_FLOAT_EQ(panel.draft.interfaceScale, 1.4f);
    EXPECT_EQ(panel.noticeAt, 0u);

    panel.noticeAt = 99;
    panel.draft.windowWidth = 1;
    EXPECT_TRUE(click(ClickId::PanelDefault));  // the defaults, limited by this small screen
    EXPECT_EQ(panel.draft.windowWidth, 1366);
    EXPECT_EQ(panel.draft.windowHeight, 705);
    EXPECT_FLOAT_EQ(panel.draft.interfaceScale, 1.2f);
    EXPECT_EQ(panel.noticeAt, 0u);
    EXPECT_TRUE(panel.open);
    EXPECT_FALSE(folder.exists(L"sorvik.cfg"));  // nothing reaches the files before "Save"

    simulateScreen(panel.draft, 1920, 1080, 120);
    EXPECT_TRUE(click(sizeChipId(0)));
    EXPECT_EQ(panel.draft.windowWidth, 1280);
    EXPECT_TRUE(click(ClickId::PanelDefault));
    EXPECT_EQ(panel.draft.windowWidth, 1600);
    EXPECT_EQ(panel.draft.windowHeight, 900);

    EXPECT_FALSE(click(ClickId::PanelBackdrop));
    EXPECT_FALSE(click(static_cast<ClickId>(27)));
    EXPECT_TRUE(click(ClickId::PanelCancel));
    EXPECT_FALSE(panel.open);
}

TEST_F(PanelClicks, SuccessNoticeClosesThePanelAfterItsTime) {
    panel.draft.windowWidth = 1280;
    panel.draft.windowHeight = 660;
    ASSERT_TRUE(click(ClickId::PanelSave));
    EXPECT_FALSE(panel.noticeIsError);
    ASSERT_NE(panel.noticeAt, 0u);
    EXPECT_EQ(folder.read(L"zoom.cfg"), "0.8\n");
    uint32_t at = panel.noticeAt;
    EXPECT_FALSE(expireSettingsNotice(panel, at + 1400));
    EXPECT_TRUE(panel.open);
    EXPECT_TRUE(expireSettingsNotice(panel, at + 1401));
    EXPECT_EQ(panel.noticeAt, 0u);
    EXPECT_FALSE(panel.open);
    EXPECT_FALSE(expireSettingsNotice(panel, at + 9999));
}

TEST_F(PanelClicks, ErrorNoticeStaysLongerAndKeepsThePanelOpen) {
    folder.write(L"sorvik.cfg", "WIDTH 1280\r\n");
    HANDLE lock = CreateFileW(folder.file(L"sorvik.cfg").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    click(ClickId::PanelSave);
    CloseHandle(lock);
    EXPECT_TRUE(panel.noticeIsError);
    ASSERT_NE(panel.noticeAt, 0u);
    EXPECT_EQ(folder.read(L"sorvik.cfg"), "WIDTH 1280\r\n");
    EXPECT_FALSE(folder.exists(L"sorvik.cfg.yeni"));
    EXPECT_FALSE(folder.exists(L"koruma/ekran.txt"));
    uint32_t at = panel.noticeAt;
    EXPECT_FALSE(expireSettingsNotice(panel, at + 5000));
    EXPECT_TRUE(expireSettingsNotice(panel, at + 5001));
    EXPECT_EQ(panel.noticeAt, 0u);
    EXPECT_TRUE(panel.open);
}

TEST_F(PanelClicks, NoticeAgeSurvivesTheTickCounterWrapping) {
    panel.noticeAt = 0xFFFFFF00u;
    EXPECT_FALSE(expireSettingsNotice(panel, 0x00000100u));  // 512 ms later
    EXPECT_TRUE(expireSettingsNotice(panel, 0x00000500u));   // 1536 ms later
    EXPECT_FALSE(panel.open);
}

TEST_F(PanelClicks, OpeningLoadsTheFilesAndClearsTheNotice) {
    folder.write(L"sorvik.cfg", "WIDTH 1279\r\nHEIGHT 721\r\n");
    folder.write(L"zoom.cfg", "1.4\n");
    simulateScreen(panel.draft, 1920, 1080, 96);
    panel.open = false;
    panel.noticeAt = 5;
    panel.noticeIsError = true;
    openDisplaySettings(panel, folder.path);
    EXPECT_TRUE(panel.open);
    EXPECT_EQ(panel.noticeAt, 0u);
    EXPECT_FALSE(panel.noticeIsError);
    EXPECT_FLOAT_EQ(panel.draft.interfaceScale, 1.4f);
    // 1279 x 721 units at 1.4 are 1791 x 1009 pixels: no choice is that close.
    EXPECT_EQ(panel.draft.windowWidth, 1791);
    EXPECT_EQ(panel.draft.windowHeight, 1009);
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
    for (int id = 12; id <= 26; ++id)
        EXPECT_EQ(panelIds.count(id), 1u) << id;
    const HitRegion* r12 = region(12);
    EXPECT_FALSE(r12->clickable);
    EXPECT_FLOAT_EQ(r12->width, 960);
    EXPECT_FLOAT_EQ(r12->height, 560);
    for (int id = 14; id <= 26; ++id) {
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
