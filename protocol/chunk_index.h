// The chunk index of a published file: its chunking parameters and, per chunk, the length, the
// fingerprint and the strong check, stored as an object under obj/ named by its own SHA-256 and
// named in the list by a "P" record beside the file's hash. Also every check a reader makes before
// it relies on one (the index's hash itself is checked by whoever fetched it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/content_chunker.h"

struct ChunkEntry {
    uint64_t offset = 0;  // not stored: the sum of the lengths before it
    uint32_t length = 0;
    uint64_t fingerprint = 0;
    uint8_t strong[16] = {};
};

struct ChunkIndex {
    ChunkParams params;
    uint64_t fileSize = 0;
    std::vector<ChunkEntry> chunks;
};

constexpr uint64_t kChunkIndexThreshold = 4194304;  // files of 4 MiB and more are indexed
constexpr uint64_t kChunkIndexHeaderSize = 32;
constexpr uint64_t kChunkIndexEntrySize = 28;
// Beyond this many chunks an index is not read: it would hold tens of megabytes in memory.
constexpr uint64_t kMaxIndexChunks = 524288;

// The size of an index of `chunkCount` chunks.
uint64_t chunkIndexSize(uint64_t chunkCount);

// The index's bytes; the chunks' offsets are not written.
std::string formatChunkIndex(const ChunkIndex& index);

enum class ChunkIndexFault {
    None,
    BadHeader,      // too short, or not this format
    BadParams,      // parameters outside the bounds every reader accepts
    WrongFileSize,  // describes a file of another size than the list's
    BadSize,        // the byte count does not match the chunk count, or too many chunks
    BadLength,   // a chunk of length 0, longer than the maximum, or (but the last) shorter than the minimum
    WrongTotal,  // the lengths do not add up to the file's size
};

// Reads and checks an index for a file of `fileSize` bytes; on None, index holds it with offsets.
ChunkIndexFault parseChunkIndex(std::string_view bytes, uint64_t fileSize, ChunkIndex& index);
// The fault in a log line's words (ASCII Turkish).
const char* chunkIndexFaultText(ChunkIndexFault fault);
