// SHA-256 of files on disk and of data as it streams in, hash text, and the persistent hash cache
// koruma\onbellek.txt that spares unchanged files from being read again.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>
#include <map>
#include <string>

// (context, bytes hashed so far in this file) -> false stops hashing (the result is then empty).
using HashProgressFn = bool (*)(void* context, uint64_t bytesSoFar);

// 64 lowercase hex characters, or empty when the file cannot be opened or read, or on a stop.
std::string HashFile(const std::wstring& path, HashProgressFn progress, void* context);
std::string ToHex(const unsigned char* bytes, size_t count);

struct StreamHasher {
    StreamHasher();
    ~StreamHasher();
    StreamHasher(const StreamHasher&) = delete;
    StreamHasher& operator=(const StreamHasher&) = delete;
    void add(const void* data, size_t length);
    std::string finishHex();

    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ready = false;
};

struct HashCacheEntry {
    std::string hash;
    uint64_t size = 0;
    uint64_t mtime = 0;  // FILETIME as one number
};

using HashCache = std::map<std::wstring, HashCacheEntry>;  // key: normalizePath of the relative path

void LoadHashCache(const std::wstring& rootFolder, HashCache& cache);
void SaveHashCache(const std::wstring& rootFolder, const HashCache& cache);
// Parses the cache file's bytes (exposed for tests and the robustness checks).
void parseHashCache(const std::string& bytes, HashCache& cache);
// The cache file's bytes for a map, in key order.
std::string formatHashCache(const HashCache& cache);
