// One transfer of a listed file into a temp file: the transfers a stage shares (their byte count and
// the flag that ends them all), the bounded, hashing write sink, and one attempt of a whole file.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <string>

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
    HANDLE file = INVALID_HANDLE_VALUE;  // borrowed from the caller
    Sha256* hasher = nullptr;
    TransferGroup* group = nullptr;
    std::atomic<uint64_t>* fileCounter = nullptr;
    uint64_t limit = 0;
    uint64_t written = 0;
    DWORD writeError = 0;
};

bool writeSinkCallback(void* context, const uint8_t* data, size_t length, uint64_t total);

// One attempt: Done when the temp file holds the listed bytes; Unavailable, Mismatch, WriteFailed,
// DiskFull or Stopped otherwise, with the entry's path.
StepResult downloadToTemp(TransferGroup& group, HINTERNET connection, const ManifestEntry& entry,
                          const std::wstring& tempPath, std::atomic<uint64_t>* fileCounter);
// Takes a failed attempt's bytes back out of the group's count (and the file's counter) and reports
// the lower total, so that progress never keeps bytes that no longer count.
void takeBackBytes(TransferGroup& group, std::atomic<uint64_t>* fileCounter, uint64_t bytes);
