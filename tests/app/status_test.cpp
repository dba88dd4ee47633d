#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"
#include "update/updater.h"

namespace {

TEST(Status, ResetForRunKeepsOnlyVersionSizeAndNews) {
    Updater u;
    u.status.phase = UpdatePhase::Error;
    u.status.errorCode = ErrorKind::Connection;
    u.status.detailText = L"x";
    u.status.filesDone = 3;
    u.status.bytesTotal = 99;
    u.status.bytesPerSecond = 5;
    u.status.manifestVersion = 42;
    u.status.requiredBytes = 1234;
    u.status.filesUpdated = 2;
    u.status.listVerified = true;
    u.status.errorTick = 77;
    u.status.news[0] = {{L"14.10", L"tr"}};
    u.status.news[1] = {{L"14.10", L"en"}, {L"", L"two"}};
    resetStatusForRun(u);
    const StatusSnapshot& s = u.status;
    EXPECT_EQ(s.phase, UpdatePhase::Connecting);
    EXPECT_EQ(s.errorCode, ErrorKind::None);
    EXPECT_TRUE(s.detailText.empty());
    EXPECT_EQ(s.filesDone, 0);
    EXPECT_EQ(s.bytesTotal, 0u);
    EXPECT_EQ(s.bytesPerSecond, 0);
    EXPECT_EQ(s.filesUpdated, 0);
    EXPECT_FALSE(s.listVerified);
    EXPECT_EQ(s.errorTick, 0u);
    EXPECT_EQ(s.manifestVersion, 42u);
    EXPECT_EQ(s.requiredBytes, 1234u);
    ASSERT_EQ(s.news[1].size(), 2u);
    EXPECT_EQ(s.news[0][0].title, L"tr");
    EXPECT_EQ(s.news[1][1].title, L"two");
}

TEST(Status, SetPhaseClearsTheErrorAndCopyIsDeep) {
    Updater u;
    u.status.phase = UpdatePhase::Error;
    u.status.errorCode = ErrorKind::FileLocked;
    u.status.news[0] = {{L"1", L"a"}};
    StatusSnapshot copy = copyStatus(u);
    setPhase(u, UpdatePhase::Scanning);
    EXPECT_EQ(u.status.phase, UpdatePhase::Scanning);
    EXPECT_EQ(u.status.errorCode, ErrorKind::None);
    EXPECT_EQ(copy.phase, UpdatePhase::Error);
    u.status.news[0][0].title = L"changed";
    EXPECT_EQ(copy.news[0][0].title, L"a");
}

TEST(Status, SpeedSamplingSequence) {
    Updater u;
    u.status.phase = UpdatePhase::Downloading;
    u.lastSampleTick = 1000;
    u.lastSampleBytes = 0;
    sampleSpeedLocked(u, 100000, 1400);  // under 500 ms: nothing changes
    EXPECT_EQ(u.status.bytesPerSecond, 0);
    EXPECT_EQ(u.lastSampleTick, 1000u);
    sampleSpeedLocked(u, 500000, 1500);  // first sample takes the raw rate
    EXPECT_DOUBLE_EQ(u.status.bytesPerSecond, 1000000.0);
    EXPECT_EQ(u.lastSampleBytes, 500000u);
    sampleSpeedLocked(u, 1500000, 2000);  // then 0.6 old + 0.4 new
    EXPECT_DOUBLE_EQ(u.status.bytesPerSecond, 1000000.0 * 0.6 + 2000000.0 * 0.4);
    sampleSpeedLocked(u, 200, 2100);  // a smaller count restarts the sample, speed unchanged
    EXPECT_DOUBLE_EQ(u.status.bytesPerSecond, 1400000.0);
    EXPECT_EQ(u.lastSampleBytes, 200u);
    EXPECT_EQ(u.lastSampleTick, 2100u);
    // The tick counter wraps: differences are unsigned 32-bit.
    u.lastSampleTick = 0xFFFFFF00u;
    u.lastSampleBytes = 200;
    sampleSpeedLocked(u, 200 + 600000, 0x00000200u);  // 768 ms later
    EXPECT_NEAR(u.status.bytesPerSecond, 1400000.0 * 0.6 + 600000.0 * 1000 / 768 * 0.4, 1e-6);
}

TEST(Status, ProgressSamplesSpeedOnlyWhileDownloading) {
    Updater u;
    u.status.phase = UpdatePhase::Scanning;
    u.lastSampleTick = GetTickCount() - 10000;
    reportProgress(u, 123456);
    EXPECT_EQ(u.status.bytesDone, 123456u);
    EXPECT_EQ(u.status.bytesPerSecond, 0);
    u.status.phase = UpdatePhase::Downloading;
    reportProgress(u, 223456);
    EXPECT_GT(u.status.bytesPerSecond, 0);
}

TEST(Status, ReportErrorSetsErrorStateAndLogsTheLine) {
    TempFolder t;
    Updater u;
    u.rootFolder = t.path;
    u.logEnabled = true;
    SetLastError(5);
    reportError(u, ErrorKind::FileWrite, L"pack/ü.epk");
    EXPECT_EQ(u.status.phase, UpdatePhase::Error);
    EXPECT_EQ(u.status.errorCode, ErrorKind::FileWrite);
    EXPECT_EQ(u.status.detailText, L"pack/ü.epk");
    EXPECT_NE(u.status.errorTick, 0u);
    std::string log = t.read(L"koruma\\launcher_gunluk.txt");
    EXPECT_NE(log.find("HATA 3 pack/\xC3\xBC.epk (son sistem hatasi 5)\r\n"), std::string::npos) << log;

    reportError(u, ErrorKind::Connection, L"");
    log = t.read(L"koruma\\launcher_gunluk.txt");
    EXPECT_NE(log.find("HATA 1  (son sistem hatasi"), std::string::npos);
}

}  // namespace
