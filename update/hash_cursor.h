// Hashing a split file while its ranges arrive: a cursor follows the contiguous prefix of finished
// ranges and reads each one back from the temp file once, in order, while it is still in the file
// cache. The file is thus hashed in a single pass that overlaps the transfer, and its digest is
// ready a moment after the last range instead of one whole read of the file later.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/sha256.h"

// (context) -> true when hashing must end now: a stop, another file's failure, a failed range. Once
// true it must stay true for the rest of the run.
using CursorStopFn = bool (*)(void* context);

struct HashCursor {
    HashCursor(std::wstring path, uint64_t size, uint64_t rangeSize);
    HashCursor(const HashCursor&) = delete;
    HashCursor& operator=(const HashCursor&) = delete;

    const std::wstring path;  // the temp file the ranges are written into
    const uint64_t size;
    const uint64_t rangeSize;

    std::mutex lock;            // guards what follows up to the digest
    std::vector<bool> arrived;  // per range: all of its bytes are in the file
    int unsettled = 0;          // ranges whose transfer has not ended yet, either way
    int next = 0;               // the first range not hashed yet
    bool hashing = false;       // one thread at a time owns the digest, the buffer and the cursor
    bool broken = false;        // a read failed or hashing was cut off: the digest is lost
    bool claimed = false;       // the file has been handed to the thread that finishes it
    Sha256 digest;
    std::unique_ptr<unsigned char[]> buffer;
    std::condition_variable progressed;  // the cursor moved on, broke, or handed the file on
};

int rangeCount(const HashCursor& cursor);

// The transfer of range `index` has ended; `arrived` says whether all of its bytes are in the file.
// Unless another thread is hashing, the caller then hashes every range from the cursor on that has
// arrived, in order, until it reaches one that has not, or stop(context) says so (checked between
// blocks of 1 MiB). Returns true to exactly one caller: the one that leaves the cursor idle after
// every range has ended. That caller finishes the file; no thread holds the temp file open by then.
bool settleRange(HashCursor& cursor, int index, bool arrived, CursorStopFn stop, void* context);

// True when a transfer may start range `index` now: the cursor is fewer than `window` ranges
// behind it, or can no longer advance. Holding transfers back to that window keeps the hashing
// from trailing the last byte by more than a few ranges when processors are scarce.
bool rangeMayStart(HashCursor& cursor, int index, int window);
// Waits up to `timeoutMs` for rangeMayStart to become true.
void waitForRange(HashCursor& cursor, int index, int window, unsigned timeoutMs);

// For the thread that settleRange chose: the file's hash text, or empty when a range is missing, a
// read failed or hashing was stopped.
std::string cursorHash(HashCursor& cursor);
