#include "ui/keyboard.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/ui/painting_fixture.h"
#include "ui/preview.h"
#include "ui/text_table.h"

namespace {

using Ids = std::vector<ClickId>;

HitRegions regions(std::initializer_list<std::pair<ClickId, bool>> controls) {
    HitRegions out;
    for (auto [id, clickable] : controls)
        addHitRegion(out, id, 0, 0, 10, 10, clickable);
    return out;
}

TEST(FocusOrder, EnabledControlsInPaintingOrderAndOnlyThePanelsWhileItIsOpen) {
    const ClickId fill = ClickId::FillScreenChip;
    struct Case {
        HitRegions regions;
        Ids order;
    } cases[] = {
        {regions({{ClickId::Minimise, true},
                  {ClickId::Close, true},
                  {ClickId::Repair, false},
                  {ClickId::GameFolder, true},
                  {ClickId::Primary, false}}),
         {ClickId::Minimise, ClickId::Close, ClickId::GameFolder}},
        {regions({{ClickId::Minimise, true},
                  {ClickId::Primary, true},
                  {ClickId::PanelBackdrop, false},
                  {ClickId::PanelClose, true},
                  {sizeChipId(0), false},
                  {fill, true},
                  {ClickId::PanelSave, true}}),
         {ClickId::PanelClose, fill, ClickId::PanelSave}},
        {regions({{ClickId::Close, true}, {ClickId::Close, true}}), {ClickId::Close}},  // once each
        {{}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(focusOrder(c.regions), c.order);
}

TEST(FocusOrder, TabWrapsBothWaysAndStartsAtAnEndWhenNothingHasFocus) {
    const Ids order = {ClickId::Minimise, ClickId::Close, ClickId::Primary};
    struct Case {
        ClickId from;
        bool backwards;
        ClickId to;
    } cases[] = {
        {ClickId::None, false, ClickId::Minimise},   {ClickId::None, true, ClickId::Primary},
        {ClickId::Close, false, ClickId::Primary},   {ClickId::Primary, false, ClickId::Minimise},
        {ClickId::Minimise, true, ClickId::Primary}, {ClickId::Repair, false, ClickId::Minimise},  // gone
    };
    for (const Case& c : cases)
        EXPECT_EQ(nextFocus(order, c.from, c.backwards), c.to) << static_cast<int>(c.from) << c.backwards;
    EXPECT_EQ(nextFocus({}, ClickId::Close, false), ClickId::None);
}

TEST(FocusOrder, ArrowsStepAlongAChipRowOverDisabledChipsAndStopAtItsEnds) {
    // Sizes 0 to 2 fit, 3 and 4 do not, "Fill screen" does; the four scales always fit.
    HitRegions panel = regions({{ClickId::PanelBackdrop, false},
                                {sizeChipId(0), true},
                                {sizeChipId(1), true},
                                {sizeChipId(2), true},
                                {sizeChipId(3), false},
                                {sizeChipId(4), false},
                                {sizeChipId(5), true},
                                {scaleChipId(0), true},
                                {scaleChipId(1), true},
                                {scaleChipId(2), true},
                                {scaleChipId(3), true}});
    struct Case {
        ClickId from;
        int step;
        ClickId to;
    } cases[] = {
        {sizeChipId(2), 1, sizeChipId(5)},
        {sizeChipId(5), -1, sizeChipId(2)},
        {sizeChipId(5), 1, ClickId::None},
        {sizeChipId(0), -1, ClickId::None},
        {scaleChipId(1), 1, scaleChipId(2)},
        {scaleChipId(3), 1, ClickId::None},  // a row never runs into the next
        {ClickId::PanelSave, 1, ClickId::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(steppedChip(panel, c.from, c.step), c.to) << static_cast<int>(c.from) << " " << c.step;
}

// The window procedure with real frames painted between the keys, as the timer would.
class Keyboard : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(app.ready);
        ASSERT_NE(win.handle, nullptr);
    }
    void TearDown() override {
        uiLanguage = saved;
        BYTE keys[256] = {};
        SetKeyboardState(keys);
    }
    void show(const wchar_t* state) {
        ASSERT_TRUE(showPreviewState(app.ui, state));
        app.paint();
    }
    void press(WPARAM key) {
        win.key(key);
        app.paint();
    }
    void shiftTab() {
        BYTE keys[256] = {};
        keys[VK_SHIFT] = 0x80;
        SetKeyboardState(keys);
        press(VK_TAB);
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    }
    ClickId focus() const { return app.ui.window.focusId; }
    // What the window asked Windows for last: UIS_CLEAR (show) or UIS_SET (hide) of the focus cues.
    WORD lastCueRequest() const { return win.cueRequests.empty() ? 0 : win.cueRequests.back(); }

    UiLanguage saved = uiLanguage;
    PaintedApp app;
    PaintedWindow win{app};
};

TEST_F(Keyboard, TabWalksTheControlsAndEnterOrSpaceActivatesTheFocusedOne) {
    show(L"hazir");
    press(VK_TAB);
    EXPECT_EQ(focus(), ClickId::Minimise);
    EXPECT_EQ(lastCueRequest(), UIS_CLEAR);
    EXPECT_TRUE(app.ui.window.focusCues);
    const Ids expected = {ClickId::Close,    ClickId::Repair,  ClickId::GameFolder, ClickId::Language,
                          ClickId::Settings, ClickId::Primary, ClickId::Minimise};
    for (ClickId id : expected) {
        press(VK_TAB);
        EXPECT_EQ(focus(), id);
    }
    shiftTab();
    EXPECT_EQ(focus(), ClickId::Primary);

    // Enter on the language toggle switches the language instead of starting the game.
    while (focus() != ClickId::Language)
        press(VK_TAB);
    uiLanguage = UiLanguage::Turkish;
    press(VK_RETURN);
    EXPECT_EQ(uiLanguage, UiLanguage::English);
    press(VK_SPACE);
    EXPECT_EQ(uiLanguage, UiLanguage::Turkish);
    EXPECT_EQ(focus(), ClickId::Language);

    // The mouse takes the cues and the focus away: Enter belongs to the primary action again.
    win.send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(400, 100));
    win.send(WM_LBUTTONUP, 0, MAKELPARAM(400, 100));
    EXPECT_EQ(focus(), ClickId::None);
    EXPECT_EQ(lastCueRequest(), UIS_SET);
    EXPECT_FALSE(app.ui.window.focusCues);
}

TEST_F(Keyboard, TheFocusRingShowsOnlyWithFocusAndCues) {
    show(L"hazir");
    auto frame = [this] {
        app.paint();
        return std::vector<uint32_t>(static_cast<uint32_t*>(app.ui.backBuffer.pixels),
                                     static_cast<uint32_t*>(app.ui.backBuffer.pixels) + 960 * 560);
    };
    const std::vector<uint32_t> plain = frame();
    press(VK_TAB);  // the minimise button, (878, 16, 30, 24)
    const std::vector<uint32_t> ringed = frame();
    int changed = 0, outside = 0;
    for (int y = 0; y < 560; ++y) {
        for (int x = 0; x < 960; ++x) {
            if (plain[y * 960 + x] == ringed[y * 960 + x]) continue;
            ++changed;
            if (x < 872 || x > 914 || y < 10 || y > 46) ++outside;  // 3 pixels around it, and the halo
        }
    }
    EXPECT_GT(changed, 100);
    EXPECT_EQ(outside, 0);
    // Cues hidden (Windows says so after mouse use), the same focus draws no ring.
    win.send(WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS));
    EXPECT_EQ(focus(), ClickId::Minimise);
    EXPECT_TRUE(frame() == plain);
}

TEST_F(Keyboard, EscapeLeavesThePanelOrTheInstallFormAndFocusFindsItsWayBack) {
    show(L"hazir");
    while (focus() != ClickId::Settings)
        press(VK_TAB);
    press(VK_RETURN);
    ASSERT_TRUE(app.ui.settings.open);
    EXPECT_EQ(focus(), ClickId::PanelClose);  // the panel takes the focus it was opened with
    // The panel keeps Tab to itself.
    for (int i = 0; i < 20; ++i) {
        press(VK_TAB);
        EXPECT_TRUE(isPanelControl(focus())) << i;
    }
    press(VK_ESCAPE);
    EXPECT_FALSE(app.ui.settings.open);
    EXPECT_EQ(focus(), ClickId::Settings);
    EXPECT_FALSE(win.pump());  // Esc on the main screen closes nothing
    press(VK_ESCAPE);
    EXPECT_FALSE(win.pump());

    show(L"kurulum");
    press(VK_ESCAPE);
    EXPECT_TRUE(win.pump());  // the install form: Esc closes the installer
    app.ui.installForm.installing = true;
    press(VK_ESCAPE);
    EXPECT_FALSE(win.pump());  // but not while it installs
}

TEST_F(Keyboard, SpaceTogglesACheckBoxAndArrowsStepThePanelsChoices) {
    show(L"kurulum");
    while (focus() != ClickId::StartMenuShortcut)
        press(VK_TAB);
    press(VK_SPACE);
    EXPECT_FALSE(app.ui.installForm.startMenuShortcut);
    EXPECT_TRUE(app.ui.installForm.desktopShortcut);

    show(L"ayar");  // 1920 x 1080 at 120 DPI: 1920 x 1080 and 2560 x 1440 do not fit
    app.ui.window.focusId = sizeChipId(2);
    press(VK_RIGHT);
    EXPECT_EQ(focus(), sizeChipId(5));
    EXPECT_EQ(app.ui.settings.draft.windowHeight, 1017);  // "Fill screen" chosen at once
    press(VK_LEFT);
    EXPECT_EQ(focus(), sizeChipId(2));
    EXPECT_EQ(app.ui.settings.draft.windowWidth, 1600);
    press(VK_UP);
    press(VK_UP);
    press(VK_UP);  // past the row's start: stays
    EXPECT_EQ(focus(), sizeChipId(0));
    EXPECT_EQ(app.ui.settings.draft.windowWidth, 1280);

    app.ui.window.focusId = scaleChipId(2);
    press(VK_DOWN);
    EXPECT_EQ(focus(), scaleChipId(3));
    EXPECT_FLOAT_EQ(app.ui.settings.draft.interfaceScale, 1.4f);
    // Arrows do nothing to a control that is no chip.
    app.ui.window.focusId = ClickId::PanelDefault;
    press(VK_RIGHT);
    EXPECT_EQ(focus(), ClickId::PanelDefault);
    EXPECT_FLOAT_EQ(app.ui.settings.draft.interfaceScale, 1.4f);
}

}  // namespace
