// Assembling a patched file in order: chunks already in place are read from the file being
// assembled, copied ones read from their seed (and written into the file by a helper thread
// meanwhile), fetched ones read back once their range has arrived; all of it goes into the file's
// SHA-256 in file order, by one thread at a time. The plan may still grow while the assembly runs
// (the seeds are still being read), so the digest that gates the move is ready a moment after the
// last range has arrived instead of a whole read of the file later.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/sha256.h"
#include "update/patch_plan.h"

enum class SegmentKind { Kept, Copied, Fetched };

struct PatchSegment {
    SegmentKind kind = SegmentKind::Kept;
    uint64_t offset = 0;  // in the file being assembled
    uint64_t length = 0;
    int seed = 0;             // Copied: the seed it comes from
    uint64_t seedOffset = 0;  // Copied: where in that seed
    int range = -1;           // Fetched: the plan's range number
};

// The plan as consecutive segments that cover [plan.begin, plan.end): what the plan neither copies
// nor fetches is kept in place.
std::vector<PatchSegment> patchSegments(const PatchPlan& plan);

// (context) -> true when assembling must end now: a stop, a failed range, another file's failure.
// Once true it stays true for the rest of the run.
using PatchStopFn = bool (*)(void* context);
// (context, bytes) for every block taken from the player's disk (kept or copied), for progress.
using LocalBytesFn = void (*)(void* context, uint64_t bytes);

struct PatchCallbacks {
    PatchStopFn stop = nullptr;
    LocalBytesFn localBytes = nullptr;
    void* context = nullptr;
};

struct PatchCursor {
    // With `assemblyFile`, the file being assembled is read and written through that handle (the
    // caller's, open for reading and writing until the file is finished) instead of being opened
    // by its path: a temp file that no other program may write while it is assembled.
    PatchCursor(std::wstring assemblyPath, std::vector<std::wstring> seedPaths,
                HANDLE assemblyFile = INVALID_HANDLE_VALUE);
    PatchCursor(const PatchCursor&) = delete;
    PatchCursor& operator=(const PatchCursor&) = delete;

    const std::wstring path;                // the file being assembled
    const std::vector<std::wstring> seeds;  // by seed number; seed 0 is the file being assembled
    const HANDLE file;                      // borrowed, or INVALID_HANDLE_VALUE

    std::mutex lock;                     // guards what follows up to the digest
    std::condition_variable grown;       // segments were added, or the plan completed or was given up
    std::vector<PatchSegment> segments;  // in file order; grows until `planned`
    bool planned = false;                // every segment is known, the ranges with them
    std::vector<bool> arrived;           // per range
    int unsettled = 0;                   // ranges whose transfer has not ended yet, either way
    size_t next = 0;                     // the first segment not assembled yet
    bool working = false;                // one thread at a time owns the digest, the buffers and the cursor
    bool broken = false;                 // a read or write failed, a stop, or the plan was given up
    bool claimed = false;                // handed to the thread that finishes the file
    DWORD error = 0;                     // why it broke: the failed call's error, ERROR_OPERATION_ABORTED
    Sha256 digest;
};

// For the planner: the segments decided since the last call, continuing where those ended; with
// `complete`, the last ones and the number of ranges the plan fetches.
void addPatchSegments(PatchCursor& cursor, const std::vector<PatchSegment>& more, bool complete,
                      int rangeCount);
// For a planner that gives up (a stop, too little to gain): no digest, and nobody waits for more.
void abandonPatchPlan(PatchCursor& cursor, DWORD error);

// Range `range` has ended (-1: none, for the thread that starts the assembly, which also waits for
// the planner while the plan grows); `arrived` says whether all of its chunks passed their checks
// and are in the file. Unless another thread is assembling, the caller then assembles every
// segment it can, in order, until it reaches a range that has not arrived, or the callbacks say
// stop. Returns true to exactly one caller: the one that leaves the cursor idle once the plan is
// complete and every range has ended. It finishes the file; no thread of the cursor holds the file
// or a seed open by then.
bool settlePatchRange(PatchCursor& cursor, int range, bool arrived, const PatchCallbacks& callbacks);

// For the thread settlePatchRange chose: the assembled file's hash text, or empty when a segment is
// missing, a read or write failed, or the assembly was stopped or given up.
std::string patchCursorHash(PatchCursor& cursor);
