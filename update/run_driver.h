// One update run on the worker thread: verify the list, news, self-update, scan with the hash
// cache, download, clean up, create folders, save state, Ready.
#pragma once

#include <cstdint>
#include <vector>

#include "protocol/hash_cache.h"

struct Manifest;
struct Updater;

void runUpdate(Updater& u, bool fullScan, bool checkOnly);

// The scan step of a run: compares every listed file but the top-level launcher with the disk (by
// size, then by hash unless the cache vouches for it) and appends the indices to fetch. Publishes
// Scanning progress. False when a stop was requested.
bool scanListedFiles(Updater& u, const Manifest& manifest, HashCache& cache, bool fullScan,
                     std::vector<uint32_t>& downloadList, int& filesCounted, uint64_t& bytesCounted);
