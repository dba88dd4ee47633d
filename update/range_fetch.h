// Fetching byte ranges of a file's whole object into the file being assembled, checked chunk by
// chunk against the signed chunk index as they arrive: a chunk is held in memory until its
// SHA-256 prefix matches, and only then written at its place, so nothing from the server enters the
// file unchecked. The sink here knows nothing of the server; whoever makes the request (one
// server or another) hands it the body.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "protocol/chunk_index.h"
#include "update/patch_plan.h"

// (context) -> true when the transfer must end now.
using FetchStopFn = bool (*)(void* context);
// (context, bytes) for every block taken (positive) or given back after a failure (negative).
using FetchCountFn = void (*)(void* context, int64_t bytes);

struct ChunkCheckSink {
    ChunkCheckSink(HANDLE file, const ChunkIndex& index, const FetchRange& range);

    HANDLE file;  // borrowed: the file being assembled, open for writing
    const ChunkIndex& index;
    const FetchRange range;
    FetchStopFn stop = nullptr;
    FetchCountFn count = nullptr;
    void* context = nullptr;

    ChunkDigester digester;
    std::unique_ptr<uint8_t[]> buffer;  // the chunk being received, up to the index's maximum
    uint32_t chunk = 0;                 // the chunk the next byte belongs to
    uint32_t held = 0;                  // its bytes received so far
    uint64_t received = 0;              // bytes taken from the body
    uint64_t written = 0;               // bytes checked and written
    bool mismatch = false;              // a chunk failed its check
    DWORD writeError = 0;

    bool complete() const { return !mismatch && writeError == 0 && written == range.length; }
};

// The HTTP sink: false (the body is cut off) on a stop, a chunk that fails its check, a failed
// write, or bytes beyond the range.
bool chunkCheckSinkCallback(void* context, const uint8_t* data, size_t length, uint64_t total);
