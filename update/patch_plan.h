// Planning a file's patch from its chunk index: which chunks the player's own files (the seeds)
// hold, which of them are already in place in the file being assembled, what to copy from where,
// and which byte ranges of the file's whole object to fetch, neighbours joined up to one request.
// Pure bookkeeping: reading the seeds and moving the bytes belong to the callers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "protocol/chunk_index.h"

// Seed 0 is the file being assembled (a temp file an earlier run left); a chunk found there at its
// own place needs no copy. Other seeds are numbered by the caller.
constexpr int kAssemblySeed = 0;

// Where a chunk of the index was found locally; seed -1 means nowhere.
struct ChunkSource {
    int seed = -1;
    uint64_t offset = 0;
};

// The index's chunks sorted by fingerprint, to find a seed's chunks among them.
struct ChunkLookup {
    std::vector<std::pair<uint64_t, uint32_t>> byFingerprint;  // (fingerprint, chunk number)
};

ChunkLookup buildChunkLookup(const ChunkIndex& index);

// A chunk of a seed, cut with the index's parameters: every chunk of the index with the same
// fingerprint and length that has no source yet takes this one. Returns how many did.
int markSeedChunk(const ChunkIndex& index, const ChunkLookup& lookup, std::vector<ChunkSource>& found,
                  int seed, uint64_t seedOffset, uint32_t length, uint64_t fingerprint);

// Consecutive chunks from consecutive bytes of one seed.
struct SeedCopy {
    int seed = 0;
    uint64_t seedOffset = 0;
    uint64_t targetOffset = 0;
    uint64_t length = 0;
};

// Consecutive missing chunks, fetched as one range of the whole object.
struct FetchRange {
    uint64_t offset = 0;
    uint64_t length = 0;
    uint32_t firstChunk = 0;
    uint32_t chunkCount = 0;
};

struct PatchPlan {
    uint64_t begin = 0;  // the part of the file planned: [begin, end)
    uint64_t end = 0;
    std::vector<SeedCopy> copies;    // in file order
    std::vector<FetchRange> ranges;  // in file order
    uint64_t keptBytes = 0;          // already in place in the file being assembled
    uint64_t copiedBytes = 0;
    uint64_t fetchBytes = 0;
    uint64_t localBytes() const { return keptBytes + copiedBytes; }
};

constexpr uint64_t kMaxPatchRequest = 16777216;  // one range request fetches at most 16 MiB
constexpr uint64_t kMinPatchRequest = 262144;    // below this, one more request costs more than it spreads

// How much one request of a patch may fetch: what is missing spread over the connections, so that
// a few megabytes of changes do not ride one connection while the others idle; 256 KiB to 16 MiB.
uint64_t patchRequestSize(uint64_t fetchBytes, int connections);

// found holds one source per chunk of the index. A chunk "found" in the file being assembled at
// another place than its own is fetched: that file is overwritten while it is assembled. Plans
// chunks [firstChunk, endChunk), by default all of them.
PatchPlan planPatch(const ChunkIndex& index, const std::vector<ChunkSource>& found,
                    uint64_t maxRequest = kMaxPatchRequest, size_t firstChunk = 0,
                    size_t endChunk = SIZE_MAX);

// The end of the run of chunks from firstChunk on whose source is already known: while seeds are
// still being read, that part of the file can be assembled already, since a chunk's source, once
// found, stays.
size_t decidedChunksEnd(const ChunkIndex& index, const std::vector<ChunkSource>& found, size_t firstChunk);

// Too little to gain: patching pays for the index and for reading the seeds, so it is used only
// when the player's files hold at least a sixteenth of the file.
bool patchWorthwhile(const PatchPlan& plan, uint64_t fileSize);
