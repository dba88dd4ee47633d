// The parallel downloader: planning and splitting, the locked-target refusal, ranges and the server
// faults a download meets in practice against a real HTTP server on loopback, stops, a full disk,
// and whole runs over a published tree.
#include "update/downloader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "tests/support/dev_key.h"
#include "tests/update/download_fixture.h"
#include "tools/publisher.h"
#include "update/run_driver.h"
#include "update/worker.h"

namespace {

const std::string kZeroHash(64, '0');
const uint64_t kMib16 = 16777216;

uint64_t sizeOnDisk(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return ~0ull;
    return (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

std::string bigPattern(uint64_t size, unsigned seed) {
    return patternBytes(static_cast<size_t>(size), seed);
}

void expectPlaced(const ServedGame& g, const std::wstring& path, const std::string& bytes) {
    EXPECT_TRUE(g.folder.exists(path)) << toUtf8(path);
    EXPECT_TRUE(g.folder.read(path) == bytes) << toUtf8(path) << " differs";
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
    DownloadRun run(downloadSettings(u.config), runServices(u));
    ASSERT_TRUE(planDownloadItems(run, m, allIndices(m)).ok());

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
        DownloadRun run(downloadSettings(u.config), runServices(u));
        ASSERT_TRUE(planDownloadItems(run, m, allIndices(m)).ok());
        ASSERT_TRUE(queueDownloadJobs(run).ok());
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
        // Only split files carry a hashing cursor, with one slot per range.
        EXPECT_EQ(big.cursor ? rangeCount(*big.cursor) : 0, big.chunkCount);
        EXPECT_EQ(run.items[1].cursor, nullptr);
        EXPECT_EQ(run.splitFiles, c.ranges.empty() ? 0 : 1);
        EXPECT_EQ(run.jobs.size(), (c.ranges.empty() ? 1u : c.ranges.size()) + 1u);
        // Ranges are written in place, so the split file's temp file exists at its full size up front.
        EXPECT_EQ(sizeOnDisk(big.tempPath), c.ranges.empty() ? ~0ull : c.size);
        EXPECT_EQ(sizeOnDisk(run.items[1].tempPath), ~0ull);
        deleteUncommittedTemps(run);
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
    EXPECT_FALSE(runAndReport(u, m, cache));
    CloseHandle(held);

    StatusSnapshot s = copyStatus(u.status);
    EXPECT_EQ(s.phase, UpdatePhase::Error);
    EXPECT_EQ(s.errorCode, ErrorKind::FileLocked);
    EXPECT_EQ(s.detailText, L"data/locked.pak");
    EXPECT_TRUE(leftoverTemps(t.path).empty());
    EXPECT_EQ(t.read(L"data/locked.pak"), "old");
    std::string log = logOf(t);
    // The system error of the probe that met the lock, not whatever the thread saw last.
    EXPECT_NE(log.find("HATA 4 data/locked.pak (son sistem hatasi 32)\r\n"), std::string::npos) << log;
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
    EXPECT_FALSE(runAndReport(u, m, cache));
    StatusSnapshot s = copyStatus(u.status);
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
    DownloadRun run(downloadSettings(u.config), runServices(u));
    TempFolder t;
    u.config.rootFolder = t.path;
    ASSERT_TRUE(planDownloadItems(run, m, allIndices(m)).ok());
    setCurrentFile(u.status, L"before", 0);
    std::lock_guard<std::mutex> lock(run.lock);
    refreshDownloadStatus(run);
    StatusSnapshot s = copyStatus(u.status);
    EXPECT_EQ(s.detailText, L"before");
    EXPECT_EQ(s.filesDone, 1);
    run.items[2].activeWorkers = 1;
    run.items[1].activeWorkers = 2;
    run.finished = 1;
    refreshDownloadStatus(run);
    s = copyStatus(u.status);
    EXPECT_EQ(s.detailText, L"two");
    EXPECT_EQ(s.filesDone, 2);
    EXPECT_EQ(s.filesUpdated, 1);
    run.items[1].activeWorkers = 0;
    run.finished = 3;
    refreshDownloadStatus(run);
    s = copyStatus(u.status);
    EXPECT_EQ(s.detailText, L"three");
    EXPECT_EQ(s.filesDone, 3);
    EXPECT_EQ(s.filesUpdated, 3);
}

TEST(DownloadRanges, SplitsAndConnectionsFollowSizeAndConnectionCount) {
    const std::string exact = bigPattern(33554432, 1);
    const std::string above = bigPattern(33554433, 2);
    struct Case {
        int connections;
        bool large;  // the 32 MiB and the 32 MiB + 1 byte files besides the small one
        const char* startLine;
    };
    const Case cases[] = {
        {6, true, "indirme: 3 dosya (1 parcali), 67109875 bayt, 5 baglanti"},
        {1, true, "indirme: 3 dosya (0 parcali), 67109875 bayt, 1 baglanti"},
        {6, false, "indirme: 3 dosya (0 parcali), 3030 bayt, 3 baglanti"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.startLine);
        ServedGame g(c.connections);
        g.open();
        std::string small = patternBytes(1010, 3);
        g.publish(L"small.txt", small);
        if (!c.large) {
            g.publish(L"data/two.txt", patternBytes(1010, 4));
            g.publish(L"data/three.txt", patternBytes(1010, 5));
        }
        std::string exactHash = c.large ? g.publish(L"data/exact.bin", exact) : "";
        std::string aboveHash = c.large ? g.publish(L"data/above.bin", above) : "";
        ASSERT_TRUE(g.run()) << g.log();
        EXPECT_NE(g.log().find(c.startLine), std::string::npos) << g.log();
        expectPlaced(g, L"small.txt", small);
        if (c.large) {
            // Exactly 32 MiB is one job: a single request without Range.
            auto exactRequests = g.server.requestsFor(objectUrl(exactHash));
            ASSERT_EQ(exactRequests.size(), 1u);
            EXPECT_EQ(exactRequests[0].range, "");
            expectPlaced(g, L"data/exact.bin", exact);
            expectPlaced(g, L"data/above.bin", above);
            EXPECT_EQ(g.cache.at(pathKey(L"data/exact.bin")).hash, exactHash);
            auto aboveRequests = g.server.requestsFor(objectUrl(aboveHash));
            if (c.connections > 1) {
                std::set<std::string> ranges;
                std::set<int> connections;
                for (const auto& r : aboveRequests) {
                    ranges.insert(r.range);
                    connections.insert(r.connection);
                }
                EXPECT_EQ(aboveRequests.size(), 3u);
                EXPECT_EQ(ranges, (std::set<std::string>{"bytes=0-16777215", "bytes=16777216-33554431",
                                                         "bytes=33554432-33554432"}));
                // Each range came over its own connection, i.e. from its own worker at the same time.
                EXPECT_EQ(connections.size(), 3u);
                EXPECT_NE(g.log().find("indirildi data/above.bin (33554433 bayt, 3 parca)"),
                          std::string::npos);
            } else {
                ASSERT_EQ(aboveRequests.size(), 1u);
                EXPECT_EQ(aboveRequests[0].range, "");
                // One worker keeps one connection for every job.
                std::set<int> connections;
                for (const auto& r : g.server.requests())
                    connections.insert(r.connection);
                EXPECT_EQ(connections.size(), 1u);
                EXPECT_NE(g.log().find("indirildi data/above.bin (33554433 bayt)"), std::string::npos);
            }
        }
        StatusSnapshot s = copyStatus(g.u.status);
        const int files = 3;
        EXPECT_EQ(s.phase, UpdatePhase::Downloading);
        EXPECT_EQ(s.filesUpdated, files);
        EXPECT_EQ(s.filesDone, files);
        EXPECT_EQ(s.filesTotal, files);
        EXPECT_EQ(s.bytesDone, s.bytesTotal);
        EXPECT_EQ(g.bytesShown(), s.bytesTotal);
        EXPECT_EQ(g.cache.size(), static_cast<size_t>(files));
        EXPECT_NE(g.log().find("indirme bitti: "), std::string::npos);
        EXPECT_TRUE(leftoverTemps(g.folder.path).empty());
    }
}

TEST(DownloadFaults, IgnoredRangesFallBackToOneWholeTransferPerFile) {
    ServedGame g;
    g.open();
    std::string a = bigPattern(kMib16 * 2 + 5, 4);
    std::string b = bigPattern(kMib16 * 2 + 9, 5);
    LoopbackFault refuse;
    refuse.ignoreRange = true;
    g.server.setFault(objectUrl(g.publish(L"a.bin", a)), refuse);
    g.server.setFault(objectUrl(g.publish(L"b.bin", b)), refuse);
    ASSERT_TRUE(g.run()) << g.log();
    std::string log = g.log();
    EXPECT_EQ(countOf(log, "sunucu Range vermedi ("), 1) << log;
    EXPECT_NE(log.find("): buyuk dosyalar tek akisla"), std::string::npos) << log;
    EXPECT_EQ(countOf(log, "parcali indirme tutmadi, tek akisla yeniden: b.bin\r\n"), 1) << log;
    EXPECT_EQ(countOf(log, "parcali indirme tutmadi, tek akisla yeniden: a.bin\r\n"), 1) << log;
    EXPECT_NE(log.find("indirildi b.bin (33554441 bayt, 3 parca)"), std::string::npos) << log;
    for (const auto& hash : {g.manifest.entries[0].hash, g.manifest.entries[1].hash}) {
        int whole = 0;
        for (const auto& r : g.server.requestsFor(objectUrl(hash)))
            whole += r.range.empty();
        EXPECT_EQ(whole, 1);
    }
    expectPlaced(g, L"a.bin", a);
    expectPlaced(g, L"b.bin", b);
    EXPECT_EQ(g.bytesShown(), a.size() + b.size());
}

TEST(DownloadFaults, OneByteShortIsRetriedWithGrowingPausesThenFails) {
    ServedGame g;
    g.open();
    g.publish(L"ok.txt", "fine");
    std::string hash = g.publish(L"short.bin", patternBytes(5000, 6));
    LoopbackFault shortBody;
    shortBody.shortenBy = 1;
    g.server.setFault(objectUrl(hash), shortBody);
    ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(g.run());
    ULONGLONG took = GetTickCount64() - start;
    // The policy's three pauses (20, 40 and 60 ms here), the last one before giving up; the tick
    // count moves in steps of up to 16 ms.
    EXPECT_GE(took + 16, 120u);
    EXPECT_EQ(g.server.requestsFor(objectUrl(hash)).size(), 3u);
    std::string log = g.log();
    for (int n = 1; n <= 3; ++n)
        EXPECT_NE(log.find("indirilemedi (2) short.bin, deneme " + std::to_string(n) + "\r\n"),
                  std::string::npos)
            << log;
    EXPECT_EQ(countOf(log, "HATA "), 1);
    StatusSnapshot s = copyStatus(g.u.status);
    EXPECT_EQ(s.phase, UpdatePhase::Error);
    EXPECT_EQ(s.errorCode, ErrorKind::DownloadFailed);
    EXPECT_EQ(s.detailText, L"short.bin");
    // The file committed before the failure stays, with its cache entry.
    EXPECT_EQ(g.folder.read(L"ok.txt"), "fine");
    EXPECT_EQ(g.cache.count(pathKey(L"ok.txt")), 1u);
    EXPECT_FALSE(g.folder.exists(L"short.bin"));
    EXPECT_TRUE(leftoverTemps(g.folder.path).empty());
    EXPECT_EQ(g.bytesShown(), 4u);
}

TEST(DownloadFaults, StallsAndDroppedConnectionsAreRetried) {
    ServedGame g;
    g.u.config.timeouts.receiveMs = 1000;
    g.open();
    std::string stalled = patternBytes(200000, 8);
    // Every range is longer than the drop point, whichever of the three parallel requests comes first.
    std::string big = bigPattern(kMib16 * 2 + 200000, 9);
    LoopbackFault stall;
    stall.stallMs = 4000;
    stall.stallAfterBytes = 1000;
    stall.times = 1;
    g.server.setFault(objectUrl(g.publish(L"stall.bin", stalled)), stall);
    LoopbackFault drop;
    drop.dropAfterBytes = 100000;
    drop.times = 1;
    g.server.setFault(objectUrl(g.publish(L"big.bin", big)), drop);
    ASSERT_TRUE(g.run()) << g.log();
    std::string log = g.log();
    EXPECT_NE(log.find("indirilemedi (1) stall.bin, deneme 1\r\n"), std::string::npos) << log;
    // Wine ends the body quietly at the early close (HTTP 206, short); Windows fails the read (HTTP 0).
    EXPECT_TRUE(std::regex_search(
        log, std::regex("parca [123]/3 inmedi \\(HTTP (0|206), \\d+/(16777216|200000) bayt\\) "
                        "big\\.bin, deneme 1\r\n")))
        << log;
    // A dropped range is fetched again as a range, not as a whole file.
    EXPECT_EQ(log.find("parcali indirme tutmadi"), std::string::npos) << log;
    expectPlaced(g, L"stall.bin", stalled);
    expectPlaced(g, L"big.bin", big);
    EXPECT_EQ(g.bytesShown(), stalled.size() + big.size());
}

TEST(DownloadFaults, MismatchingAssemblyFallsBackAndOnlyTheFirstErrorIsReported) {
    {
        ServedGame g;
        g.open();
        std::string listed = bigPattern(kMib16 * 2 + 1, 10);
        std::string served = listed;
        served[kMib16 + 3] ^= 0x55;
        g.publishMismatch(L"big.bin", listed, served);
        EXPECT_FALSE(g.run());
        std::string log = g.log();
        EXPECT_NE(log.find("parcali indirme tutmadi, tek akisla yeniden: big.bin\r\n"), std::string::npos) << log;
        EXPECT_EQ(countOf(log, "indirilemedi (2) big.bin"), 3) << log;
        EXPECT_NE(log.find("HATA 5 big.bin"), std::string::npos) << log;
        EXPECT_FALSE(g.folder.exists(L"big.bin"));
        EXPECT_TRUE(leftoverTemps(g.folder.path).empty());
    }
    // Two files that fail for good at about the same time: one error is reported, the other
    // worker stops.
    ServedGame g;
    g.open();
    LoopbackFault shortBody;
    shortBody.shortenBy = 1;
    g.server.setFault(objectUrl(g.publish(L"one.bin", "0123456789")), shortBody);
    g.server.setFault(objectUrl(g.publish(L"two.bin", "9876543210")), shortBody);
    EXPECT_FALSE(g.run());
    std::string log = g.log();
    EXPECT_EQ(countOf(log, "HATA "), 1) << log;
    StatusSnapshot s = copyStatus(g.u.status);
    EXPECT_EQ(s.errorCode, ErrorKind::DownloadFailed);
    EXPECT_TRUE(s.detailText == L"one.bin" || s.detailText == L"two.bin");
    EXPECT_NE(log.find("HATA 5 " + toUtf8(s.detailText)), std::string::npos) << log;
    EXPECT_TRUE(leftoverTemps(g.folder.path).empty());
}

TEST(DownloadStop, DuringATransferAndDuringAPauseEndsWithoutError) {
    for (int duringPause = 0; duringPause < 2; ++duringPause) {
        SCOPED_TRACE(duringPause ? "during a pause" : "during a transfer");
        ServedGame g;
        // Pauses of an hour: only the stop can end one, and the short file cannot fail for good first.
        g.u.config.retries.wholeFile.pausesMs = {3600000, 3600000, 3600000};
        g.open();
        // Zeros on disk are enough to keep bytes flowing while the stop arrives.
        TempFolder objects;
        std::string hash(64, 'c');
        std::wstring objectFile = objects.file(L"cc\\" + fromUtf8(hash));
        objects.write(L"cc\\" + fromUtf8(hash), "");
        HANDLE f = CreateFileW(objectFile.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER size;
        size.QuadPart = 1ll << 30;
        SetFilePointerEx(f, size, nullptr, FILE_BEGIN);
        SetEndOfFile(f);
        CloseHandle(f);
        g.server.serveFolder("/qorvane/pc/obj/", objects.path);
        addEntry(g.manifest, L"huge.bin", 1ull << 30, hash);
        std::string shortHash = g.publish(L"short.bin", "abcdef");
        LoopbackFault shortBody;
        shortBody.shortenBy = 1;
        g.server.setFault(objectUrl(shortHash), shortBody);

        bool result = true;
        std::thread runner([&] { result = g.run(); });
        ULONGLONG deadline = GetTickCount64() + 20000;
        if (duringPause) {
            while (g.log().find("indirilemedi (2) short.bin") == std::string::npos &&
                   GetTickCount64() < deadline)
                Sleep(10);
        } else {
            while (g.bytesShown() < (8u << 20) && GetTickCount64() < deadline)
                Sleep(1);
        }
        g.u.stop.request();
        runner.join();
        EXPECT_FALSE(result);
        EXPECT_FALSE(g.folder.exists(L"huge.bin"));  // the transfer did not run on to its end
        EXPECT_EQ(g.log().find("HATA"), std::string::npos) << g.log();
        EXPECT_EQ(g.log().find("indirme bitti"), std::string::npos);
        EXPECT_NE(copyStatus(g.u.status).phase, UpdatePhase::Error);
        EXPECT_TRUE(leftoverTemps(g.folder.path).empty());
    }
}

namespace {

std::wstring smallDiskFolder() {
    wchar_t value[512] = {};
    DWORD n = GetEnvironmentVariableW(L"QORVANE_TEST_SMALL_DISK", value, 512);
    return n > 0 && n < 512 ? std::wstring(value, n) : std::wstring();
}

}  // namespace

TEST(DownloadDisk, FullDiskIsReportedWithThePathAndLeavesNothingHalfWritten) {
    std::wstring root = smallDiskFolder();
    if (root.empty()) GTEST_SKIP() << "QORVANE_TEST_SMALL_DISK is not set (see tests/update/small_disk.sh)";
    ULARGE_INTEGER freeBytes;
    ASSERT_TRUE(GetDiskFreeSpaceExW(root.c_str(), &freeBytes, nullptr, nullptr));
    ASSERT_LT(freeBytes.QuadPart, 64ull << 20) << "not a small disk";

    // Whole-file transfer, then a split file whose ranges run out of room and whose whole-file
    // fallback meets the same full disk.
    const uint64_t sizes[] = {freeBytes.QuadPart + (4u << 20), 40000000};
    for (uint64_t size : sizes) {
        SCOPED_TRACE(size);
        ServedGame g;
        g.u.config.rootFolder = root;
        g.open();
        writeFileBytes(root + L"\\oyun.pak", "previous version");
        g.publish(L"oyun.pak", patternBytes(static_cast<size_t>(size), 11));
        EXPECT_FALSE(g.run());
        StatusSnapshot s = copyStatus(g.u.status);
        EXPECT_EQ(s.phase, UpdatePhase::Error);
        EXPECT_EQ(s.errorCode, ErrorKind::DiskFull) << readFileBytes(root + L"\\koruma\\launcher_gunluk.txt");
        EXPECT_EQ(s.detailText, L"oyun.pak");
        EXPECT_EQ(readFileBytes(root + L"\\oyun.pak"), "previous version");
        EXPECT_TRUE(leftoverTemps(root).empty());
        // The disk is free again for the next case and the next run.
        ASSERT_TRUE(GetDiskFreeSpaceExW(root.c_str(), &freeBytes, nullptr, nullptr));
        DeleteFileW((root + L"\\oyun.pak").c_str());
    }
}

namespace {

using Tree = std::map<std::wstring, std::string>;

void readTree(const std::wstring& root, const std::wstring& relative, Tree& out) {
    WIN32_FIND_DATAW d;
    std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &d);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = d.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring child = relative.empty() ? name : relative + L"/" + name;
        if (relative.empty() && name == L"koruma") continue;  // the launcher's own state
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            readTree(root, child, out);
        else
            out[child] = readFileBytes(folder + L"\\" + name);
    } while (FindNextFileW(find, &d));
    FindClose(find);
}

Tree treeOf(const std::wstring& root) {
    Tree t;
    readTree(root, L"", t);
    return t;
}

// A few hundred files from empty to above 32 MiB, nested, with blanks and Turkish letters.
void generateGame(const TempFolder& game) {
    const wchar_t* folders[] = {
        L"", L"data", L"data/alt klasör", L"Şehir haritaları", L"Şehir haritaları/ığüşöç çİ", L"pack/Maps"};
    for (int i = 0; i < 300; ++i) {
        std::wstring folder = folders[i % 6];
        std::wstring name = L"dosya " + std::to_wstring(i) + (i % 7 == 0 ? L" çağrı" : L"") + L".bin";
        size_t size = i % 50 == 0 ? 0 : static_cast<size_t>(i * 7919 % 20000);
        game.write(folder.empty() ? name : folder + L"/" + name, patternBytes(size, i));
    }
    game.write(L"pack/orta boy.epk", patternBytes(1048576, 1000));
    game.write(L"pack/büyük arşiv.epk", patternBytes(40000000, 1001));
}

struct PublishedGame {
    TempFolder game;
    TempFolder server;
    LoopbackServer http;
    TempFolder installed;
    Updater u;

    PublishedGame() {
        http.serveFolder("/qorvane/pc/", server.path);
        u.config.rootFolder = installed.path;
        pointUpdaterAt(u, http);
    }
    void publish(uint64_t version) {
        PublishOptions o;
        o.gameFolder = game.path;
        o.serverFolder = server.path;
        o.version = version;
        // Folders the launcher keeps free of files the list does not know.
        o.rules.recordLines = {"D data", "D pack"};
        o.signingKey = devSigningKey();
        o.allowDevelopmentKey = true;
        PublishResult r = publishGame(o, nullptr, nullptr);
        ASSERT_TRUE(r.ok) << toUtf8(r.error);
    }
    // One full run on this thread, as the worker thread would do it.
    void run() {
        http.clearRequests();
        u.stop.clear();
        beginRunStatus(u.status);
        u.workerRunning = true;
        runWorker(u, false, false);
    }
    size_t objectRequests() const {
        size_t n = 0;
        for (const auto& r : http.requests())
            n += r.path.rfind("/qorvane/pc/obj/", 0) == 0;
        return n;
    }
    void expectConverged() {
        StatusSnapshot s = copyStatus(u.status);
        EXPECT_EQ(s.phase, UpdatePhase::Ready)
            << static_cast<int>(s.errorCode) << " " << toUtf8(s.detailText) << "\n" << logOf(installed);
        Tree want = treeOf(game.path);
        Tree got = treeOf(installed.path);
        EXPECT_EQ(want.size(), got.size());
        for (const auto& [path, bytes] : want) {
            auto it = got.find(path);
            if (it == got.end())
                ADD_FAILURE() << "missing " << toUtf8(path);
            else if (it->second != bytes)
                ADD_FAILURE() << "differs " << toUtf8(path);
        }
        for (const auto& [path, bytes] : got)
            if (!want.count(path)) ADD_FAILURE() << "extra " << toUtf8(path);
        EXPECT_TRUE(leftoverTemps(installed.path).empty());
    }
};

}  // namespace

TEST(DownloadTree, EmptyFolderFillsThenStaysThenConverges) {
    PublishedGame p;
    generateGame(p.game);
    p.publish(1);

    p.run();
    p.expectConverged();
    std::string log = logOf(p.installed);
    EXPECT_NE(log.find("tarama bitti: 302 dosya, 302 indirilecek"), std::string::npos) << log;
    EXPECT_NE(log.find("indirildi pack/büyük arşiv.epk (40000000 bayt, 3 parca)"), std::string::npos);
    EXPECT_EQ(copyStatus(p.u.status).filesUpdated, 302);

    p.run();
    p.expectConverged();
    EXPECT_EQ(p.objectRequests(), 0u);
    EXPECT_EQ(copyStatus(p.u.status).filesUpdated, 0);

    // Server side: one file changed, one added, one removed; local side: one file damaged.
    p.game.write(L"data/dosya 1.bin", "changed on the server");
    p.game.write(L"data/yeni klasör/eklendi.txt", "added");
    DeleteFileW(p.game.file(L"pack/Maps/dosya 5.bin").c_str());
    p.publish(2);
    p.installed.write(L"Şehir haritaları/dosya 3.bin", "damaged locally");
    p.run();
    p.expectConverged();
    EXPECT_EQ(p.objectRequests(), 3u);
    EXPECT_EQ(copyStatus(p.u.status).filesUpdated, 3);
}

// While a stage runs, the journal in koruma names every temp file it may create, so that a process
// ended in the middle (the window closed while a worker hangs in a receive) leaves nothing the next
// run cannot find; a stage that ends keeps no journal.
TEST(DownloadJournal, NamesTheStagesTempFilesWhileItRunsAndGoesWithIt) {
    ServedGame g;
    g.open();
    std::string stalled = g.publish(L"a.bin", patternBytes(100000, 1));
    g.publish(L"deep/\u00e7i\u00e7ek b.bin", "small");
    LoopbackFault stall;
    stall.stallMs = 1500;
    stall.stallAfterBytes = 1000;
    stall.times = 1;
    g.server.setFault(objectUrl(stalled), stall);

    bool result = false;
    std::thread runner([&] { result = g.run(); });
    ULONGLONG deadline = GetTickCount64() + 20000;
    while (leftoverTemps(g.folder.path).empty() && GetTickCount64() < deadline)
        Sleep(1);
    std::string journal = g.folder.read(L"koruma/gecici.txt");
    runner.join();
    EXPECT_TRUE(result) << g.log();
    EXPECT_NE(journal.find("a.bin.indir\n"), std::string::npos) << journal;
    EXPECT_NE(journal.find("deep/\xc3\xa7i\xc3\xa7" "ek b.bin.indir\n"), std::string::npos) << journal;
    EXPECT_FALSE(g.folder.exists(L"koruma/gecici.txt"));
    EXPECT_TRUE(leftoverTemps(g.folder.path).empty());
}
