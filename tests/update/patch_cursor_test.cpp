#include "update/patch_cursor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "tests/support/random_text.h"
#include "tests/support/temp_folder.h"
#include "update/seed_scan.h"

namespace {

const ChunkParams kParams{1024, 4096, 16384};

ChunkIndex indexOf(const std::string& bytes) {
    ChunkIndex index;
    index.params = kParams;
    ChunkDigester digester;
    size_t at = 0;
    while (at < bytes.size()) {
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data()) + at;
        size_t length = findChunkCut(data, bytes.size() - at, kParams);
        ChunkEntry chunk;
        chunk.offset = at;
        chunk.length = static_cast<uint32_t>(length);
        chunk.fingerprint = chunkFingerprint(data, length);
        digester.digest(data, length, chunk.strong);
        index.chunks.push_back(chunk);
        at += length;
    }
    index.fileSize = bytes.size();
    return index;
}

// Sizes the file being assembled to the new file's length, keeping what it holds, as the patch does.
void sizeAssembly(const std::wstring& path, uint64_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    EXPECT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
}

void writeAt(const std::wstring& path, uint64_t offset, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD wrote = 0;
    EXPECT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr));
    CloseHandle(file);
}

struct Progress {
    uint64_t local = 0;
    bool stopAfterLocal = false;
};

bool stopWhenAsked(void* context) {
    const auto* p = static_cast<const Progress*>(context);
    return p->stopAfterLocal && p->local > 0;
}

void countLocal(void* context, uint64_t bytes) {
    static_cast<Progress*>(context)->local += bytes;
}

// Runs the planner on a thread of its own, as a patch does, while this thread starts the assembly;
// then delivers every range (last first, as parallel connections may) from the new file's bytes.
struct Assembly {
    PatchScan scan;
    int finishers = 0;
    std::string hash;
    Progress progress;
};

Assembly assemble(const ChunkIndex& index, const std::string& newBytes, const std::wstring& temp,
                  const std::wstring& target) {
    Assembly a;
    sizeAssembly(temp, newBytes.size());
    PatchCursor cursor(temp, {temp, target});
    PatchCallbacks callbacks{stopWhenAsked, countLocal, &a.progress};
    std::thread planner([&] { a.scan = planFromSeeds(cursor, index, temp, target, 6, nullptr, nullptr); });
    a.finishers += settlePatchRange(cursor, -1, false, callbacks) ? 1 : 0;
    planner.join();
    for (size_t r = a.scan.ranges.size(); r-- > 0;) {
        const FetchRange& range = a.scan.ranges[r];
        writeAt(temp, range.offset, newBytes.substr(range.offset, range.length));
        a.finishers += settlePatchRange(cursor, static_cast<int>(r), true, callbacks) ? 1 : 0;
    }
    a.hash = patchCursorHash(cursor);
    return a;
}

}  // namespace

// From what the player has (the old file, a temp an earlier run left, both or neither) the scan,
// the plan and the cursor assemble exactly the new file, fetching only what is missing.
TEST(PatchAssembly, BuildsTheNewFileFromWhatIsOnDisk) {
    const std::string v1 = randomText(600000, 1);
    std::string v2 = v1;
    v2.insert(1000, randomText(3000, 2));           // an insert near the start
    v2.replace(300000, 5000, randomText(5000, 3));  // an overwrite in the middle
    v2 += randomText(7000, 4);                      // an append
    const ChunkIndex index = indexOf(v2);
    std::string half(v2.size(), '\0');
    std::copy(v2.begin(), v2.begin() + 250000, half.begin());  // a killed run: the rest never written
    struct Case {
        const char* name;
        bool oldFile;
        std::string temp;  // empty: none
        uint64_t maxFetched;
        uint64_t minKept;
    } cases[] = {
        {"old file only", true, "", 3000 + 5000 + 7000 + 8 * kParams.maxSize, 0},
        {"temp of a killed run only", false, half, v2.size() - 250000 + kParams.maxSize,
         250000 - kParams.maxSize},
        {"both", true, half, 5000 + 7000 + 6 * kParams.maxSize, 250000 - kParams.maxSize},
        {"a longer temp of another version", true, v1 + v1, 3000 + 5000 + 7000 + 8 * kParams.maxSize, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::wstring target = folder.file(L"pack.epk");
        const std::wstring temp = target + L".indir";
        if (c.oldFile) writeFileBytes(target, v1);
        if (!c.temp.empty()) writeFileBytes(temp, c.temp);
        Assembly a = assemble(index, v2, temp, target);
        EXPECT_TRUE(a.scan.worthwhile);
        EXPECT_LE(a.scan.fetchBytes, c.maxFetched);
        EXPECT_GE(a.scan.keptBytes, c.minKept);
        EXPECT_EQ(v2.size(), a.scan.keptBytes + a.scan.copiedBytes + a.scan.fetchBytes);
        EXPECT_EQ(1, a.finishers);
        EXPECT_EQ(sha256Hex(v2), a.hash);
        EXPECT_EQ(v2, readFileBytes(temp));
        EXPECT_EQ(a.scan.keptBytes + a.scan.copiedBytes, a.progress.local);
        if (c.oldFile) {
            EXPECT_EQ(v1, readFileBytes(target));  // a seed is only read
        }
    }
}

// A seed of several hand-overs: the assembly starts on the first parts while the rest is read.
TEST(PatchAssembly, LargeSeedHandedOverInParts) {
    const std::string v1 = randomText(30000000, 11);
    std::string v2 = v1;
    v2.replace(2000000, 1000, randomText(1000, 12));
    v2.replace(25000000, 1000, randomText(1000, 13));
    TempFolder folder;
    writeFileBytes(folder.file(L"b.bin"), v1);
    Assembly a = assemble(indexOf(v2), v2, folder.file(L"b.bin.indir"), folder.file(L"b.bin"));
    EXPECT_EQ(2u, a.scan.ranges.size());
    EXPECT_LE(a.scan.fetchBytes, 2000 + 8 * kParams.maxSize);
    EXPECT_EQ(sha256Hex(v2), a.hash);
    EXPECT_EQ(v2, readFileBytes(folder.file(L"b.bin.indir")));
}

// Nothing on disk: too little to gain, the plan is given up and no digest is made, so the file is
// fetched whole instead.
TEST(PatchAssembly, TooLittleOnDiskGivesThePlanUp) {
    const std::string v2 = randomText(200000, 9);
    TempFolder folder;
    writeFileBytes(folder.file(L"a.bin"), randomText(200000, 10));
    Assembly a = assemble(indexOf(v2), v2, folder.file(L"a.bin.indir"), folder.file(L"a.bin"));
    EXPECT_FALSE(a.scan.worthwhile);
    EXPECT_EQ(v2.size(), a.scan.fetchBytes);
    EXPECT_EQ(1, a.finishers);
    EXPECT_EQ("", a.hash);
}

// A range that never arrives, or a stop, leaves no digest: the file then falls back to a whole download.
TEST(PatchAssembly, NoDigestWithoutEveryByte) {
    const std::string v1 = randomText(200000, 5);
    std::string v2 = v1;
    v2.replace(100000, 2000, randomText(2000, 6));
    const ChunkIndex index = indexOf(v2);
    for (bool stopInstead : {false, true}) {
        SCOPED_TRACE(stopInstead ? "stop" : "failed range");
        TempFolder folder;
        const std::wstring target = folder.file(L"a.bin"), temp = target + L".indir";
        writeFileBytes(target, v1);
        sizeAssembly(temp, v2.size());
        PatchCursor cursor(temp, {temp, target});
        PatchScan scan = planFromSeeds(cursor, index, temp, target, 1, nullptr, nullptr);
        ASSERT_EQ(1u, scan.ranges.size());
        Progress progress;
        progress.stopAfterLocal = stopInstead;
        PatchCallbacks callbacks{stopWhenAsked, countLocal, &progress};
        EXPECT_FALSE(settlePatchRange(cursor, -1, false, callbacks));
        if (!stopInstead) writeAt(temp, scan.ranges[0].offset, v2.substr(scan.ranges[0].offset, 10));
        EXPECT_TRUE(settlePatchRange(cursor, 0, stopInstead, callbacks));
        EXPECT_EQ("", patchCursorHash(cursor));
    }
}

TEST(PatchAssembly, SegmentsCoverTheirPart) {
    PatchPlan plan;
    plan.begin = 0;
    plan.end = 1000;
    plan.copies = {{1, 500, 100, 50}, {2, 0, 400, 10}};
    plan.ranges = {{0, 100, 0, 2}, {150, 50, 3, 1}};
    auto text = [](const std::vector<PatchSegment>& segments) {
        std::string out;
        for (const PatchSegment& s : segments)
            out += std::to_string(static_cast<int>(s.kind)) + ":" + std::to_string(s.offset) + "+" +
                   std::to_string(s.length) + " ";
        return out;
    };
    // fetched 0+100, copied 100+50, fetched 150+50, kept 200+200, copied 400+10, kept 410+590
    EXPECT_EQ("2:0+100 1:100+50 2:150+50 0:200+200 1:400+10 0:410+590 ", text(patchSegments(plan)));
    PatchPlan part;
    part.begin = 300;
    part.end = 700;
    part.copies = {{1, 0, 400, 10}};
    EXPECT_EQ("0:300+100 1:400+10 0:410+290 ", text(patchSegments(part)));
}
