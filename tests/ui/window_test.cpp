#include <gtest/gtest.h>

#include <windows.h>
#include <dwmapi.h>

#include "app/launcher_app.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_game.h"
#include "ui/actions.h"
#include "ui/text_table.h"
#include "ui/window.h"
#include "base/text.h"
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

// An updater that can start real runs without touching the network: nothing listens on port 1.
struct AppFixture : ::testing::Test {
    void SetUp() override {
        ASSERT_NE(win.window, nullptr);
        app.window = win.window;
        app.launcherFolder = game.path;
        app.launcherExePath = game.file(L"Qorvane Launcher.exe");
        app.updater.rootFolder = game.path;
        app.updater.config.host = L"127.0.0.1";
        app.updater.config.port = 1;
        app.updater.config.useHttps = false;
        app.hitRegions = {
            {9, 40, 336, 100, 22, true},    // desktop shortcut box
            {10, 180, 336, 100, 22, true},  // start menu box
            {11, 618, 438, 62, 64, true},   // settings button
            {6, 690, 438, 230, 64, false},  // primary button, disabled
        };
        savedLanguage = uiLanguage;
    }
    void TearDown() override {
        stopRun(app.updater, 10000);
        uiLanguage = savedLanguage;
    }
    LRESULT send(UINT message, WPARAM wParam, int x, int y) {
        return windowProc(app, message, wParam, MAKELPARAM(x, y));
    }
    void setLiveStatus(UpdatePhase phase, ErrorKind errorCode, uint32_t errorTick) {
        std::lock_guard<std::mutex> lock(app.updater.statusMutex);
        app.updater.status.phase = phase;
        app.updater.status.errorCode = errorCode;
        app.updater.status.errorTick = errorTick;
    }
    UpdatePhase livePhase() { return copyStatus(app.updater).phase; }

    TempFolder game;
    TestWindow win;
    LauncherApp app;
    int savedLanguage = 0;
};

TEST(HitTest, TheLastRegionAddedWinsAndEdgesFollowTheScale) {
    LauncherApp app;
    app.hitRegions = {
        {6, 690, 438, 230, 64, true},
        {12, 0, 0, 960, 560, false},  // a backdrop over everything
        {13, 700, 450, 20, 20, true},
    };
    struct Case {
        float scale;
        int x, y;
        int id;
        bool clickable;
    } cases[] = {
        {1.0f, 705, 455, 13, true},    // on top of both others
        {1.0f, 800, 470, 12, false},   // the backdrop hides the button below it
        {1.0f, 719, 469, 13, true},    // last pixel inside: x < x + width
        {1.0f, 720, 455, 12, false},   // first pixel outside
        {1.0f, 959, 559, 12, false},   //
        {1.0f, 960, 200, 0, false},    // beyond the canvas
        {1.5f, 1050, 675, 13, true},   // 700.33, 450.33 in design units
        {1.5f, 1049, 675, 12, false},  // 699.67
        {1.5f, -1, 10, 0, false},      // negative client coordinates (captured mouse outside)
    };
    for (const Case& c : cases) {
        app.uiScale = c.scale;
        bool clickable = !c.clickable;
        EXPECT_EQ(hitTest(app, c.x, c.y, &clickable), c.id) << c.scale << " " << c.x << "," << c.y;
        EXPECT_EQ(clickable, c.clickable) << c.scale << " " << c.x << "," << c.y;
    }
}

TEST_F(AppFixture, AClickNeedsPressAndReleaseOnTheSameClickableRegion) {
    // Released on another clickable region: nothing.
    send(WM_LBUTTONDOWN, MK_LBUTTON, 50, 340);
    EXPECT_EQ(app.pressedId, 9);
    EXPECT_EQ(GetCapture(), win.window);
    send(WM_LBUTTONUP, 0, 200, 340);
    EXPECT_EQ(app.pressedId, 0);
    EXPECT_NE(GetCapture(), win.window);
    EXPECT_TRUE(app.desktopShortcut);
    EXPECT_TRUE(app.startMenuShortcut);

    // Dragged off the window and released there: nothing.
    send(WM_LBUTTONDOWN, MK_LBUTTON, 50, 340);
    send(WM_LBUTTONUP, 0, -40, 340);
    EXPECT_TRUE(app.desktopShortcut);

    // A press on a disabled control or on the background starts nothing.
    send(WM_LBUTTONDOWN, MK_LBUTTON, 700, 450);
    EXPECT_EQ(app.pressedId, 0);
    send(WM_LBUTTONUP, 0, 700, 450);
    send(WM_LBUTTONDOWN, MK_LBUTTON, 400, 100);
    EXPECT_EQ(app.pressedId, 0);

    // A release without a press (the press went to another window) is no click either.
    send(WM_LBUTTONUP, 0, 50, 340);
    EXPECT_TRUE(app.desktopShortcut);

    send(WM_LBUTTONDOWN, MK_LBUTTON, 50, 340);
    send(WM_LBUTTONUP, 0, 60, 345);
    EXPECT_FALSE(app.desktopShortcut);
    EXPECT_TRUE(app.startMenuShortcut);
}

TEST_F(AppFixture, ControlsAreClientAreaAndEverythingElseDragsTheWindow) {
    auto ncHit = [&](int x, int y) {
        POINT p{x, y};
        ClientToScreen(win.window, &p);
        return windowProc(app, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    };
    EXPECT_EQ(ncHit(50, 340), HTCLIENT);
    EXPECT_EQ(ncHit(700, 450), HTCLIENT);  // disabled: neither drags nor clicks
    EXPECT_EQ(ncHit(400, 100), HTCAPTION);
    EXPECT_EQ(windowProc(app, WM_NCLBUTTONDBLCLK, HTCAPTION, 0), 0);
    EXPECT_FALSE(IsZoomed(win.window));

    send(WM_MOUSEMOVE, 0, 700, 450);  // hover reports any region, clickable or not
    EXPECT_EQ(app.hoverId, 6);
    EXPECT_TRUE(app.trackingMouse);
    send(WM_MOUSEMOVE, 0, 400, 100);
    EXPECT_EQ(app.hoverId, 0);
    send(WM_MOUSEMOVE, 0, 50, 340);
    send(WM_MOUSELEAVE, 0, 0, 0);
    EXPECT_EQ(app.hoverId, 0);
    EXPECT_FALSE(app.trackingMouse);
}

TEST_F(AppFixture, EnterFollowsThePrimaryButtonAndEscClosesThePanel) {
    // Connecting: the button is disabled, Enter does nothing.
    app.status.phase = UpdatePhase::Connecting;
    send(WM_KEYDOWN, VK_RETURN, 0, 0);
    EXPECT_EQ(livePhase(), UpdatePhase::Idle);

    // An error offers a retry, but not while the settings panel has the keyboard.
    app.status.phase = UpdatePhase::Error;
    app.status.errorCode = ErrorKind::ListRejected;
    app.settingsOpen = true;
    send(WM_KEYDOWN, VK_RETURN, 0, 0);
    EXPECT_EQ(livePhase(), UpdatePhase::Idle);
    send(WM_KEYDOWN, 'A', 0, 0);
    EXPECT_TRUE(app.settingsOpen);
    send(WM_KEYDOWN, VK_ESCAPE, 0, 0);
    EXPECT_FALSE(app.settingsOpen);

    send(WM_KEYDOWN, VK_RETURN, 0, 0);
    EXPECT_NE(livePhase(), UpdatePhase::Idle);
}

TEST_F(AppFixture, EnterInTheReadyStateStartsTheGameAndClosesTheLauncher) {
    ASSERT_TRUE(installTestGame(game.path));
    app.status.phase = UpdatePhase::Ready;
    send(WM_KEYDOWN, VK_RETURN, 0, 0);
    auto record = waitForGameRecord(game.path);
    ASSERT_TRUE(record.count("komut"));
    EXPECT_EQ(record["komut"].rfind(L"\"" + game.path + L"\\Qorvane.exe\" --qorvane-belge ", 0), 0u);
    EXPECT_TRUE(win.closePosted());
}

TEST_F(AppFixture, PanelAndFormClicksChangeOnlyTheirOwnState) {
    app.settingsOpen = true;
    onClick(app, 12);  // the backdrop is never an action
    EXPECT_TRUE(app.settingsOpen);
    onClick(app, 13);
    EXPECT_FALSE(app.settingsOpen);
    app.settingsOpen = true;
    onClick(app, 25);
    EXPECT_FALSE(app.settingsOpen);

    onClick(app, 9);
    onClick(app, 10);
    onClick(app, 10);
    EXPECT_FALSE(app.desktopShortcut);
    EXPECT_TRUE(app.startMenuShortcut);

    onClick(app, 99);
    EXPECT_EQ(livePhase(), UpdatePhase::Idle);
    EXPECT_FALSE(win.closePosted());
    onClick(app, 2);
    EXPECT_TRUE(win.closePosted());
}

TEST_F(AppFixture, LanguageToggleRenamesTheWindowAndTellsTheInstalledGame) {
    uiLanguage = Turkish;
    onClick(app, 5);
    EXPECT_EQ(uiLanguage, English);
    wchar_t title[256] = {};
    GetWindowTextW(win.window, title, 256);
    EXPECT_STREQ(title, textsFor(English)[Title]);
    EXPECT_EQ(game.read(L"pack\\dil.cfg").substr(0, 2), "en");
    onClick(app, 5);
    EXPECT_EQ(uiLanguage, Turkish);
    EXPECT_EQ(game.read(L"pack\\dil.cfg").substr(0, 2), "tr");

    // The install screen has no game whose language could follow.
    TempFolder other;
    app.launcherFolder = other.path;
    app.installMode = true;
    onClick(app, 5);
    EXPECT_EQ(uiLanguage, English);
    EXPECT_FALSE(other.exists(L"pack\\dil.cfg"));
}

TEST_F(AppFixture, RepairAndRetryStartRunsOnlyWhenAllowed) {
    app.status.phase = UpdatePhase::Connecting;
    onClick(app, 6);  // disabled phase: nothing
    EXPECT_EQ(livePhase(), UpdatePhase::Idle);
    app.status.phase = UpdatePhase::Error;
    onClick(app, 6);
    EXPECT_NE(livePhase(), UpdatePhase::Idle);
    stopRun(app.updater, 10000);

    setLiveStatus(UpdatePhase::Error, ErrorKind::DownloadFailed, 0);
    onClick(app, 3);
    EXPECT_NE(livePhase(), UpdatePhase::Error);
}

TEST_F(AppFixture, TimerRetriesAConnectionErrorAfterFiveSeconds) {
    const uint32_t now = GetTickCount();
    setLiveStatus(UpdatePhase::Error, ErrorKind::Connection, now - 3000);
    onTimer(app);
    EXPECT_EQ(app.status.phase, UpdatePhase::Error);  // the copy is taken every tick
    EXPECT_EQ(livePhase(), UpdatePhase::Error);

    setLiveStatus(UpdatePhase::Error, ErrorKind::ListRejected, now - 60000);  // other errors wait for the user
    onTimer(app);
    EXPECT_EQ(livePhase(), UpdatePhase::Error);

    setLiveStatus(UpdatePhase::Error, ErrorKind::Connection, now - 5200);
    onTimer(app);
    EXPECT_EQ(app.status.phase, UpdatePhase::Error);
    EXPECT_NE(livePhase(), UpdatePhase::Error);

    // Nothing at all once the window is closing.
    stopRun(app.updater, 10000);
    setLiveStatus(UpdatePhase::Error, ErrorKind::Connection, now - 60000);
    app.closing = true;
    app.status = StatusSnapshot{};
    onTimer(app);
    EXPECT_EQ(app.status.phase, UpdatePhase::Idle);
    EXPECT_EQ(livePhase(), UpdatePhase::Error);
}

TEST_F(AppFixture, TimerExpiresTheSettingsNoticeAndRefreshesFreeSpace) {
    const uint32_t now = GetTickCount();
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
        app.settingsOpen = true;
        app.noticeAt = now - c.age;
        app.noticeIsError = c.isError;
        onTimer(app);
        EXPECT_EQ(app.noticeAt == 0, c.cleared) << c.age << " " << c.isError;
        EXPECT_EQ(app.settingsOpen, c.panelOpen) << c.age << " " << c.isError;
    }

    app.installMode = true;
    app.installFolder = game.path;
    app.freeBytes = 0;
    app.freeBytesCheckedAt = now - 1000;
    onTimer(app);
    EXPECT_EQ(app.freeBytes, 0u);
    app.freeBytesCheckedAt = now - 3500;
    onTimer(app);
    EXPECT_GT(app.freeBytes, 0u);
    EXPECT_LT(app.freeBytesCheckedAt - now, 60000u);  // stamped with the tick of the refresh
}

TEST_F(AppFixture, SelfUpdatedLauncherIsRestartedOnceWithItsArgumentsAndTheMarker) {
    ASSERT_TRUE(installTestGame(game.path, L"Qorvane Launcher.exe"));
    app.passThroughArgs = L"foo \"a b\"";
    setLiveStatus(UpdatePhase::SelfUpdated, ErrorKind::None, 0);
    onTimer(app);
    EXPECT_TRUE(app.selfUpdateRestartHandled);
    EXPECT_TRUE(win.closePosted());
    auto record = waitForGameRecord(game.path);
    EXPECT_EQ(record["komut"], L"\"" + app.launcherExePath + L"\" foo \"a b\" --guncellendi");

    onTimer(app);  // handled once: no second start, and no update run in its place
    EXPECT_FALSE(win.closePosted());
    EXPECT_EQ(livePhase(), UpdatePhase::SelfUpdated);

    windowProc(app, WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.closing);
    EXPECT_FALSE(IsWindow(win.window));
}

TEST_F(AppFixture, FailedRestartAfterSelfUpdateCarriesOnWithANormalRun) {
    app.passThroughArgs.clear();
    app.launcherExePath = game.file(L"yok.exe");
    setLiveStatus(UpdatePhase::SelfUpdated, ErrorKind::None, 0);
    onTimer(app);
    EXPECT_TRUE(app.selfUpdateRestartHandled);
    EXPECT_FALSE(win.closePosted());
    EXPECT_TRUE(app.updater.skipSelfUpdate);  // the fresh run must not replace the executable again
    EXPECT_NE(livePhase(), UpdatePhase::SelfUpdated);
}

TEST_F(AppFixture, FallbackRunWaitsForTheSelfUpdatingRunToEnd) {
    app.launcherExePath = game.file(L"yok.exe");
    setLiveStatus(UpdatePhase::SelfUpdated, ErrorKind::None, 0);
    app.updater.workerRunning = true;  // the self-updating run has not returned yet
    onTimer(app);
    EXPECT_EQ(livePhase(), UpdatePhase::SelfUpdated);
    onTimer(app);
    EXPECT_EQ(livePhase(), UpdatePhase::SelfUpdated);
    app.updater.workerRunning = false;
    onTimer(app);
    EXPECT_NE(livePhase(), UpdatePhase::SelfUpdated);
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
    LauncherApp app;
    app.window = win.window;
    app.uiScale = 1.5f;  // corner diameter 27
    applyRoundedRegion(app);
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
    LauncherApp app;
    app.window = win.window;
    applyWindowShape(app);
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
