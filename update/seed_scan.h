// Finding a file's chunks among the player's own files before the file is patched: in the file
// being assembled (a temp file an earlier run left), only chunks already at their own place count;
// in the file now at the target path, whatever its content, the index's own cuts find every chunk
// wherever an edit moved it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "update/patch_plan.h"

// (context) -> true when scanning must end now (a stop request). Asked between chunks.
using ScanStopFn = bool (*)(void* context);

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
                            void* context);
