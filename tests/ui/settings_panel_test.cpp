#include "ui/settings_panel.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "tests/support/temp_folder.h"
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
    EXPECT_FALSE(click(static_cast<ClickId>(34)));
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

TEST_F(PanelClicks, TheSpeedCapIsADraftUntilSavedAndThenKeptInKoruma) {
    const struct {
        int chip;
        uint32_t kib;
        const wchar_t* label;
        const wchar_t* name;
    } chips[] = {{0, 0, L"Unlimited", L"Unlimited"},
                 {1, 1024, L"1", L"1 MB/s"},
                 {3, 5120, L"5", L"5 MB/s"},
                 {5, 25600, L"25", L"25 MB/s"},
                 {6, 51200, L"50", L"50 MB/s"}};
    uiLanguage = UiLanguage::English;
    for (const auto& c : chips) {
        EXPECT_EQ(speedChipLabel(c.chip), c.label);
        EXPECT_EQ(speedChipName(c.chip), c.name);
        EXPECT_EQ(speedChipFor(c.kib), c.chip);
        panel.noticeAt = 7;
        EXPECT_TRUE(click(speedChipId(c.chip)));
        EXPECT_EQ(panel.speedCapKiB, c.kib);
        EXPECT_EQ(panel.noticeAt, 0u);
    }
    uiLanguage = UiLanguage::Turkish;
    EXPECT_EQ(speedChipLabel(0), L"Sınırsız");
    EXPECT_EQ(speedChipName(2), L"2 MB/sn");
    EXPECT_EQ(speedChipFor(3000), -1);  // a cap set by hand selects no chip
    EXPECT_FALSE(folder.exists(L"koruma/hiz.txt"));

    ASSERT_TRUE(click(ClickId::PanelSave));
    EXPECT_FALSE(panel.noticeIsError);
    EXPECT_EQ(folder.read(L"koruma/hiz.txt"), "51200\n");
    panel.speedCapKiB = 0;
    openDisplaySettings(panel, folder.path);
    EXPECT_EQ(panel.speedCapKiB, 51200u);
    EXPECT_TRUE(click(ClickId::PanelDefault));
    EXPECT_EQ(panel.speedCapKiB, 0u);
    EXPECT_EQ(folder.read(L"koruma/hiz.txt"), "51200\n");  // Default changes the draft only
}

}  // namespace
