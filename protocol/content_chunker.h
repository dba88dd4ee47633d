// Content-defined chunking, as the publisher and the launcher must both do it: where a file is cut
// (a Gear rolling hash with normalised cut masks), the 64-bit fingerprint a chunk is found by, and
// the 16-byte SHA-256 prefix a fetched chunk is checked against. An edit moves only the cuts near it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/handles.h"

struct ChunkParams {
    uint32_t minSize = 0;  // no cut before this many bytes (only the last chunk may be shorter)
    uint32_t avgSize = 0;  // a power of two: where the cut mask eases
    uint32_t maxSize = 0;  // a cut here at the latest
};

// The parameters the publisher writes into new indexes.
ChunkParams defaultChunkParams();

// Within the bounds every reader accepts: 1 KiB <= min <= avg <= max <= 4 MiB, avg a power of two
// from 4 KiB to 1 MiB. Larger chunks would make a launcher hold more than it should in memory.
bool chunkParamsSane(const ChunkParams& params);

// The length of the next chunk at data[0..available): the first cut point, or `available` when
// none lies within it. The caller offers at least maxSize bytes unless the file ends sooner, so
// that the cut does not depend on how the file was read.
size_t findChunkCut(const uint8_t* data, size_t available, const ChunkParams& params);

// The chunk's fingerprint: how a launcher finds in its own files the chunks an index lists.
uint64_t chunkFingerprint(const uint8_t* data, size_t length);

// Entry i of the Gear table (exposed for the format's known-answer tests).
uint64_t gearValue(uint8_t byte);

// SHA-256 of many small chunks through one algorithm handle (opening one per chunk costs more
// than hashing it). A chunk's strong check is the first 16 bytes of its SHA-256.
struct ChunkDigester {
    ChunkDigester();
    // False when CNG refused; strong is then zeroed, which no index entry can rely on matching.
    bool digest(const uint8_t* data, size_t length, uint8_t strong[16]);

    UniqueAlgorithm algorithm;
    bool ready = false;
};

// A cut chunk, pointing into the reader's buffer until the next call.
struct ChunkView {
    uint64_t offset = 0;
    const uint8_t* data = nullptr;
    uint32_t length = 0;
};

// Reads an open file from its current position and cuts it into chunks, holding at most a few
// maximum chunk lengths in memory.
struct ChunkReader {
    ChunkReader(HANDLE file, const ChunkParams& params);  // the handle is borrowed
    // The next chunk; false at the end of the file or on a read error (error is then set).
    bool next(ChunkView& chunk);

    HANDLE file;
    ChunkParams params;
    std::unique_ptr<uint8_t[]> buffer;
    size_t capacity = 0;
    size_t start = 0;     // the first byte not yet handed out
    size_t filled = 0;    // bytes of the buffer holding file data
    uint64_t offset = 0;  // file offset of buffer[start]
    bool atEnd = false;
    DWORD error = 0;
};
