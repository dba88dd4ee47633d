#include "update/run_control.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_folder.h"
#include "tests/support/test_game.h"
#include "update/launcher_restart.h"

namespace {

// A run control for a game folder whose server refuses every connection (nothing listens on port
// 1), so each run ends at once with a connection error.
struct RunControlTest : ::testing::Test {
    void SetUp() override {
        SetEnvironmentVariableW(L"QORVANE_SUNUCU", L"http://127.0.0.1:1/qorvane/pc/");
        options.launcherFolder = game.path;
        options.launcherExePath = game.file(L"Qorvane Launcher.exe");
    }
    void TearDown() override {
        endRuns(control, 10000);
        SetEnvironmentVariableW(L"QORVANE_SUNUCU", nullptr);
    }
    // Waits (bounded) for the run's worker to return; tickRuns is not used, as it may start runs.
    void waitForRunEnd() {
        for (int i = 0; i < 750 && control.updater.workerRunning; ++i)
            Sleep(20);
        ASSERT_FALSE(control.updater.workerRunning) << "the run did not end";
    }
    UpdatePhase livePhase() { return copyStatus(control.updater.status).phase; }
    size_t logCount(const std::string& text) {
        const std::wstring logFile = L"koruma/launcher_gunluk.txt";
        const std::string log = game.exists(logFile) ? game.read(logFile) : "";
        size_t count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++count;
        return count;
    }

    TempFolder game;
    RunOptions options;
    RunControl control;
};

TEST_F(RunControlTest, TheFirstRunFollowsTheStartAndRequestsAreRefusedWhileARunIsActive) {
    // Install mode: a check-only run, which writes no log and never replaces the executable.
    options.installMode = true;
    beginRuns(control, options);
    waitForRunEnd();
    EXPECT_EQ(logCount("---- basla"), 0u);
    EXPECT_TRUE(control.updater.config.skipSelfUpdate);
    EXPECT_EQ(control.updater.config.rootFolder, game.path);

    // Restarted after a self-update: a quick run marked as such.
    RunControl restarted;
    options.installMode = false;
    options.afterSelfUpdate = true;
    beginRuns(restarted, options);
    for (int i = 0; i < 750 && restarted.updater.workerRunning; ++i)
        Sleep(20);
    EXPECT_EQ(logCount("---- basla: hizli tarama (--guncellendi), sunucu 127.0.0.1:1"), 1u);

    // Repair is a full scan; while a run is active nothing else starts (requests are not queued).
    restarted.updater.workerRunning = true;
    EXPECT_FALSE(requestRun(restarted, RunRequest::Repair));
    restarted.updater.workerRunning = false;
    EXPECT_TRUE(requestRun(restarted, RunRequest::Repair));
    for (int i = 0; i < 750 && restarted.updater.workerRunning; ++i)
        Sleep(20);
    EXPECT_EQ(logCount("---- basla: tam tarama (--guncellendi)"), 1u);
    EXPECT_TRUE(requestRun(restarted, RunRequest::Retry));
    endRuns(restarted, 10000);
    EXPECT_EQ(logCount("---- basla: hizli tarama"), 2u);
}

TEST_F(RunControlTest, TheSnapshotCarriesTheRunTheHostAndTheRetryDeadline) {
    beginRuns(control, options);
    StatusSnapshot status;
    tickRuns(control, GetTickCount(), status);
    EXPECT_EQ(status.host, L"127.0.0.1");  // the engine's host, from the environment
    waitForRunEnd();

    ASSERT_EQ(livePhase(), UpdatePhase::Error);
    const uint32_t errorTick = copyStatus(control.updater.status).errorTick;
    EXPECT_EQ(tickRuns(control, errorTick + 1000, status), RunEvent::None);
    EXPECT_FALSE(status.runActive);
    EXPECT_EQ(status.phase, UpdatePhase::Error);
    EXPECT_EQ(status.errorCode, ErrorKind::Connection);
    EXPECT_EQ(status.retryAt, errorTick + kConnectionRetryMs);
}

TEST_F(RunControlTest, OnlyAConnectionErrorIsRetriedAndOnlyAfterItsDelay) {
    beginRuns(control, options);
    waitForRunEnd();
    ASSERT_EQ(livePhase(), UpdatePhase::Error);
    StatusSnapshot status;
    const uint32_t errorTick = copyStatus(control.updater.status).errorTick;
    tickRuns(control, errorTick + kConnectionRetryMs - 1, status);
    EXPECT_FALSE(control.updater.workerRunning);
    EXPECT_EQ(logCount("---- basla"), 1u);

    tickRuns(control, errorTick + kConnectionRetryMs, status);
    waitForRunEnd();
    EXPECT_EQ(logCount("---- basla"), 2u);

    // Other errors wait for the user, however long ago they were reported.
    reportError(control.updater.status, control.updater.log, StepResult{StepOutcome::Rejected, 0, 0, L""});
    tickRuns(control, GetTickCount() + 60000, status);
    EXPECT_EQ(status.retryAt, 0u);
    EXPECT_FALSE(control.updater.workerRunning);
    EXPECT_EQ(livePhase(), UpdatePhase::Error);
}

// The test game stands in for the new launcher; QORVANE_TEST_BASLANGIC says how it behaves.
struct StartBehaviour {
    explicit StartBehaviour(const wchar_t* value) {
        SetEnvironmentVariableW(L"QORVANE_TEST_BASLANGIC", value);
    }
    ~StartBehaviour() { SetEnvironmentVariableW(L"QORVANE_TEST_BASLANGIC", nullptr); }
};

// Ticks at a fixed `now` until the restart settles one way or the other (the new process answers or
// ends), in real time but without letting the wait run out.
RunEvent tickUntilSettled(RunControl& control, uint32_t now, StatusSnapshot& status) {
    for (int i = 0; i < 500; ++i) {
        RunEvent event = tickRuns(control, now, status);
        if (event != RunEvent::None || !control.restart.pending()) return event;
        Sleep(20);
    }
    return RunEvent::None;
}

TEST_F(RunControlTest, ASelfUpdatedLauncherIsRestartedOnceWithItsArgumentsAndTheMarker) {
    ASSERT_TRUE(installTestGame(game.path, L"Qorvane Launcher.exe"));
    game.write(L"Qorvane Launcher.exe.eski", "the old launcher");
    options.passThroughArgs = L"foo \"a b\"";
    beginRuns(control, options);
    waitForRunEnd();
    setPhase(control.updater.status, UpdatePhase::SelfUpdated);

    StartBehaviour answers(L"isaret");
    StatusSnapshot status;
    const uint32_t start = GetTickCount();
    EXPECT_EQ(tickRuns(control, start, status), RunEvent::None) << "closed before the new one answered";
    EXPECT_EQ(tickUntilSettled(control, start + 1, status), RunEvent::Restarted);
    auto record = waitForGameRecord(game.path);
    EXPECT_EQ(record["komut"], L"\"" + options.launcherExePath + L"\" foo \"a b\" --guncellendi");
    EXPECT_EQ(game.read(L"Qorvane Launcher.exe.eski"), "the old launcher")
        << "the way back stays until Ready";

    // Handled once: no second start, and no update run in its place.
    EXPECT_EQ(tickRuns(control, start + 2, status), RunEvent::None);
    EXPECT_EQ(status.phase, UpdatePhase::SelfUpdated);
    EXPECT_FALSE(control.updater.workerRunning);
}

// A new launcher that crashes, hangs or cannot even be started never strands the player: the old one
// takes its name back, says why in the log, and carries on with a normal run that never replaces
// the executable again.
TEST_F(RunControlTest, ANewLauncherThatDoesNotStartProperlyIsReplacedByTheOldOne) {
    const struct {
        const char* what;
        const wchar_t* behaviour;  // nullptr: the new launcher is missing, so it cannot start
        const char* logged;
    } cases[] = {
        {"ends at once", L"cik", "yeni launcher isaret vermeden kapandi (cikis kodu 0); eskisi geri kondu"},
        {"never answers", L"sessiz", "yeni launcher 15 sn icinde isaret vermedi; eskisi geri kondu"},
        {"cannot be started", nullptr, "yeni launcher baslatilamadi (hata 2); eskisi geri kondu"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunControl fresh;
        DeleteFileW(game.file(L"koruma/launcher_gunluk.txt").c_str());
        if (c.behaviour) {
            ASSERT_TRUE(installTestGame(game.path, L"Qorvane Launcher.exe"));
        } else {
            DeleteFileW(options.launcherExePath.c_str());
        }
        game.write(L"Qorvane Launcher.exe.eski", "the old launcher");
        beginRuns(fresh, options);
        for (int i = 0; i < 750 && fresh.updater.workerRunning; ++i)
            Sleep(20);
        setPhase(fresh.updater.status, UpdatePhase::SelfUpdated);

        StartBehaviour behaviour(c.behaviour ? c.behaviour : L"");
        StatusSnapshot status;
        const uint32_t start = 1000;
        fresh.updater.workerRunning = true;  // the self-updating run is still finishing
        EXPECT_EQ(tickRuns(fresh, start, status), RunEvent::None);
        EXPECT_EQ(tickUntilSettled(fresh, start + 1, status), RunEvent::None);
        if (c.behaviour && std::wstring(c.behaviour) == L"sessiz") {
            // Still running and silent: the wait is measured by the tick handed in.
            EXPECT_TRUE(fresh.restart.pending());
            EXPECT_EQ(tickRuns(fresh, start + kRestartWaitMs - 1, status), RunEvent::None);
            EXPECT_TRUE(fresh.restart.pending());
            EXPECT_NE(game.read(L"Qorvane Launcher.exe"), "the old launcher");
            EXPECT_EQ(tickRuns(fresh, start + kRestartWaitMs, status), RunEvent::None);
        }
        EXPECT_FALSE(fresh.restart.pending());
        EXPECT_EQ(game.read(L"Qorvane Launcher.exe"), "the old launcher");
        EXPECT_FALSE(game.exists(L"Qorvane Launcher.exe.eski"));
        EXPECT_FALSE(game.exists(L"Qorvane Launcher.exe.yeni"));
        EXPECT_TRUE(fresh.updater.config.skipSelfUpdate);
        EXPECT_EQ(logCount(c.logged), 1u);
        // The fallback run waits while the self-updating run is still finishing, then starts.
        tickRuns(fresh, start + kRestartWaitMs + 1, status);
        EXPECT_EQ(logCount("(--guncellendi)"), 0u);
        fresh.updater.workerRunning = false;
        tickRuns(fresh, start + kRestartWaitMs + 2, status);
        for (int i = 0; i < 750 && fresh.updater.workerRunning; ++i)
            Sleep(20);
        EXPECT_EQ(logCount("(--guncellendi)"), 1u);
        endRuns(fresh, 10000);
        DeleteFileW(game.file(L"oyun_kaydi.txt").c_str());
    }
}

// ".eski" is the way back: it goes only once a run of this launcher has reached Ready, and a removal
// the old process still blocks is tried again on later ticks.
TEST_F(RunControlTest, TheOldLauncherGoesOnlyOnceARunIsReady) {
    game.write(L"Qorvane Launcher.exe", "the new launcher");
    game.write(L"Qorvane Launcher.exe.eski", "the old launcher");
    SetFileAttributesW(game.file(L"Qorvane Launcher.exe.eski").c_str(), FILE_ATTRIBUTE_READONLY);
    options.afterSelfUpdate = true;
    beginRuns(control, options);
    waitForRunEnd();
    StatusSnapshot status;
    for (UpdatePhase phase : {UpdatePhase::Connecting, UpdatePhase::Scanning, UpdatePhase::Downloading,
                              UpdatePhase::Error, UpdatePhase::ListChecked}) {
        setPhase(control.updater.status, phase);
        tickRuns(control, 1, status);
        EXPECT_TRUE(game.exists(L"Qorvane Launcher.exe.eski")) << static_cast<int>(phase);
    }
    setPhase(control.updater.status, UpdatePhase::Ready);
    HANDLE held = CreateFileW(game.file(L"Qorvane Launcher.exe.eski").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    tickRuns(control, 1, status);
    EXPECT_TRUE(game.exists(L"Qorvane Launcher.exe.eski"));
    CloseHandle(held);
    tickRuns(control, 2, status);
    EXPECT_FALSE(game.exists(L"Qorvane Launcher.exe.eski"));
    EXPECT_EQ(game.read(L"Qorvane Launcher.exe"), "the new launcher");
}

}  // namespace
