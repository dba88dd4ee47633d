// The publisher's side of chunk indexes: hashing a game file and, for large ones, building its index
// in the same time on a second thread; storing an index object; and checking a published index
// against the object it describes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/sha256.h"
#include "protocol/chunk_index.h"

struct HashedFile {
    std::string hash;  // empty when the file could not be read (error says why)
    uint64_t size = 0;
    std::string index;  // the chunk index's bytes; empty for a file that is not indexed
    DWORD error = 0;
    bool changed = false;  // the index saw another file than the hash did: it changed meanwhile
};

// The file's SHA-256 through hashFile (progress as there) and, when withIndex is set and the file
// has at least kChunkIndexThreshold bytes, its index cut with params, built on a second thread.
HashedFile hashPublishedFile(const std::wstring& path, bool withIndex, const ChunkParams& params,
                             HashProgressFn progress, void* context);

// Reads a file once and cuts it with params into an index; false with the read's error.
bool buildChunkIndex(const std::wstring& path, const ChunkParams& params, ChunkIndex& index, DWORD& error);

// Places an index object under its address in the server tree unless an intact copy is there.
// 0 or the system error; *written says whether bytes were written.
DWORD storeIndexObject(const std::wstring& serverFolder, const std::string& indexBytes,
                       const std::string& indexHash, bool* written);

// Reads a published object once: its SHA-256 into wholeHash, and whether its own cuts, lengths,
// fingerprints and strong checks are those of the index. Empty when they are; otherwise the
// problem, in the operator's two languages.
std::wstring checkIndexedObject(const std::wstring& objectFile, const ChunkIndex& index,
                                std::string& wholeHash);
