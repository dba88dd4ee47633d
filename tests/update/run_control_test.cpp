#include "update/run_control.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_folder.h"
#include "tests/support/test_game.h"

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

TEST_F(RunControlTest, ASelfUpdatedLauncherIsRestartedOnceWithItsArgumentsAndTheMarker) {
    ASSERT_TRUE(installTestGame(game.path, L"Qorvane Launcher.exe"));
    options.passThroughArgs = L"foo \"a b\"";
    beginRuns(control, options);
    waitForRunEnd();
    setPhase(control.updater.status, UpdatePhase::SelfUpdated);

    StatusSnapshot status;
    EXPECT_EQ(tickRuns(control, GetTickCount(), status), RunEvent::Restarted);
    auto record = waitForGameRecord(game.path);
    EXPECT_EQ(record["komut"], L"\"" + options.launcherExePath + L"\" foo \"a b\" --guncellendi");

    // Handled once: no second start, and no update run in its place.
    EXPECT_EQ(tickRuns(control, GetTickCount(), status), RunEvent::None);
    EXPECT_EQ(status.phase, UpdatePhase::SelfUpdated);
    EXPECT_FALSE(control.updater.workerRunning);
}

TEST_F(RunControlTest, AFailedRestartCarriesOnWithANormalRunOnceTheSelfUpdatingRunHasEnded) {
    options.launcherExePath = game.file(L"yok.exe");
    beginRuns(control, options);
    waitForRunEnd();
    setPhase(control.updater.status, UpdatePhase::SelfUpdated);
    control.updater.workerRunning = true;  // the self-updating run has not returned yet

    StatusSnapshot status;
    EXPECT_EQ(tickRuns(control, GetTickCount(), status), RunEvent::None);
    EXPECT_TRUE(control.updater.config.skipSelfUpdate);  // the fresh run must not replace the executable again
    EXPECT_EQ(livePhase(), UpdatePhase::SelfUpdated);
    tickRuns(control, GetTickCount(), status);
    EXPECT_EQ(livePhase(), UpdatePhase::SelfUpdated);

    control.updater.workerRunning = false;
    tickRuns(control, GetTickCount(), status);
    EXPECT_NE(livePhase(), UpdatePhase::SelfUpdated);
    waitForRunEnd();
    EXPECT_EQ(logCount("(--guncellendi)"), 1u);  // the fallback run, marked as not self-updating
}

}  // namespace
