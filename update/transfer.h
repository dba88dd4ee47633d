// One transfer of a listed file into a temp file: the transfers a stage shares (their byte count and
// the signal that ends them all), the one handle that holds a temp file from its creation to its
// move, the bounded, hashing write sink, and one attempt of a whole file.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "base/contained_path.h"
#include "base/handles.h"
#include "base/stop_signal.h"
#include "update/run_services.h"
#include "update/step_result.h"

struct ManifestEntry;
struct Sha256;

// The transfers of one download stage (the run's files, or the launcher's own): the run's parts
// they use, the bytes they received, shown as progress, and their stop signal, which follows the
// run's and is also raised for the group alone after its first failure.
struct TransferGroup {
    explicit TransferGroup(const RunServices& services) : run(services), stop(&services.stop) {}
    TransferGroup(const TransferGroup&) = delete;
    TransferGroup& operator=(const TransferGroup&) = delete;

    RunServices run;
    StopSignal stop;
    std::atomic<uint64_t> bytesReceived{0};
};

// True once the run was asked to stop or the group was aborted.
[[nodiscard]] bool isCancelled(const TransferGroup& group);
// Ends every transfer of the group, and every pause between its attempts, at once.
void abortGroup(TransferGroup& group);

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
// Takes a failed attempt's bytes back out of the group's count (and the file's counter) and reports
// the lower total, so that progress never keeps bytes that no longer count.
void takeBackBytes(TransferGroup& group, std::atomic<uint64_t>* fileCounter, uint64_t bytes);
