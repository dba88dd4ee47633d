// The status and its operations: what a new run keeps, the speed sampler, progress, the error
// report with the step's own system error, and the window's copy that skips unchanged news.
#include "update/live_status.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"
#include "update/update_log.h"
#include "update/updater.h"

namespace {

TEST(Status, ResetForRunKeepsOnlyVersionSizeAndNews) {
    LiveStatus status;
    UpdateLog log;  // not enabled: the error report writes no line
    publishList(status, 42, 1234);
    beginStage(status, UpdatePhase::Downloading, 4, 99, GetTickCount() - 10000);
    setCurrentFile(status, L"x", 3);
    reportProgress(status, 50);
    setFilesUpdated(status, 2);
    reportError(status, log, StepResult{StepOutcome::Unavailable});
    publishNews(status, 0, {{L"14.10", L"tr"}});
    publishNews(status, 1, {{L"14.10", L"en"}, {L"", L"two"}});
    StatusSnapshot before = copyStatus(status);
    ASSERT_EQ(before.errorCode, ErrorKind::Connection);
    ASSERT_GT(before.bytesPerSecond, 0);
    ASSERT_TRUE(before.listVerified);
    beginRunStatus(status);
    const StatusSnapshot s = copyStatus(status);
    EXPECT_EQ(s.phase, UpdatePhase::Connecting);
    EXPECT_EQ(s.errorCode, ErrorKind::None);
    EXPECT_TRUE(s.detailText.empty());
    EXPECT_EQ(s.filesDone, 0);
    EXPECT_EQ(s.bytesTotal, 0u);
    EXPECT_EQ(s.bytesDone, 0u);
    EXPECT_EQ(s.bytesPerSecond, 0);
    EXPECT_EQ(s.filesUpdated, 0);
    EXPECT_FALSE(s.listVerified);
    EXPECT_EQ(s.errorTick, 0u);
    EXPECT_EQ(s.manifestVersion, 42u);
    EXPECT_EQ(s.requiredBytes, 1234u);
    EXPECT_EQ(s.newsRevision, 2u);
    ASSERT_EQ(s.news[1].size(), 2u);
    EXPECT_EQ(s.news[0][0].title, L"tr");
    EXPECT_EQ(s.news[1][1].title, L"two");
}

TEST(Status, SetPhaseClearsTheErrorAndCopyIsDeep) {
    LiveStatus status;
    UpdateLog log;
    reportError(status, log, StepResult{StepOutcome::Locked});
    publishNews(status, 0, {{L"1", L"a"}});
    StatusSnapshot copy = copyStatus(status);
    setPhase(status, UpdatePhase::Scanning);
    EXPECT_EQ(copyStatus(status).phase, UpdatePhase::Scanning);
    EXPECT_EQ(copyStatus(status).errorCode, ErrorKind::None);
    EXPECT_EQ(copy.phase, UpdatePhase::Error);
    EXPECT_EQ(copy.errorCode, ErrorKind::FileLocked);
    copy.news[0][0].title = L"changed";
    EXPECT_EQ(copyStatus(status).news[0][0].title, L"a");
}

TEST(Status, SpeedSamplingSequence) {
    SpeedSample sample{1000, 0};
    double speed = 0;
    sampleSpeed(sample, speed, 100000, 1400);  // under 500 ms: nothing changes
    EXPECT_EQ(speed, 0);
    EXPECT_EQ(sample.tick, 1000u);
    sampleSpeed(sample, speed, 500000, 1500);  // first sample takes the raw rate
    EXPECT_DOUBLE_EQ(speed, 1000000.0);
    EXPECT_EQ(sample.bytes, 500000u);
    sampleSpeed(sample, speed, 1500000, 2000);  // then 0.6 old + 0.4 new
    EXPECT_DOUBLE_EQ(speed, 1000000.0 * 0.6 + 2000000.0 * 0.4);
    sampleSpeed(sample, speed, 200, 2100);  // a smaller count restarts the sample, speed unchanged
    EXPECT_DOUBLE_EQ(speed, 1400000.0);
    EXPECT_EQ(sample.bytes, 200u);
    EXPECT_EQ(sample.tick, 2100u);
    // The tick counter wraps: differences are unsigned 32-bit.
    sample = SpeedSample{0xFFFFFF00u, 200};
    sampleSpeed(sample, speed, 200 + 600000, 0x00000200u);  // 768 ms later
    EXPECT_NEAR(speed, 1400000.0 * 0.6 + 600000.0 * 1000 / 768 * 0.4, 1e-6);
}

TEST(Status, ProgressSamplesSpeedOnlyWhileDownloading) {
    LiveStatus status;
    beginStage(status, UpdatePhase::Scanning, 1, 500000, GetTickCount() - 10000);
    reportProgress(status, 123456);
    EXPECT_EQ(copyStatus(status).bytesDone, 123456u);
    EXPECT_EQ(copyStatus(status).bytesPerSecond, 0);
    beginStage(status, UpdatePhase::Downloading, 1, 500000, GetTickCount() - 10000);
    std::atomic<uint64_t> shared{223456};
    reportProgress(status, shared);
    EXPECT_EQ(copyStatus(status).bytesDone, 223456u);
    EXPECT_GT(copyStatus(status).bytesPerSecond, 0);
}

TEST(Status, StagesStartFromZeroAndTheRunEndsWithEveryByteCounted) {
    Updater u;
    beginStage(u.status, UpdatePhase::Downloading, 4, 1000);
    setCurrentFile(u.status, L"a.bin", 1);
    reportProgress(u.status, 700);
    setFilesUpdated(u.status, 3);
    setCurrentFile(u.status, L"", 2);  // no file of its own: the shown one stays
    StatusSnapshot s = copyStatus(u.status);
    EXPECT_EQ(s.detailText, L"a.bin");
    EXPECT_EQ(s.filesDone, 2);
    EXPECT_EQ(s.filesUpdated, 3);
    beginStage(u.status, UpdatePhase::Scanning, 9, 90);
    s = copyStatus(u.status);
    EXPECT_EQ(s.phase, UpdatePhase::Scanning);
    EXPECT_EQ(s.filesTotal, 9);
    EXPECT_EQ(s.bytesTotal, 90u);
    EXPECT_EQ(s.filesDone, 0);
    EXPECT_EQ(s.bytesDone, 0u);
    EXPECT_EQ(s.filesUpdated, 0);
    reportProgress(u.status, 30);
    finishRun(u.status);
    s = copyStatus(u.status);
    EXPECT_EQ(s.phase, UpdatePhase::Ready);
    EXPECT_EQ(s.bytesDone, 90u);
}

TEST(Status, ReportErrorLogsTheStepsOwnSystemError) {
    TempFolder t;
    Updater u;
    setLogFolder(u.log, t.path);
    u.log.enabled = true;
    // Whatever the thread's last error is by then, the line names the failed call's error.
    SetLastError(ERROR_INVALID_PARAMETER);
    reportError(u.status, u.log, StepResult{StepOutcome::WriteFailed, ERROR_ACCESS_DENIED, 0, L"pack/ü.epk"});
    StatusSnapshot s = copyStatus(u.status);
    EXPECT_EQ(s.phase, UpdatePhase::Error);
    EXPECT_EQ(s.errorCode, ErrorKind::FileWrite);
    EXPECT_EQ(s.detailText, L"pack/ü.epk");
    EXPECT_NE(s.errorTick, 0u);
    std::string log = t.read(L"koruma\\launcher_gunluk.txt");
    EXPECT_NE(log.find("HATA 3 pack/\xC3\xBC.epk (son sistem hatasi 5)\r\n"), std::string::npos) << log;

    reportError(u.status, u.log, StepResult{StepOutcome::Unavailable, 12029});
    log = t.read(L"koruma\\launcher_gunluk.txt");
    EXPECT_NE(log.find("HATA 1  (son sistem hatasi 12029)\r\n"), std::string::npos) << log;
}

TEST(Status, EveryStepOutcomeMapsToTheKindTheWindowShows) {
    const std::pair<StepOutcome, ErrorKind> table[] = {
        {StepOutcome::Done, ErrorKind::None},
        {StepOutcome::Unchanged, ErrorKind::None},
        {StepOutcome::Stopped, ErrorKind::None},
        {StepOutcome::Unavailable, ErrorKind::Connection},
        {StepOutcome::Rejected, ErrorKind::ListRejected},
        {StepOutcome::WriteFailed, ErrorKind::FileWrite},
        {StepOutcome::Locked, ErrorKind::FileLocked},
        {StepOutcome::DiskFull, ErrorKind::DiskFull},
        {StepOutcome::Mismatch, ErrorKind::DownloadFailed},
        {StepOutcome::RangeIgnored, ErrorKind::DownloadFailed},
        {StepOutcome::Failed, ErrorKind::DownloadFailed},
    };
    for (const auto& [outcome, kind] : table)
        EXPECT_EQ(errorKindOf(outcome), kind) << static_cast<int>(outcome);
    EXPECT_EQ(fileFailure(ERROR_DISK_FULL).outcome, StepOutcome::DiskFull);
    EXPECT_EQ(fileFailure(ERROR_HANDLE_DISK_FULL).outcome, StepOutcome::DiskFull);
    EXPECT_EQ(fileFailure(ERROR_ACCESS_DENIED, L"x").outcome, StepOutcome::WriteFailed);
    EXPECT_EQ(fileFailure(ERROR_ACCESS_DENIED, L"x").path, L"x");
}

TEST(Status, WindowCopyTakesTheNewsOnlyWhenTheyChanged) {
    Updater u;
    u.config.server.host = L"indir.example";
    publishNews(u.status, 0, {{L"1", L"bir"}});
    StatusSnapshot view;
    refreshStatus(u, view);
    ASSERT_EQ(view.news[0].size(), 1u);
    EXPECT_EQ(view.host, L"indir.example");
    EXPECT_FALSE(view.runActive);

    // Unchanged news are not copied again: the view keeps its own vectors, and the engine its own.
    view.news[0][0].title = L"the view's own";
    setPhase(u.status, UpdatePhase::Scanning);
    u.workerRunning = true;
    refreshStatus(u, view);
    EXPECT_EQ(view.phase, UpdatePhase::Scanning);
    EXPECT_TRUE(view.runActive);
    EXPECT_EQ(view.news[0][0].title, L"the view's own");
    EXPECT_EQ(copyStatus(u.status).news[0][0].title, L"bir");

    // A publication, even of the same items, is taken over whole.
    publishNews(u.status, 1, {{L"2", L"two"}});
    refreshStatus(u, view);
    EXPECT_EQ(view.news[0][0].title, L"bir");
    ASSERT_EQ(view.news[1].size(), 1u);
    EXPECT_EQ(view.newsRevision, copyStatus(u.status).newsRevision);
    u.workerRunning = false;
}

}  // namespace
