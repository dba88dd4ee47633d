// Moving one downloaded file into place: the bounded, hashing write sink, the transfer into the
// ".indir" temp file, the whole-file retries, and the replacing write-through move.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <string>

struct DownloadItem;
struct DownloadRun;
struct ManifestEntry;
struct Sha256;
using StreamHasher = Sha256;
struct Updater;

struct WriteSink {
    HANDLE file = INVALID_HANDLE_VALUE;
    StreamHasher* hasher = nullptr;
    Updater* updater = nullptr;
    std::atomic<uint64_t>* fileCounter = nullptr;
    uint64_t limit = 0;
    uint64_t written = 0;
    DWORD writeError = 0;
};

bool writeSinkCallback(void* context, const uint8_t* data, size_t length, uint64_t total);

// 0 verified, 1 HTTP failure, 2 length or hash differ, 3 file error, 4 disk full, 5 cancelled.
int downloadToTemp(Updater& u, HINTERNET connection, const ManifestEntry& entry, const std::wstring& tempPath,
                   std::atomic<uint64_t>* fileCounter);
// Error codes for the run: 0 success (or stopped), 3 file, 4 locked, 5 failed attempts, 6 disk full.
int downloadWhole(Updater& u, HINTERNET connection, DownloadItem& item, DownloadRun& run);
int commitFile(Updater& u, DownloadItem& item, DownloadRun& run);
// Takes a failed attempt's bytes back out of bytesReceived (and the file's counter) and reports the
// lower total, so that progress never keeps bytes that no longer count.
void takeBackBytes(Updater& u, std::atomic<uint64_t>* fileCounter, uint64_t bytes);
// Pauses seconds × 10 steps of 100 ms, ending early on stopRequested or abortDownloads.
void pauseSeconds(Updater& u, int seconds);
