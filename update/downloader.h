// The parallel downloader: plans the files to fetch, splits large ones into 16 MiB ranges, runs up
// to connectionCount workers (each with its own connection) and commits every verified file.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <string>
#include <vector>

#include "update/hashing.h"
#include "update/http_client.h"

struct Manifest;
struct ManifestEntry;
struct Updater;

struct DownloadItem {
    const ManifestEntry* entry = nullptr;
    std::wstring targetPath;
    std::wstring tempPath;  // targetPath + ".indir"
    int chunkCount = 0;
    std::atomic<int> remainingChunks{0};
    std::atomic<bool> failed{false};
    std::atomic<uint64_t> receivedBytes{0};
    int activeWorkers = 0;   // under statusMutex
    bool committed = false;  // under statusMutex
};

struct DownloadJob {
    int itemIndex = 0;
    int chunkIndex = -1;  // -1: the whole file
    uint64_t offset = 0;
    uint64_t length = 0;
};

struct DownloadRun {
    std::vector<DownloadItem> items;  // largest first
    std::deque<DownloadJob> jobs;
    HashCache* cache = nullptr;
    int finished = 0;
    int error = 0;
    std::wstring errorPath;
    uint64_t totalBytes = 0;
    int splitFiles = 0;
    std::exception_ptr failure;  // first exception on a download thread, rethrown on the caller's
};

constexpr uint64_t kSplitThreshold = 33554432;  // files above 32 MiB are split
constexpr uint64_t kRangeSize = 16777216;

// True when every listed file is in place; false after reportError or on a stop request.
bool runDownloader(Updater& u, const Manifest& manifest, const std::vector<uint32_t>& indices,
                   HashCache& cache);
// Caller holds statusMutex.
void refreshDownloadStatus(Updater& u, DownloadRun& run);

// The stages of runDownloader, exposed for tests. Each returns false after reporting an error.
// Items largest first, parent folders created, locked targets refused before anything is fetched.
bool planDownloadItems(Updater& u, const Manifest& manifest, const std::vector<uint32_t>& indices,
                       DownloadRun& run);
// One job per small file, 16 MiB ranges of a preallocated temp file per large one.
bool queueDownloadJobs(Updater& u, DownloadRun& run);
// 0 done, 1 failed, 3 write error, 4 disk full, 5 cancelled, 6 the server ignored the range.
int downloadChunk(Updater& u, HINTERNET connection, DownloadItem& item, const DownloadJob& job);
void deleteUncommittedTemps(Updater& u, DownloadRun& run);
