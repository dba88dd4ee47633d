#include "update/patch_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An index of chunks with the given lengths; chunk i has fingerprint 100 + i unless given.
ChunkIndex indexOf(const std::vector<uint32_t>& lengths, std::vector<uint64_t> fingerprints = {}) {
    ChunkIndex index;
    index.params = ChunkParams{1024, 4096, 16384};
    for (size_t i = 0; i < lengths.size(); ++i) {
        ChunkEntry chunk;
        chunk.offset = index.fileSize;
        chunk.length = lengths[i];
        chunk.fingerprint = i < fingerprints.size() ? fingerprints[i] : 100 + i;
        index.chunks.push_back(chunk);
        index.fileSize += chunk.length;
    }
    return index;
}

// One letter per chunk: '.' missing, 'k' in place in the file being assembled, 'a' found in the
// assembled file elsewhere (at offset + 1), 'c' in seed 1 at the chunk's own offset, 'd' in seed 1
// at a different, non-contiguous offset each time.
std::vector<ChunkSource> sources(const ChunkIndex& index, const std::string& pattern) {
    std::vector<ChunkSource> found(index.chunks.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        const uint64_t at = index.chunks[i].offset;
        if (pattern[i] == 'k') found[i] = ChunkSource{kAssemblySeed, at};
        if (pattern[i] == 'a') found[i] = ChunkSource{kAssemblySeed, at + 1};
        if (pattern[i] == 'c') found[i] = ChunkSource{1, at};
        if (pattern[i] == 'd') found[i] = ChunkSource{1, 1000000 * (i + 1)};
    }
    return found;
}

std::string describe(const PatchPlan& plan) {
    std::string text;
    for (const SeedCopy& c : plan.copies)
        text += "copy " + std::to_string(c.seedOffset) + "->" + std::to_string(c.targetOffset) + "+" +
                std::to_string(c.length) + ";";
    for (const FetchRange& r : plan.ranges)
        text += "get " + std::to_string(r.offset) + "+" + std::to_string(r.length) + " #" +
                std::to_string(r.firstChunk) + "x" + std::to_string(r.chunkCount) + ";";
    return text;
}

}  // namespace

TEST(PatchPlan, WhatToCopyAndWhatToFetch) {
    const std::vector<uint32_t> five = {1000, 2000, 3000, 4000, 5000};  // offsets 0 1000 3000 6000 10000
    struct Case {
        const char* name;
        std::string pattern;
        uint64_t maxRequest;
        std::string plan;
        uint64_t kept, copied, fetched;
    } cases[] = {
        {"all in place: nothing to do", "kkkkk", 16777216, "", 15000, 0, 0},
        {"nothing found: one range", ".....", 16777216, "get 0+15000 #0x5;", 0, 0, 15000},
        {"neighbours join, others stay apart", "..k.c", 16777216,
         "copy 10000->10000+5000;get 0+3000 #0x2;get 6000+4000 #3x1;", 3000, 5000, 7000},
        {"a request holds at most maxRequest", ".....", 6000,
         "get 0+6000 #0x3;get 6000+4000 #3x1;get 10000+5000 #4x1;", 0, 0, 15000},
        {"copies from consecutive seed bytes join", "ccc..", 16777216, "copy 0->0+6000;get 6000+9000 #3x2;",
         0, 6000, 9000},
        {"copies from scattered seed bytes do not", "dd...", 16777216,
         "copy 1000000->0+1000;copy 2000000->1000+2000;get 3000+12000 #2x3;", 0, 3000, 12000},
        {"the assembled file out of place is fetched", "a.kkk", 16777216, "get 0+3000 #0x2;", 12000, 0, 3000},
    };
    const ChunkIndex index = indexOf(five);
    for (const Case& c : cases) {
        PatchPlan plan = planPatch(index, sources(index, c.pattern), c.maxRequest);
        EXPECT_EQ(c.plan, describe(plan)) << c.name;
        EXPECT_EQ(c.kept, plan.keptBytes) << c.name;
        EXPECT_EQ(c.copied, plan.copiedBytes) << c.name;
        EXPECT_EQ(c.fetched, plan.fetchBytes) << c.name;
    }
}

// A seed's chunk supplies every chunk of the index with its fingerprint and length, and only
// those that have no source yet: the first seed to offer a chunk keeps it.
TEST(PatchPlan, SeedChunksFillTheIndex) {
    // Chunks 1 and 3 have the same content; chunk 4 shares a fingerprint with them but not a length.
    const ChunkIndex index = indexOf({1000, 2000, 3000, 2000, 5000}, {7, 8, 9, 8, 8});
    const ChunkLookup lookup = buildChunkLookup(index);
    std::vector<ChunkSource> found(index.chunks.size());
    struct Step {
        int seed;
        uint64_t offset;
        uint32_t length;
        uint64_t fingerprint;
        int marked;
    } steps[] = {
        {kAssemblySeed, 3000, 3000, 9, 1},  // chunk 2, in place
        {1, 500, 2000, 8, 2},               // chunks 1 and 3
        {2, 0, 2000, 8, 0},                 // both taken already
        {1, 9000, 3000, 9, 0},              // chunk 2 keeps the in-place copy
        {1, 0, 999, 7, 0},                  // wrong length
        {1, 0, 1000, 6, 0},                 // unknown fingerprint
        {2, 40, 5000, 8, 1},                // chunk 4
    };
    for (const Step& s : steps)
        EXPECT_EQ(s.marked, markSeedChunk(index, lookup, found, s.seed, s.offset, s.length, s.fingerprint))
            << s.seed << "@" << s.offset;
    EXPECT_EQ(-1, found[0].seed);
    EXPECT_EQ(1, found[1].seed);
    EXPECT_EQ(500u, found[1].offset);
    EXPECT_EQ(kAssemblySeed, found[2].seed);
    EXPECT_EQ(1, found[3].seed);
    EXPECT_EQ(500u, found[3].offset);
    EXPECT_EQ(2, found[4].seed);
    PatchPlan plan = planPatch(index, found);
    EXPECT_EQ("copy 500->1000+2000;copy 500->6000+2000;copy 40->8000+5000;get 0+1000 #0x1;", describe(plan));
}

TEST(PatchPlan, TooLittleToGain) {
    const ChunkIndex index = indexOf(std::vector<uint32_t>(32, 1000));  // 32000 bytes
    struct Case {
        std::string pattern;
        bool worthwhile;
    } cases[] = {
        {std::string(32, '.'), false},
        {"k" + std::string(31, '.'), false},  // 1000 of 32000: under a sixteenth
        {"kc" + std::string(30, '.'), true},  // 2000: a sixteenth
        {std::string(32, 'c'), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.worthwhile, patchWorthwhile(planPatch(index, sources(index, c.pattern)), index.fileSize))
            << c.pattern;
}

TEST(PatchPlan, RequestsSpreadOverTheConnections) {
    struct Case {
        uint64_t fetchBytes;
        int connections;
        uint64_t size;
    } cases[] = {
        {10485760, 6, 1747627},     // 10 MiB of changes: a sixth each
        {10485760, 1, 10485760},    // one connection: one request up to 16 MiB
        {100000, 6, 262144},        // little to fetch: no request under 256 KiB
        {1073741824, 6, 16777216},  // everything: 16 MiB at most
        {5000000, 0, 5000000},      // no connection count: one
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.size, patchRequestSize(c.fetchBytes, c.connections))
            << c.fetchBytes << "/" << c.connections;
}
