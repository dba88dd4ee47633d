// One update run on the worker thread: verify the list, news, self-update, scan with the hash
// cache, download, clean up, create folders, save state, Ready.
#pragma once

#include <cstdint>
#include <vector>

#include <string>

#include "base/stop_signal.h"
#include "protocol/hash_cache.h"
#include "update/step_result.h"

class LiveStatus;
struct Manifest;
struct Updater;

// Reports the run's error, if any, to the status: the only place besides the worker that does.
void runUpdate(Updater& updater, bool fullScan, bool checkOnly);

// What the scan covered: every listed file but the top-level launcher.
struct ScanCounts {
    int files = 0;
    uint64_t bytes = 0;
};

// The scan step of a run: compares every listed file but the top-level launcher with the disk (by
// size, then by hash unless the cache vouches for it) and appends the indices to fetch. Publishes
// Scanning progress. Done, or Stopped when a stop was requested.
StepResult scanListedFiles(const std::wstring& rootFolder, const StopSignal& stop, LiveStatus& status,
                           const Manifest& manifest, HashCache& cache, bool fullScan,
                           std::vector<uint32_t>& downloadList, ScanCounts& counted);
