#include "base/sha256.h"

#include <cstring>
#include <memory>

#include "base/file.h"

Sha256::Sha256() {
    if (BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return;
    ready = BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0) >= 0;
}

void Sha256::add(const void* data, size_t length) {
    // BCryptHashData takes 32-bit lengths.
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (ready && length > 0) {
        ULONG part = length > 0x40000000u ? 0x40000000u : static_cast<ULONG>(length);
        BCryptHashData(hash.get(), const_cast<PUCHAR>(bytes), part, 0);
        bytes += part;
        length -= part;
    }
}

void Sha256::finish(unsigned char digest[32]) {
    memset(digest, 0, 32);
    if (ready) BCryptFinishHash(hash.get(), digest, 32, 0);
    ready = false;  // a finished CNG hash object takes no more data
}

std::string Sha256::finishHex() {
    unsigned char digest[32];
    finish(digest);
    return toHex(digest, sizeof digest);
}

std::string toHex(const unsigned char* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string out(count * 2, '0');
    for (size_t i = 0; i < count; ++i) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 15];
    }
    return out;
}

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool fromHex(std::string_view hex, unsigned char* out, size_t count) {
    if (hex.size() != count * 2) return false;
    for (size_t i = 0; i < count; ++i) {
        int high = hexValue(hex[2 * i]), low = hexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

void sha256Digest(std::string_view bytes, unsigned char digest[32]) {
    Sha256 sha;
    sha.add(bytes.data(), bytes.size());
    sha.finish(digest);
}

std::string sha256Hex(std::string_view bytes) {
    Sha256 sha;
    sha.add(bytes.data(), bytes.size());
    return sha.finishHex();
}

namespace {
constexpr DWORD kFileReadBlock = 1048576;
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
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kFileReadBlock]);
    uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.get(), kFileReadBlock, &got, nullptr)) {
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
