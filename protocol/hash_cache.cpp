#include "protocol/hash_cache.h"

#include <cstdio>

#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/text.h"

namespace {

constexpr uint64_t kCacheFileLimit = 67108864;  // a cache this large is not ours: ignore it

std::wstring cacheFilePath(const std::wstring& rootFolder) {
    return stateFilePath(rootFolder, kHashCacheFileName);
}

}  // namespace

void parseHashCache(const std::string& bytes, HashCache& cache) {
    forEachLine(bytes, [&](std::string_view line) {
        size_t s1 = line.find(' ');
        if (s1 == std::string_view::npos || s1 + 1 >= line.size()) return true;
        size_t s2 = line.find(' ', s1 + 1);
        if (s2 == std::string_view::npos || s2 + 1 >= line.size()) return true;
        size_t s3 = line.find(' ', s2 + 1);
        if (s3 == std::string_view::npos || s1 != 64) return true;
        HashCacheEntry entry;
        entry.hash.assign(line.substr(0, s1));
        entry.size = parseDecimal(line.substr(s1 + 1, s2 - s1 - 1));
        entry.mtime = parseDecimal(line.substr(s2 + 1, s3 - s2 - 1));
        // Keys written by any earlier launcher count under today's identity.
        cache[pathKey(fromUtf8(line.substr(s3 + 1)))] = std::move(entry);
        return true;
    });
}

void loadHashCache(const std::wstring& rootFolder, HashCache& cache) {
    std::string bytes;
    if (readWholeFile(cacheFilePath(rootFolder), bytes, kCacheFileLimit - 1)) parseHashCache(bytes, cache);
}

std::string formatHashCache(const HashCache& cache) {
    std::string out;
    char numbers[64];
    for (const auto& [key, entry] : cache) {
        out += entry.hash;
        snprintf(numbers, sizeof numbers, " %llu %llu ", static_cast<unsigned long long>(entry.size),
                 static_cast<unsigned long long>(entry.mtime));
        out += numbers;
        out += toUtf8(key);
        out += '\n';
    }
    return out;
}

DWORD saveHashCache(const std::wstring& rootFolder, const HashCache& cache) {
    // After a power cut the old cache or the new one is in place, never a line cut in half.
    return replaceFileDurably(cacheFilePath(rootFolder), formatHashCache(cache));
}
