#include "update/hashing.h"

#include <cstdio>
#include <memory>

#include "update/handles.h"
#include "update/manifest.h"
#include "update/text_encoding.h"

namespace {

constexpr DWORD kReadBlock = 1048576;
constexpr uint64_t kCacheFileLimit = 67108864;  // a cache this large is not ours: ignore it

std::wstring cacheFilePath(const std::wstring& rootFolder) {
    return rootFolder + L"\\koruma\\onbellek.txt";
}

// Provider and hash object for one SHA-256 digest; `ready` is false when CNG refused either, and
// the digest then reads as 32 zero bytes (which matches no list entry).
struct Sha256 {
    UniqueAlgorithm algorithm;
    UniqueHash hash;
    bool ready = false;

    Sha256() {
        if (BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return;
        ready = BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0) >= 0;
    }
    void add(const void* data, size_t length) {
        if (ready && length > 0)
            BCryptHashData(hash.get(), static_cast<PUCHAR>(const_cast<void*>(data)),
                           static_cast<ULONG>(length), 0);
    }
    std::string finishHex() {
        unsigned char digest[32] = {};
        if (ready) BCryptFinishHash(hash.get(), digest, sizeof digest, 0);
        ready = false;
        return ToHex(digest, sizeof digest);
    }
};

}  // namespace

std::string ToHex(const unsigned char* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string out(count * 2, '0');
    for (size_t i = 0; i < count; ++i) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 15];
    }
    return out;
}

std::string HashFile(const std::wstring& path, HashProgressFn progress, void* context) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return {};
    Sha256 sha;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kReadBlock]);
    uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.get(), kReadBlock, &got, nullptr)) return {};
        if (got == 0) break;
        sha.add(buffer.get(), got);
        total += got;
        if (progress && !progress(context, total)) return {};
    }
    return sha.finishHex();
}

StreamHasher::StreamHasher() {
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
        algorithm = nullptr;
        return;
    }
    ready = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
    if (!ready) hash = nullptr;
}

StreamHasher::~StreamHasher() {
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
}

void StreamHasher::add(const void* data, size_t length) {
    if (!ready || length == 0) return;
    BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(length), 0);
}

std::string StreamHasher::finishHex() {
    unsigned char digest[32] = {};
    if (ready) BCryptFinishHash(hash, digest, sizeof digest, 0);
    ready = false;  // a finished CNG hash object takes no more data
    return ToHex(digest, sizeof digest);
}

void parseHashCache(const std::string& bytes, HashCache& cache) {
    std::string_view all(bytes);
    size_t position = 0;
    while (position < all.size()) {
        size_t end = all.find('\n', position);
        if (end == std::string_view::npos) end = all.size();
        std::string_view line = all.substr(position, end - position);
        position = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        size_t s1 = line.find(' ');
        if (s1 == std::string_view::npos || s1 + 1 >= line.size()) continue;
        size_t s2 = line.find(' ', s1 + 1);
        if (s2 == std::string_view::npos || s2 + 1 >= line.size()) continue;
        size_t s3 = line.find(' ', s2 + 1);
        if (s3 == std::string_view::npos) continue;
        if (s1 != 64) continue;
        HashCacheEntry entry;
        entry.hash.assign(line.substr(0, s1));
        entry.size = parseDecimal(line.substr(s1 + 1, s2 - s1 - 1));
        entry.mtime = parseDecimal(line.substr(s2 + 1, s3 - s2 - 1));
        cache[normalizePath(fromUtf8(line.substr(s3 + 1)))] = std::move(entry);
    }
}

void LoadHashCache(const std::wstring& rootFolder, HashCache& cache) {
    UniqueFile file(CreateFileW(cacheFilePath(rootFolder).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) >= kCacheFileLimit) return;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
         got != bytes.size()))
        return;
    parseHashCache(bytes, cache);
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

void SaveHashCache(const std::wstring& rootFolder, const HashCache& cache) {
    std::string bytes = formatHashCache(cache);
    UniqueFile file(CreateFileW(cacheFilePath(rootFolder).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || bytes.empty()) return;
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
