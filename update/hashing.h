// SHA-256 of files on disk, and the persistent hash cache koruma\onbellek.txt that spares unchanged
// files from being read again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>


// (context, bytes hashed so far in this file) -> false stops hashing (the result is then empty).
using HashProgressFn = bool (*)(void* context, uint64_t bytesSoFar);

// 64 lowercase hex characters, or empty when the file cannot be opened or read, or on a stop;
// *error (when given) is then the failed call's error, ERROR_OPERATION_ABORTED for a stop.
std::string hashFile(const std::wstring& path, HashProgressFn progress, void* context, DWORD* error = nullptr);

struct HashCacheEntry {
    std::string hash;
    uint64_t size = 0;
    uint64_t mtime = 0;  // FILETIME as one number
};

using HashCache = std::map<std::wstring, HashCacheEntry>;  // key: pathKey of the relative path

void loadHashCache(const std::wstring& rootFolder, HashCache& cache);
// Replaces the cache file durably; 0 or the system error (a cache that is not written is only
// slower next time).
DWORD saveHashCache(const std::wstring& rootFolder, const HashCache& cache);
// Parses the cache file's bytes (exposed for tests and the robustness checks).
void parseHashCache(const std::string& bytes, HashCache& cache);
// The cache file's bytes for a map, in key order.
std::string formatHashCache(const HashCache& cache);
