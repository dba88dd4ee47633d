// The records of one download stage: the files to fetch, the jobs (whole files and 16 MiB ranges)
// the workers take, and the stage's shared bookkeeping under its lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/contained_path.h"
#include "base/handles.h"
#include "base/retry.h"
#include "protocol/hash_cache.h"
#include "update/hash_cursor.h"
#include "update/step_result.h"
#include "update/transfer.h"

struct ChunkIndexRef;
struct ManifestEntry;
struct PatchState;

// What a download stage is told: the game folder and the settings of the run it uses.
struct DownloadSettings {
    std::wstring rootFolder;
    int connectionCount = 6;
    RetryPolicy wholeFile;     // a file in one stream
    RetryPolicy range;         // one range of a split file
    RetryPolicy heldFile;      // a target another program holds for a moment
    uint32_t speedCapKiB = 0;  // shared by every transfer of the stage; 0 none
};

struct DownloadItem {
    const ManifestEntry* entry = nullptr;
    std::wstring targetPath;
    std::wstring tempPath;  // targetPath + ".indir"
    // The one handle to the temp file from its creation to its move: shared by the workers of a
    // split file (each writes at its range's place), closed once the file is committed or deleted.
    UniqueFile temp;
    int chunkCount = 0;
    // Split files only: which ranges have ended and how far the file is hashed.
    std::unique_ptr<HashCursor> cursor;
    std::atomic<bool> failed{false};
    std::atomic<uint64_t> receivedBytes{0};
    std::atomic<uint32_t> mirrorHosts{0};  // bit n-1: mirror n delivered the file or one of its ranges
    int activeWorkers = 0;                 // under the run's lock
    bool committed = false;                // under the run's lock
    // Files the list has a chunk index for, with something on disk to patch from. A file whose patch
    // failed is fetched whole and never patched again in the run.
    const ChunkIndexRef* chunkIndex = nullptr;
    bool patchable = false;
    std::atomic<bool> patchFailed{false};
    std::shared_ptr<PatchState> patch;  // while the file is patched
    std::string logNote;                // added to the line that logs the file's move into place
};

struct DownloadJob {
    int itemIndex = 0;
    int chunkIndex = -1;  // -1: the whole file (or, patching, the patch's start); else the range
    uint64_t offset = 0;
    uint64_t length = 0;
    bool patch = false;  // a part of the file's patch rather than of its whole download
};

// One download stage. Lock order: the run's lock, then the status lock or a hash cursor's lock;
// never the other way round.
struct DownloadRun {
    DownloadRun(DownloadSettings stageSettings, const RunServices& services)
        : settings(std::move(stageSettings)), transfers(services) {}

    const DownloadSettings settings;
    TransferGroup transfers;                // the run's parts, the byte count and the abort of the stage
    ContainedRoot root;                     // the game folder; nothing is written through a link below it
    std::atomic<bool> rangeRefused{false};  // the server ignored a range: ranges are skipped from then on
    std::mutex lock;                        // guards what follows, the items' activeWorkers and committed
    std::vector<DownloadItem> items;        // largest first
    std::deque<DownloadJob> jobs;
    std::condition_variable jobsChanged;  // jobs were added, or a patch ended
    int openPatches = 0;                  // patches that may still add jobs: workers wait for them
    HashCache* cache = nullptr;
    int finished = 0;
    StepResult firstFailure;     // Done until a file fails for good; only the first is reported
    std::exception_ptr failure;  // first exception on a download thread, rethrown on the caller's

    // Set by planning and queueing, read-only while the workers run.
    uint64_t totalBytes = 0;
    int splitFiles = 0;
};

struct HeldFileWait;
// The waits for a held target under the stage's policy, ended by the stage's stop.
[[nodiscard]] HeldFileWait heldFileWait(DownloadRun& run);

constexpr uint64_t kSplitThreshold = 33554432;  // files above 32 MiB are split
constexpr uint64_t kRangeSize = 16777216;
// How far the transfers of a split file may run ahead of its hashing: one range per connection and
// this many more. Beyond that the processor time goes to the hashing, so the file is verified a few
// ranges after its last byte instead of a long pass later.
constexpr int kHashWindowExtra = 2;
