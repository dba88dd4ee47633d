#include "ui/window.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <dwmapi.h>

#include "tests/support/temp_folder.h"
#include "tests/support/test_game.h"
#include "ui/actions.h"
#include "ui/text_table.h"
#include "update/updater.h"
#include "update/worker.h"

namespace {

// A plain top-level window stands in for the launcher's, so that the window procedure and the
// actions run against a real HWND (capture, title, posted messages) without the artwork.
struct TestWindow {
    TestWindow() {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QvWindowTest";
        RegisterClassExW(&wc);  // already registered by an earlier test: fine
        window = CreateWindowExW(0, L"QvWindowTest", L"", WS_POPUP, 100, 80, 960, 560, nullptr, nullptr,
                                 wc.hInstance, nullptr);
    }
    ~TestWindow() { DestroyWindow(window); }
    bool closePosted() {
        MSG message;
        return PeekMessageW(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE) != 0;
    }
    HWND window = nullptr;
};

// A run control that can start real runs without touching the network: nothing listens on port 1.
struct WindowFixture : ::testing::Test {
    void SetUp() override {
        ASSERT_NE(win.window, nullptr);
        ui.window.handle = win.window;
        runs.options.launcherFolder = game.path;
        runs.options.launcherExePath = game.file(L"Qorvane Launcher.exe");
        runs.updater.config.rootFolder = game.path;
        runs.updater.config.server.host = L"127.0.0.1";
        runs.updater.config.server.port = 1;
        runs.updater.config.server.useHttps = false;
        HitRegions& regions = ui.window.hitRegions;
        addHitRegion(regions, ClickId::DesktopShortcut, 40, 336, 100, 22, true);
        addHitRegion(regions, ClickId::StartMenuShortcut, 180, 336, 100, 22, true);
        addHitRegion(regions, ClickId::Settings, 618, 438, 62, 64, true);
        addHitRegion(regions, ClickId::Primary, 690, 438, 230, 64, false);  // disabled
        savedLanguage = uiLanguage;
    }
    void TearDown() override {
        endRuns(runs, 10000);
        uiLanguage = savedLanguage;
    }
    LRESULT send(UINT message, WPARAM wParam, int x, int y) {
        return windowProc(ui, message, wParam, MAKELPARAM(x, y));
    }
    UpdatePhase livePhase() { return copyStatus(runs.updater.status).phase; }
    void waitForRunEnd() {
        for (int i = 0; i < 750 && runs.updater.workerRunning; ++i)
            Sleep(20);
    }

    TempFolder game;
    TestWindow win;
    RunControl runs;
    LauncherUi ui{runs};
    UiLanguage savedLanguage = UiLanguage::Turkish;
};

TEST_F(WindowFixture, AClickNeedsPressAndReleaseOnTheSameClickableRegion) {
    // Released on another clickable region: nothing.
    send(WM_LBUTTONDOWN, MK_LBUTTON, 50, 340);
    EXPECT_EQ(ui.window.pressedId, ClickId::DesktopShortcut);
    EXPECT_EQ(GetCapture(), win.window);
    send(WM_LBUTTONUP, 0, 200, 340);
    EXPECT_EQ(ui.window.pressedId, ClickId::None);
    EXPECT_NE(GetCapture(), win.window);
    EXPECT_TRUE(ui.installForm.desktopShortcut);
    EXPECT_TRUE(ui.installForm.startMenuShortcut);

    // Dragged off the window and released there: nothing.
    send(WM_LBUTTONDOWN, MK_LBUTTON, 50, 340);
    send(WM_LBUTTONUP, 0, -40, 340);
    EXPECT_TRUE(ui.installForm.desktopShortcut);

    // A press on a disabled control or on the background starts nothing.
    send(WM_LBUTTONDOWN, MK_LBUTTON, 700, 450);
    EXPECT_EQ(ui.window.pressedId, ClickId::None);
    send(WM_LBUTTONUP, 0, 700, 450);
    send(WM_LBUTTONDOWN, MK_LBUTTON, 400, 100);
    EXPECT_EQ(ui.window.pressedId, ClickId::None);

    // A release without a press (the press went to another window) is no click either.
    send(WM_LBUTTONUP, 0, 50, 340);
    EXPECT_TRUE(ui.installForm.desktopShortcut);

    send(WM_LBUTTONDOWN, MK_LBUTTON, 50, 340);
    send(WM_LBUTTONUP, 0, 60, 345);
    EXPECT_FALSE(ui.installForm.desktopShortcut);
    EXPECT_TRUE(ui.installForm.startMenuShortcut);
}

TEST_F(WindowFixture, ControlsAreClientAreaAndEverythingElseDragsTheWindow) {
    auto ncHit = [&](int x, int y) {
        POINT p{x, y};
        ClientToScreen(win.window, &p);
        return windowProc(ui, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    };
    EXPECT_EQ(ncHit(50, 340), HTCLIENT);
    EXPECT_EQ(ncHit(700, 450), HTCLIENT);  // disabled: neither drags nor clicks
    EXPECT_EQ(ncHit(400, 100), HTCAPTION);
    EXPECT_EQ(windowProc(ui, WM_NCLBUTTONDBLCLK, HTCAPTION, 0), 0);
    EXPECT_FALSE(IsZoomed(win.window));

    send(WM_MOUSEMOVE, 0, 700, 450);  // hover reports any region, clickable or not
    EXPECT_EQ(ui.window.hoverId, ClickId::Primary);
    EXPECT_TRUE(ui.window.trackingMouse);
    send(WM_MOUSEMOVE, 0, 400, 100);
    EXPECT_EQ(ui.window.hoverId, ClickId::None);
    send(WM_MOUSEMOVE, 0, 50, 340);
    send(WM_MOUSELEAVE, 0, 0, 0);
    EXPECT_EQ(ui.window.hoverId, ClickId::None);
    EXPECT_FALSE(ui.window.trackingMouse);
}

TEST_F(WindowFixture, EnterFollowsThePrimaryButtonAndEscClosesThePanel) {
    // Connecting: the button is disabled, Enter does nothing.
    ui.status.phase = UpdatePhase::Connecting;
    send(WM_KEYDOWN, VK_RETURN, 0, 0);
    EXPECT_EQ(livePhase(), UpdatePhase::Idle);

    // An error offers a retry, but not while the settings panel has the keyboard.
    ui.status.phase = UpdatePhase::Error;
    ui.status.errorCode = ErrorKind::ListRejected;
    ui.settings.open = true;
    send(WM_KEYDOWN, VK_RETURN, 0, 0);
    EXPECT_EQ(livePhase(), UpdatePhase::Idle);
    send(WM_KEYDOWN, 'A', 0, 0);
    EXPECT_TRUE(ui.settings.open);
    send(WM_KEYDOWN, VK_ESCAPE, 0, 0);
    EXPECT_FALSE(ui.settings.open);

    send(WM_KEYDOWN, VK_RETURN, 0, 0);
    EXPECT_NE(livePhase(), UpdatePhase::Idle);
}

TEST_F(WindowFixture, EnterInTheReadyStateStartsTheGameAndClosesTheLauncher) {
    ASSERT_TRUE(installTestGame(game.path));
    ui.status.phase = UpdatePhase::Ready;
    send(WM_KEYDOWN, VK_RETURN, 0, 0);
    auto record = waitForGameRecord(game.path);
    ASSERT_TRUE(record.count("komut"));
    EXPECT_EQ(record["komut"].rfind(L"\"" + game.path + L"\\Qorvane.exe\" --qorvane-belge ", 0), 0u);
    EXPECT_TRUE(win.closePosted());
}

TEST_F(WindowFixture, PanelAndFormClicksChangeOnlyTheirOwnState) {
    ui.settings.open = true;
    onClick(ui, ClickId::PanelBackdrop);  // the backdrop is never an action
    EXPECT_TRUE(ui.settings.open);
    onClick(ui, ClickId::PanelClose);
    EXPECT_FALSE(ui.settings.open);
    ui.settings.open = true;
    onClick(ui, ClickId::PanelCancel);
    EXPECT_FALSE(ui.settings.open);

    onClick(ui, ClickId::DesktopShortcut);
    onClick(ui, ClickId::StartMenuShortcut);
    onClick(ui, ClickId::StartMenuShortcut);
    EXPECT_FALSE(ui.installForm.desktopShortcut);
    EXPECT_TRUE(ui.installForm.startMenuShortcut);

    onClick(ui, static_cast<ClickId>(99));
    EXPECT_EQ(livePhase(), UpdatePhase::Idle);
    EXPECT_FALSE(win.closePosted());
    onClick(ui, ClickId::Close);
    EXPECT_TRUE(win.closePosted());
}

TEST_F(WindowFixture, LanguageToggleRenamesTheWindowAndTellsTheInstalledGame) {
    uiLanguage = UiLanguage::Turkish;
    onClick(ui, ClickId::Language);
    EXPECT_EQ(uiLanguage, UiLanguage::English);
    wchar_t title[256] = {};
    GetWindowTextW(win.window, title, 256);
    EXPECT_STREQ(title, textsFor(UiLanguage::English)[TextId::Title]);
    EXPECT_EQ(game.read(L"pack\\dil.cfg").substr(0, 2), "en");
    onClick(ui, ClickId::Language);
    EXPECT_EQ(uiLanguage, UiLanguage::Turkish);
    EXPECT_EQ(game.read(L"pack\\dil.cfg").substr(0, 2), "tr");

    // The install screen has no game whose language could follow.
    TempFolder other;
    runs.options.launcherFolder = other.path;
    runs.options.installMode = true;
    onClick(ui, ClickId::Language);
    EXPECT_EQ(uiLanguage, UiLanguage::English);
    EXPECT_FALSE(other.exists(L"pack\\dil.cfg"));
}

TEST_F(WindowFixture, RepairAndRetryStartRunsOnlyWhenAllowed) {
    ui.status.phase = UpdatePhase::Connecting;
    onClick(ui, ClickId::Primary);  // disabled phase: nothing
    EXPECT_EQ(livePhase(), UpdatePhase::Idle);
    ui.status.phase = UpdatePhase::Error;
    onClick(ui, ClickId::Primary);
    EXPECT_NE(livePhase(), UpdatePhase::Idle);
    waitForRunEnd();

    // Repair starts a run from any state the engine is idle in.
    reportError(runs.updater.status, runs.updater.log, StepResult{StepOutcome::Failed, 0, 0, L""});
    onClick(ui, ClickId::Repair);
    EXPECT_NE(livePhase(), UpdatePhase::Error);
}

TEST_F(WindowFixture, TimerCopiesTheStatusExpiresTheNoticeAndRefreshesFreeSpace) {
    const uint32_t now = GetTickCount();
    reportError(runs.updater.status, runs.updater.log, StepResult{StepOutcome::Locked, 0, 0, L"pack/root.epk"});
    onTimer(ui);
    EXPECT_EQ(ui.status.phase, UpdatePhase::Error);  // the copy is taken every tick
    EXPECT_EQ(ui.status.detailText, L"pack/root.epk");
    EXPECT_EQ(ui.status.host, L"127.0.0.1");

    struct Case {
        uint32_t age;
        bool isError;
        bool cleared;
        bool panelOpen;
    } cases[] = {
        {1000, false, false, true},
        {1600, false, true, false},  // a success notice closes the panel with it
        {1600, true, false, true},
        {5200, true, true, true},  // an error notice leaves the panel open
    };
    for (const Case& c : cases) {
        ui.settings.open = true;
        ui.settings.noticeAt = now - c.age;
        ui.settings.noticeIsError = c.isError;
        onTimer(ui);
        EXPECT_EQ(ui.settings.noticeAt == 0, c.cleared) << c.age << " " << c.isError;
        EXPECT_EQ(ui.settings.open, c.panelOpen) << c.age << " " << c.isError;
    }

    runs.options.installMode = true;
    ui.installForm.folder = game.path;
    ui.installForm.freeBytes = 0;
    ui.installForm.freeBytesCheckedAt = now - 1000;
    onTimer(ui);
    EXPECT_EQ(ui.installForm.freeBytes, 0u);
    ui.installForm.freeBytesCheckedAt = now - 3500;
    onTimer(ui);
    EXPECT_GT(ui.installForm.freeBytes, 0u);
    EXPECT_LT(ui.installForm.freeBytesCheckedAt - now, 60000u);  // stamped with the tick of the refresh

    // Nothing at all once the window is closing.
    ui.window.closing = true;
    ui.status = StatusSnapshot{};
    onTimer(ui);
    EXPECT_EQ(ui.status.phase, UpdatePhase::Idle);
}

TEST_F(WindowFixture, TheTimerClosesTheWindowWhenTheSelfUpdatedLauncherHasStarted) {
    ASSERT_TRUE(installTestGame(game.path, L"Qorvane Launcher.exe"));
    // The stand-in answers the start signal, as a launcher whose window and first run are up.
    SetEnvironmentVariableW(L"QORVANE_TEST_BASLANGIC", L"isaret");
    setPhase(runs.updater.status, UpdatePhase::SelfUpdated);
    onTimer(ui);
    bool closed = false;
    for (int i = 0; i < 500 && !closed; ++i) {
        Sleep(20);
        onTimer(ui);
        closed = win.closePosted();
    }
    SetEnvironmentVariableW(L"QORVANE_TEST_BASLANGIC", nullptr);
    EXPECT_TRUE(closed) << "no close after the new launcher's sign of life";
    EXPECT_EQ(waitForGameRecord(game.path)["komut"],
              L"\"" + runs.options.launcherExePath + L"\" --guncellendi");
    onTimer(ui);  // handled once
    EXPECT_FALSE(win.closePosted());

    windowProc(ui, WM_CLOSE, 0, 0);
    EXPECT_TRUE(ui.window.closing);
    EXPECT_FALSE(IsWindow(win.window));
}

}  // namespace

namespace {

bool regionHas(HWND window, int x, int y) {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    const bool inside = GetWindowRgn(window, region) != ERROR && PtInRegion(region, x, y);
    DeleteObject(region);
    return inside;
}

TEST(WindowShape, TheRegionFallbackCutsScaledCornersAndKeepsTheEdges) {
    TestWindow win;
    WindowState state;
    state.handle = win.window;
    state.uiScale = 1.5f;  // corner diameter 27
    applyRoundedRegion(state);
    EXPECT_FALSE(regionHas(win.window, 1, 1));
    EXPECT_FALSE(regionHas(win.window, 958, 558));
    EXPECT_FALSE(regionHas(win.window, 3, 2));
    EXPECT_TRUE(regionHas(win.window, 14, 0));  // past the corner arc, the top edge is kept
    EXPECT_TRUE(regionHas(win.window, 0, 280));
    EXPECT_TRUE(regionHas(win.window, 959, 280));  // the last column and row are inside
    EXPECT_TRUE(regionHas(win.window, 480, 559));
}

TEST(WindowShape, EitherTheSystemRoundsTheCornersOrTheWindowGetsARegion) {
    TestWindow win;
    WindowState state;
    state.handle = win.window;
    applyWindowShape(state);
    const DWORD round = 2;
    const bool systemRounds = SUCCEEDED(DwmSetWindowAttribute(win.window, 33, &round, sizeof(round)));
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    const int kind = GetWindowRgn(win.window, region);
    DeleteObject(region);
    // Wine accepts the corner attribute without rounding anything, so it takes the first road.
    if (systemRounds) {
        EXPECT_EQ(kind, ERROR);  // no region: it would clip the system's own rounding
    } else {
        EXPECT_NE(kind, ERROR);
        EXPECT_FALSE(regionHas(win.window, 0, 0));
    }
}

}  // namespace
