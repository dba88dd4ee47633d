// The hash cache koruma\onbellek.txt: "hash size time path" per file, so that files unchanged since
// they were last hashed (same size and last-write time) are not read again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

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
