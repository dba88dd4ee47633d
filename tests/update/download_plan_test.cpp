// Planning and splitting of a download run, and the locked-target refusal; no server involved.
#include <gtest/gtest.h>

#include "tests/update/download_fixture.h"
#include "update/downloader.h"

namespace {

const std::string kZeroHash(64, '0');

uint64_t fileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return ~0ull;
    return (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

}  // namespace

TEST(DownloadPlan, LargestFirstStableAndFoldersCreated) {
    TempFolder t;
    Updater u;
    pointAt(u, t);
    Manifest m;
    addEntry(m, L"a.txt", 5, kZeroHash);
    addEntry(m, L"deep/er/b.txt", 10, kZeroHash);
    addEntry(m, L"c.txt", 5, kZeroHash);
    addEntry(m, L"Şehir/boş ünvan.dat", 0, kZeroHash);
    addEntry(m, L"e.txt", 10, kZeroHash);
    DownloadRun run;
    ASSERT_TRUE(planDownloadItems(u, m, allIndices(m), run));

    std::vector<std::wstring> order;
    for (const DownloadItem& item : run.items)
        order.push_back(item.entry->path);
    EXPECT_EQ(order, (std::vector<std::wstring>{L"deep/er/b.txt", L"e.txt", L"a.txt", L"c.txt",
                                                L"Şehir/boş ünvan.dat"}));
    EXPECT_EQ(run.totalBytes, 30u);
    EXPECT_EQ(run.items[0].targetPath, t.path + L"\\deep\\er\\b.txt");
    EXPECT_EQ(run.items[0].tempPath, t.path + L"\\deep\\er\\b.txt.indir");
    EXPECT_NE(GetFileAttributesW(t.file(L"deep\\er").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(t.file(L"Şehir").c_str()), INVALID_FILE_ATTRIBUTES);
    // Planning itself writes nothing but folders.
    EXPECT_TRUE(leftoverTemps(t.path).empty());
}

TEST(DownloadPlan, SplitsOnlyAboveThirtyTwoMebibytesWithSeveralConnections) {
    struct Case {
        int connections;
        uint64_t size;
        std::vector<uint64_t> ranges;  // empty: one whole-file job
    };
    const uint64_t mib16 = 16777216;
    const Case cases[] = {
        {6, 33554432, {}}, {6, 33554433, {mib16, mib16, 1}},
        {1, 33554433, {}}, {2, 3 * mib16, {mib16, mib16, mib16}},
        {16, mib16, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.connections << " connections, " << c.size << " bytes");
        TempFolder t;
        Updater u;
        pointAt(u, t);
        u.config.connectionCount = c.connections;
        Manifest m;
        addEntry(m, L"big.bin", c.size, kZeroHash);
        addEntry(m, L"small.bin", 7, kZeroHash);
        DownloadRun run;
        ASSERT_TRUE(planDownloadItems(u, m, allIndices(m), run));
        ASSERT_TRUE(queueDownloadJobs(u, run));
        const DownloadItem& big = run.items[0];
        ASSERT_EQ(big.entry->path, L"big.bin");

        std::vector<uint64_t> ranges;
        uint64_t expectedOffset = 0;
        for (const DownloadJob& job : run.jobs) {
            if (job.itemIndex != 0 || job.chunkIndex < 0) continue;
            EXPECT_EQ(job.chunkIndex, static_cast<int>(ranges.size()));
            EXPECT_EQ(job.offset, expectedOffset);
            expectedOffset += job.length;
            ranges.push_back(job.length);
        }
        EXPECT_EQ(ranges, c.ranges);
        EXPECT_EQ(big.chunkCount, static_cast<int>(c.ranges.size()));
        EXPECT_EQ(big.remainingChunks.load(), big.chunkCount);
        EXPECT_EQ(run.splitFiles, c.ranges.empty() ? 0 : 1);
        EXPECT_EQ(run.jobs.size(), (c.ranges.empty() ? 1u : c.ranges.size()) + 1u);
        // Ranges are written in place, so the split file's temp file exists at its full size up front.
        EXPECT_EQ(fileSize(big.tempPath), c.ranges.empty() ? ~0ull : c.size);
        EXPECT_EQ(fileSize(run.items[1].tempPath), ~0ull);
        deleteUncommittedTemps(u, run);
        EXPECT_TRUE(leftoverTemps(t.path).empty());
    }
}

TEST(DownloadPlan, LockedTargetEndsTheRunBeforeAnythingIsFetched) {
    TempFolder t;
    t.write(L"data/locked.pak", "old");
    t.write(L"readonly.pak", "old");
    SetFileAttributesW(t.file(L"readonly.pak").c_str(), FILE_ATTRIBUTE_READONLY);
    Updater u;
    pointAt(u, t);
    // No session: any request would fail and end in a different error than the lock.
    Manifest m;
    addEntry(m, L"huge.bin", 40000000, kZeroHash);
    addEntry(m, L"readonly.pak", 10, kZeroHash);
    addEntry(m, L"data/locked.pak", 3, kZeroHash);
    HANDLE held =
        CreateFileW(t.file(L"data\\locked.pak").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HashCache cache;
    EXPECT_FALSE(runDownloader(u, m, allIndices(m), cache));
    CloseHandle(held);

    StatusSnapshot s = copyStatus(u);
    EXPECT_EQ(s.phase, UpdatePhase::Error);
    EXPECT_EQ(s.errorCode, ErrorKind::FileLocked);
    EXPECT_EQ(s.detailText, L"data/locked.pak");
    EXPECT_TRUE(leftoverTemps(t.path).empty());
    EXPECT_EQ(t.read(L"data/locked.pak"), "old");
    std::string log = logOf(t);
    EXPECT_NE(log.find("HATA 4 data/locked.pak"), std::string::npos) << log;
    EXPECT_EQ(log.find("indirme:"), std::string::npos) << log;
}

TEST(DownloadPlan, UncreatableTempFileOfASplitFileIsAWriteError) {
    TempFolder t;
    Updater u;
    pointAt(u, t);
    Manifest m;
    addEntry(m, L"first.bin", 50000000, kZeroHash);
    addEntry(m, L"sub/second.bin", 40000000, kZeroHash);
    // A folder where the temp file belongs cannot be created as a file.
    CreateDirectoryW(t.file(L"sub").c_str(), nullptr);
    CreateDirectoryW(t.file(L"sub\\second.bin.indir").c_str(), nullptr);
    HashCache cache;
    EXPECT_FALSE(runDownloader(u, m, allIndices(m), cache));
    StatusSnapshot s = copyStatus(u);
    EXPECT_EQ(s.errorCode, ErrorKind::FileWrite);
    EXPECT_EQ(s.detailText, L"sub/second.bin");
    // The first file's preallocated temp file goes with the failed run.
    EXPECT_FALSE(t.exists(L"first.bin.indir"));
    EXPECT_EQ(logOf(t).find("indirme:"), std::string::npos);
}

TEST(DownloadStatus, DetailFollowsTheFirstActiveItemAndCountsFollowCommits) {
    Updater u;
    Manifest m;
    addEntry(m, L"one", 3, kZeroHash);
    addEntry(m, L"two", 2, kZeroHash);
    addEntry(m, L"three", 1, kZeroHash);
    DownloadRun run;
    TempFolder t;
    u.rootFolder = t.path;
    ASSERT_TRUE(planDownloadItems(u, m, allIndices(m), run));
    std::lock_guard<std::mutex> lock(u.statusMutex);
    u.status.detailText = L"before";
    refreshDownloadStatus(u, run);
    EXPECT_EQ(u.status.detailText, L"before");
    EXPECT_EQ(u.status.filesDone, 1);
    run.items[2].activeWorkers = 1;
    run.items[1].activeWorkers = 2;
    run.finished = 1;
    refreshDownloadStatus(u, run);
    EXPECT_EQ(u.status.detailText, L"two");
    EXPECT_EQ(u.status.filesDone, 2);
    EXPECT_EQ(u.status.filesUpdated, 1);
    run.items[1].activeWorkers = 0;
    run.finished = 3;
    refreshDownloadStatus(u, run);
    EXPECT_EQ(u.status.detailText, L"three");
    EXPECT_EQ(u.status.filesDone, 3);
    EXPECT_EQ(u.status.filesUpdated, 3);
}
