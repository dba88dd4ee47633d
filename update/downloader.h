// The parallel downloader: plans the files to fetch, splits large ones into 16 MiB ranges, runs up
// to connectionCount workers (each with its own connection) and commits every verified file.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "update/hashing.h"

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
    int activeWorkers = 0;  // under statusMutex
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
};

constexpr uint64_t kSplitThreshold = 33554432;  // files above 32 MiB are split
constexpr uint64_t kRangeSize = 16777216;

// True when every listed file is in place; false after reportError or on a stop request.
bool runDownloader(Updater& u, const Manifest& manifest, const std::vector<uint32_t>& indices, HashCache& cache);
// Caller holds statusMutex.
void RefreshDownloadStatus(Updater& u, DownloadRun& run);
