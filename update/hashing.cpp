#include "update/hashing.h"

#include <cstdio>
#include <memory>

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/sha256.h"
#include "base/text.h"

namespace {

constexpr DWORD kReadBlock = 1048576;
constexpr uint64_t kCacheFileLimit = 67108864;  // a cache this large is not ours: ignore it

std::wstring cacheFilePath(const std::wstring& rootFolder) {
    return stateFilePath(rootFolder, L"onbellek.txt");
}

}  // namespace

std::string hashFile(const std::wstring& path, HashProgressFn progress, void* context, DWORD* error) {
    DWORD ignored = 0;
    DWORD& failure = error ? *error : ignored;
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        failure = lastErrorOr(ERROR_READ_FAULT);
        return {};
    }
    Sha256 sha;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kReadBlock]);
    uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.get(), kReadBlock, &got, nullptr)) {
            failure = lastErrorOr(ERROR_READ_FAULT);
            return {};
        }
        if (got == 0) break;
        sha.add(buffer.get(), got);
        total += got;
        if (progress && !progress(context, total)) {
            failure = ERROR_OPERATION_ABORTED;
            return {};
        }
    }
    return sha.finishHex();
}

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
