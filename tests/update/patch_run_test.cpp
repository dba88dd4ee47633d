// Patching in the download stage against the loopback server: a changed file taken mostly from the
// copy on disk, a temp file left by an earlier run continued, and every way a patch falls back to
// the whole file in the same run (each file patched at most once).
#include "update/patch_run.h"

#include <gtest/gtest.h>

#include "tests/update/download_fixture.h"
#include "update/downloader.h"

namespace {

constexpr size_t kSize = 4 * 1048576 + 300000;  // just over the indexing threshold

ChunkIndex indexOf(const std::string& bytes) {
    ChunkIndex index;
    index.params = defaultChunkParams();
    index.fileSize = bytes.size();
    ChunkDigester digester;
    for (size_t at = 0; at < bytes.size();) {
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data()) + at;
        ChunkEntry chunk;
        chunk.offset = at;
        chunk.length = static_cast<uint32_t>(findChunkCut(data, bytes.size() - at, index.params));
        chunk.fingerprint = chunkFingerprint(data, chunk.length);
        EXPECT_TRUE(digester.digest(data, chunk.length, chunk.strong));
        index.chunks.push_back(chunk);
        at += chunk.length;
    }
    return index;
}

std::string changed(std::string bytes, size_t at, size_t length, unsigned seed) {
    bytes.replace(at, length, patternBytes(length, seed));
    return bytes;
}

// A game whose one big file has a chunk index on the server.
struct PatchGame : ServedGame {
    std::string indexBytes;
    std::string indexHash;

    // Lists the file with an index of `described` (the file itself unless given).
    void publishIndexed(const std::string& bytes, const std::string* described = nullptr) {
        std::string fileHash = publish(L"pack/büyük.epk", bytes);
        indexBytes = formatChunkIndex(indexOf(described ? *described : bytes));
        indexHash = sha256Of(indexBytes);
        server.addFile(objectUrl(indexHash), indexBytes);
        manifest.chunkIndexes[fileHash] = ChunkIndexRef{indexHash, indexBytes.size()};
    }
    std::string objectPathOfFile() const { return objectUrl(manifest.entries.back().hash); }
    // Bytes the ranges asked for, and how many requests asked for the whole object.
    void objectRequests(uint64_t& rangeBytes, int& wholeRequests) const {
        rangeBytes = 0;
        wholeRequests = 0;
        for (const LoopbackRequest& r : server.requestsFor(objectPathOfFile())) {
            unsigned long long first = 0, last = 0;
            if (sscanf(r.range.c_str(), "bytes=%llu-%llu", &first, &last) == 2)
                rangeBytes += last - first + 1;
            else
                ++wholeRequests;
        }
    }
};

}  // namespace

TEST(PatchRun, TakesFromDiskWhatItHoldsAndFetchesTheRest) {
    const std::string v1 = patternBytes(kSize, 1);
    struct Case {
        const char* name;
        std::string v2;
        bool atPath;      // the old version lies at the file's path
        size_t tempHead;  // a temp file holds this much of the new version (0: none)
        uint64_t maxFetched;
    };
    const Case cases[] = {
        {"overwrite in the middle", changed(v1, 2000000, 65536, 7), true, 0, 2 * 65536 + 1048576},
        {"insert near the start", v1.substr(0, 100000) + patternBytes(4096, 8) + v1.substr(100000), true, 0,
         2 * 4096 + 1048576},
        {"append", v1 + patternBytes(200000, 9), true, 0, 2 * 200000 + 1048576},
        {"resume from a temp file alone", changed(v1, 0, kSize, 10), false, 3000000,
         kSize - 3000000 + 300000},
        {"temp file and old copy together", changed(v1, 3500000, 65536, 11), true, 2000000,
         2 * 65536 + 1048576},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PatchGame g;
        g.open();
        g.publishIndexed(c.v2);
        if (c.atPath) g.folder.write(L"pack/büyük.epk", v1);
        if (c.tempHead) g.folder.write(L"pack/büyük.epk.indir", c.v2.substr(0, c.tempHead));
        ASSERT_TRUE(g.run()) << g.log();
        EXPECT_TRUE(g.folder.read(L"pack/büyük.epk") == c.v2);
        EXPECT_TRUE(leftoverTemps(g.folder.path).empty());
        uint64_t fetched = 0;
        int whole = 0;
        g.objectRequests(fetched, whole);
        EXPECT_EQ(whole, 0);
        EXPECT_GT(fetched, 0u);
        EXPECT_LE(fetched, c.maxFetched);
        // Progress counts the bytes from disk too: the file is done at its full size.
        EXPECT_EQ(g.bytesShown(), c.v2.size());
        const std::string log = g.log();
        EXPECT_NE(log.find("diskten " + std::to_string(c.v2.size() - fetched) + ", sunucudan " +
                           std::to_string(fetched) + " bayt"),
                  std::string::npos)
            << log;
        EXPECT_EQ(g.server.requestsFor(objectUrl(g.indexHash)).size(), 1u);
    }
}

TEST(PatchRun, FallsBackToTheWholeFileInTheSameRunOnce) {
    const std::string v1 = patternBytes(kSize, 1);
    const std::string v2 = changed(v1, 2000000, 65536, 7);
    const std::string other = changed(v1, 2000000, 65536, 12);  // same size, other middle
    enum class Fault { IndexHash, IndexTooLong, IndexOfAnotherSize, IgnoresRange, ChunkFails, NothingOnDisk };
    struct Case {
        const char* name;
        Fault fault;
        const char* logged;
    };
    const Case cases[] = {
        {"index that does not match its hash", Fault::IndexHash, "parca dizini kullanilamadi"},
        {"index longer than the list says", Fault::IndexTooLong, "parca dizini kullanilamadi"},
        {"index of a file of another size", Fault::IndexOfAnotherSize, "parca dizini kullanilamadi"},
        {"server that ignores Range", Fault::IgnoresRange, "sunucu Range vermedi"},
        {"chunk that fails its check", Fault::ChunkFails, "yama parcasi tutmadi"},
        {"too little on disk", Fault::NothingOnDisk, "yama yaramaz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PatchGame g;
        g.open();
        const std::string described = c.fault == Fault::IndexOfAnotherSize ? v2 + "x" : other;
        g.publishIndexed(
            v2, c.fault == Fault::ChunkFails || c.fault == Fault::IndexOfAnotherSize ? &described : nullptr);
        ChunkIndexRef& ref = g.manifest.chunkIndexes.begin()->second;
        if (c.fault == Fault::IndexHash)
            g.server.addFile(objectUrl(g.indexHash), changed(g.indexBytes, 40, 1, 3));
        if (c.fault == Fault::IndexTooLong) g.server.addFile(objectUrl(g.indexHash), g.indexBytes + "x");
        if (c.fault == Fault::IgnoresRange) {
            LoopbackFault f;
            f.ignoreRange = true;
            g.server.setFault(g.objectPathOfFile(), f);
        }
        g.folder.write(L"pack/büyük.epk", c.fault == Fault::NothingOnDisk ? patternBytes(kSize, 99) : v1);
        ASSERT_TRUE(g.run()) << g.log();
        EXPECT_TRUE(g.folder.read(L"pack/büyük.epk") == v2);
        EXPECT_TRUE(leftoverTemps(g.folder.path).empty());
        const std::string log = g.log();
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_EQ(log.find("diskten"), std::string::npos) << log;
        EXPECT_EQ(g.bytesShown(), v2.size());
        // One index request (its retries aside), one whole transfer: never a second patch.
        uint64_t fetched = 0;
        int whole = 0;
        g.objectRequests(fetched, whole);
        EXPECT_EQ(whole, 1);
        EXPECT_LE(g.server.requestsFor(objectUrl(ref.hash)).size(), 1u);
    }
}

TEST(PatchRun, StoppedRunKeepsTheTempOfAFileItCanPatch) {
    PatchGame g;
    g.open();
    const std::string v2 = patternBytes(kSize, 5);
    g.publishIndexed(v2);
    g.folder.write(L"pack/büyük.epk", patternBytes(kSize, 1));  // nothing in common: fetched whole
    LoopbackFault stall;
    stall.stallMs = 2000;  // the stop lands in the pause; the transfer notices it when bytes flow again
    stall.stallAfterBytes = 1048576;
    g.server.setFault(g.objectPathOfFile(), stall);
    std::thread stopper([&] {
        while (g.server.requestsFor(g.objectPathOfFile()).empty())
            Sleep(10);
        Sleep(100);
        g.u.stop.request();
    });
    EXPECT_FALSE(g.run());
    stopper.join();
    EXPECT_TRUE(g.folder.exists(L"pack/büyük.epk.indir"));
    EXPECT_EQ(g.log().find("HATA"), std::string::npos) << g.log();
}

TEST(PatchRun, KeepRuleForTempFiles) {
    PatchGame g;
    g.publishIndexed(patternBytes(kSize, 5));
    g.publish(L"small.dat", "abc");
    g.publish(L"unindexed.epk", patternBytes(kSize, 6));
    const struct {
        const wchar_t* temp;
        bool kept;
    } cases[] = {
        {L"pack/büyük.epk.indir", true}, {L"PACK/BÜYÜK.EPK.indir", true}, {L"small.dat.indir", false},
        {L"unindexed.epk.indir", false}, {L"gone.epk.indir", false},      {L".indir", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keepsTempForPatch(g.manifest, c.temp), c.kept) << toUtf8(c.temp);
}
