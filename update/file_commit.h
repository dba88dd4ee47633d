// Moving one downloaded file into place: the transfers a download stage shares, the one handle that
// holds a temp file from its creation to its move, the bounded, hashing write sink, the transfer
// into the ".indir" temp file, the whole-file retries, and the replacing move through that handle.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "base/contained_path.h"
#include "base/handles.h"
#include "update/step_result.h"

struct DownloadItem;
struct DownloadRun;
struct ManifestEntry;
struct Sha256;
struct Updater;

// The transfers of one download stage (the run's files, or the launcher's own): the bytes they
// received, shown as progress, and the flag that ends all of them after the first failure.
struct TransferGroup {
    explicit TransferGroup(Updater& owner) : updater(owner) {}
    Updater& updater;
    std::atomic<bool> aborted{false};
    std::atomic<uint64_t> bytesReceived{0};
};

// True once a stop was requested or the group was aborted.
bool isCancelled(const TransferGroup& group);

struct WriteSink {
    HANDLE file = INVALID_HANDLE_VALUE;  // borrowed from the caller; several sinks may share it
    uint64_t start = 0;                  // where in the file the first byte belongs
    Sha256* hasher = nullptr;
    TransferGroup* group = nullptr;
    std::atomic<uint64_t>* fileCounter = nullptr;
    uint64_t limit = 0;
    uint64_t written = 0;
    DWORD writeError = 0;
};

bool writeSinkCallback(void* context, const uint8_t* data, size_t length, uint64_t total);

// Creates the temp file root + relativeTemp anew (whatever lay under that name is deleted first, never
// written through) and checks that it lies there, no junction or link on the way. The handle reads,
// writes and may move or delete the file; other programs may read it but not write, move or delete
// it while the handle is open. WriteFailed (kLinkOnTheWay when a link was met) or DiskFull with
// listedPath on failure, and then nothing is left at the name.
StepResult openTempFile(const ContainedRoot& root, const std::wstring& relativeTemp,
                        const std::wstring& listedPath, UniqueFile& file);
// One attempt into the open temp file, emptied first: Done when it holds the listed bytes (flushed
// to the disk); Unavailable, Mismatch, WriteFailed, DiskFull or Stopped otherwise, with the entry's
// path. The file stays open either way.
StepResult downloadToTemp(TransferGroup& group, HINTERNET connection, const ManifestEntry& entry, HANDLE file,
                          std::atomic<uint64_t>* fileCounter);
// Up to three attempts, then the commit. Done, or Stopped when the run was cancelled; otherwise
// the failure to report (Failed after three failed attempts).
StepResult downloadWhole(DownloadRun& run, HINTERNET connection, DownloadItem& item);
// The move of the item's open temp file over the target, through its handle, and the hash cache's
// stamp read from that handle: Done, Locked or WriteFailed (the temp file is then removed).
StepResult commitFile(DownloadRun& run, DownloadItem& item);
// Takes a failed attempt's bytes back out of the group's count (and the file's counter) and reports
// the lower total, so that progress never keeps bytes that no longer count.
void takeBackBytes(TransferGroup& group, std::atomic<uint64_t>* fileCounter, uint64_t bytes);
// Pauses seconds × 10 steps of 100 ms, ending early when the group is cancelled.
void pauseSeconds(const TransferGroup& group, int seconds);
