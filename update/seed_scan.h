// Finding a file's chunks among the player's own files before the file is patched: in the file
// being assembled (a temp file an earlier run left), only chunks already at their own place count;
// in the file now at the target path, whatever its content, the index's own cuts find every chunk
// wherever an edit moved it. What the seeds are found to hold is handed to the assembly as it is
// found.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "update/patch_cursor.h"
#include "update/patch_plan.h"

// (context) -> true when scanning must end now (a stop request). Asked between chunks.
using ScanStopFn = bool (*)(void* context);
// (context) after every few megabytes of a seed: the chunks found so far may be used.
using ScanBatchFn = void (*)(void* context);

struct SeedScanResult {
    bool stopped = false;
    uint64_t bytesRead = 0;  // what the scan read, for the log
};

// Marks as found in the assembly seed (kAssemblySeed) every chunk of the index that the file at
// `path` holds at the chunk's own offset. A missing or unreadable file marks nothing.
SeedScanResult scanAssemblySeed(const std::wstring& path, const ChunkIndex& index,
                                std::vector<ChunkSource>& found, ScanStopFn stop, void* context);

// Cuts the file at `path` with the index's parameters and marks, as seed `seed`, every chunk of
// the index it holds that has no source yet. A missing or unreadable file marks what was read.
SeedScanResult scanSeedFile(const std::wstring& path, int seed, const ChunkIndex& index,
                            const ChunkLookup& lookup, std::vector<ChunkSource>& found, ScanStopFn stop,
                            void* context, ScanBatchFn batch = nullptr, void* batchContext = nullptr);

struct PatchScan {
    bool stopped = false;
    bool worthwhile = false;         // the player's files hold enough of the file (patchWorthwhile)
    std::vector<FetchRange> ranges;  // what to fetch, numbered as the cursor's ranges
    uint64_t keptBytes = 0;
    uint64_t copiedBytes = 0;
    uint64_t fetchBytes = 0;
    uint64_t bytesRead = 0;
};

// Reads the seeds (the file being assembled, in place; then seed 1, the file at the target path)
// and hands the cursor every part of the plan as soon as all of its chunks are found, so that the
// assembly runs while the seeds are still being read; at the end, the rest of the plan with the
// ranges to fetch. A stop, or too little to gain, gives the plan up (abandonPatchPlan).
// The ranges are sized by patchRequestSize for `connections`.
PatchScan planFromSeeds(PatchCursor& cursor, const ChunkIndex& index, const std::wstring& assemblyPath,
                        const std::wstring& seedPath, int connections, ScanStopFn stop, void* context);
