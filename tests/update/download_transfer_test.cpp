// The downloader against a real HTTP server on loopback: splitting into ranges, the server faults a
// download meets in practice, stops, and what the progress counters show afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <thread>

#include "tests/update/download_served.h"
#include "update/file_commit.h"

namespace {

const uint64_t kMib16 = 16777216;

std::string bigPattern(uint64_t size, unsigned seed) {
    return patternBytes(static_cast<size_t>(size), seed);
}

void expectPlaced(const ServedGame& g, const std::wstring& path, const std::string& bytes) {
    EXPECT_TRUE(g.folder.exists(path)) << toUtf8(path);
    EXPECT_TRUE(g.folder.read(path) == bytes) << toUtf8(path) << " differs";
}

}  // namespace

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
            EXPECT_EQ(g.cache.at(L"data/exact.bin").hash, exactHash);
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
        StatusSnapshot s = copyStatus(g.u);
        const int files = 3;
        EXPECT_EQ(s.phase, UpdatePhase::Downloading);
        EXPECT_EQ(s.filesUpdated, files);
        EXPECT_EQ(s.filesDone, files);
        EXPECT_EQ(s.filesTotal, files);
        EXPECT_EQ(s.bytesDone, s.bytesTotal);
        EXPECT_EQ(g.u.bytesReceived.load(), s.bytesTotal);
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
    EXPECT_EQ(g.u.bytesReceived.load(), a.size() + b.size());
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
    // Pauses of 1, 2 and 3 s, the last one before giving up.
    EXPECT_GE(took, 5900u);
    EXPECT_EQ(g.server.requestsFor(objectUrl(hash)).size(), 3u);
    std::string log = g.log();
    for (int n = 1; n <= 3; ++n)
        EXPECT_NE(log.find("indirilemedi (2) short.bin, deneme " + std::to_string(n) + "\r\n"),
                  std::string::npos)
            << log;
    EXPECT_EQ(countOf(log, "HATA "), 1);
    StatusSnapshot s = copyStatus(g.u);
    EXPECT_EQ(s.phase, UpdatePhase::Error);
    EXPECT_EQ(s.errorCode, ErrorKind::DownloadFailed);
    EXPECT_EQ(s.detailText, L"short.bin");
    // The file committed before the failure stays, with its cache entry.
    EXPECT_EQ(g.folder.read(L"ok.txt"), "fine");
    EXPECT_EQ(g.cache.count(L"ok.txt"), 1u);
    EXPECT_FALSE(g.folder.exists(L"short.bin"));
    EXPECT_TRUE(leftoverTemps(g.folder.path).empty());
    EXPECT_EQ(g.u.bytesReceived.load(), 4u);
}

TEST(DownloadFaults, SurplusBytesCountOnlyWhenTheyArriveInABufferOfTheirOwn) {
    ServedGame g;
    g.open();
    // Wine's WinHttpReadData fills the whole 256 KiB buffer before it returns (Windows returns what
    // has arrived), so only a body of exactly one buffer gets its late surplus in a block of its own.
    std::string bytes = patternBytes(262144, 7);
    std::string hash = g.publish(L"x.bin", bytes);
    LoopbackFault extra;
    extra.extendBy = 7;
    extra.extendDelayMs = 300;
    g.server.setFault(objectUrl(hash), extra);
    std::wstring temp = g.folder.file(L"x.bin.indir");
    EXPECT_EQ(downloadToTemp(g.u, nullptr, g.manifest.entries[0], temp, nullptr), 0);
    EXPECT_TRUE(readFileBytes(temp) == bytes);

    // The surplus rides in the same buffer as the last real bytes, which is refused whole.
    bytes = patternBytes(3000, 8);
    addEntry(g.manifest, L"y.bin", bytes);
    hash = g.manifest.entries.back().hash;
    g.server.addFile(objectUrl(hash), bytes);
    extra.extendDelayMs = 0;
    g.server.setFault(objectUrl(hash), extra);
    std::atomic<uint64_t> counter{0};
    g.u.bytesReceived = 0;
    EXPECT_EQ(downloadToTemp(g.u, nullptr, g.manifest.entries[1], temp, &counter), 2);
    EXPECT_LT(readFileBytes(temp).size(), bytes.size());
    EXPECT_EQ(counter.load(), 0u);
    EXPECT_EQ(g.u.bytesReceived.load(), 0u);
}

TEST(DownloadFaults, StallsAndDroppedConnectionsAreRetried) {
    ServedGame g;
    g.u.timeouts.receiveMs = 1000;
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
    EXPECT_EQ(g.u.bytesReceived.load(), stalled.size() + big.size());
    EXPECT_EQ(copyStatus(g.u).bytesDone, stalled.size() + big.size());
}

TEST(DownloadFaults, MismatchingAssemblyFallsBackAndOnlyTheFirstErrorIsReported) {
    ServedGame g;
    g.open();
    std::string listed = bigPattern(kMib16 * 2 + 1, 10);
    std::string served = listed;
    served[kMib16 + 3] ^= 0x55;
    g.publishMismatch(L"big.bin", listed, served);
    LoopbackFault shortBody;
    shortBody.shortenBy = 1;
    g.server.setFault(objectUrl(g.publish(L"small.bin", "0123456789")), shortBody);
    EXPECT_FALSE(g.run());
    std::string log = g.log();
    EXPECT_NE(log.find("parcali indirme tutmadi, tek akisla yeniden: big.bin\r\n"), std::string::npos) << log;
    // Both files fail for good about six seconds in; one error is reported, the other worker stops.
    EXPECT_EQ(countOf(log, "HATA "), 1) << log;
    StatusSnapshot s = copyStatus(g.u);
    EXPECT_EQ(s.errorCode, ErrorKind::DownloadFailed);
    EXPECT_TRUE(s.detailText == L"big.bin" || s.detailText == L"small.bin");
    EXPECT_NE(log.find("HATA 5 " + toUtf8(s.detailText)), std::string::npos) << log;
    EXPECT_FALSE(g.folder.exists(L"big.bin"));
    EXPECT_TRUE(leftoverTemps(g.folder.path).empty());
}

TEST(DownloadStop, DuringATransferAndDuringAPauseEndsQuicklyWithoutError) {
    for (int duringPause = 0; duringPause < 2; ++duringPause) {
        SCOPED_TRACE(duringPause ? "during a pause" : "during a transfer");
        ServedGame g;
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
            while (g.u.bytesReceived.load() < (8u << 20) && GetTickCount64() < deadline)
                Sleep(1);
        }
        ULONGLONG stopAt = GetTickCount64();
        g.u.stopRequested = true;
        runner.join();
        ULONGLONG took = GetTickCount64() - stopAt;
        EXPECT_FALSE(result);
        EXPECT_LT(took, 600u);  // 100 ms steps, plus thread joins and temp-file removal
        EXPECT_EQ(g.log().find("HATA"), std::string::npos) << g.log();
        EXPECT_EQ(g.log().find("indirme bitti"), std::string::npos);
        EXPECT_NE(copyStatus(g.u).phase, UpdatePhase::Error);
        EXPECT_TRUE(leftoverTemps(g.folder.path).empty());
    }
}
