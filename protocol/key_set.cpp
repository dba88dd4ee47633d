#include "protocol/key_set.h"

#include <algorithm>
#include <cstring>

#include "base/handles.h"
#include "base/sha256.h"
#include "build_config.h"

namespace {

bool isSeparator(char c) {
    return c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The resource as the build wrote it: the option's text, possibly followed by a terminating zero.
bool keySetFromModule(HMODULE module, KeySet& keys, DWORD* error) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(QORVANE_KEY_SET_RESOURCE), RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        if (error) *error = ERROR_NOT_FOUND;
        return false;
    }
    std::string_view text(static_cast<const char*>(data), SizeofResource(module, found));
    while (!text.empty() && text.back() == '\0')
        text.remove_suffix(1);
    if (parseKeySet(text, keys)) return true;
    if (error) *error = ERROR_INVALID_DATA;
    return false;
}

bool verifyDigest(const PublicKey& publicKey, const unsigned char (&digest)[32], std::string_view signature) {
    // Only the raw r||s form is accepted; a DER-wrapped signature never reaches CNG.
    if (signature.size() != 64) return false;
    UniqueAlgorithm algorithm;
    if (BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0)
        return false;
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    memcpy(blob, &header, sizeof header);
    memcpy(blob + sizeof header, publicKey.data(), 64);
    UniqueKey key;
    if (BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, key.put(), blob, sizeof blob,
                            0) < 0)
        return false;
    unsigned char raw[64];
    memcpy(raw, signature.data(), 64);
    unsigned char digestCopy[32];  // the call takes non-const buffers
    memcpy(digestCopy, digest, 32);
    return BCryptVerifySignature(key.get(), nullptr, digestCopy, 32, raw, 64, 0) >= 0;
}

}  // namespace

bool parseKeySet(std::string_view text, KeySet& keys) {
    keys.clear();
    size_t at = 0;
    while (at < text.size()) {
        if (isSeparator(text[at])) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < text.size() && !isSeparator(text[end]))
            ++end;
        PublicKey key;
        if (!fromHex(text.substr(at, end - at), key.data(), key.size())) {
            keys.clear();
            return false;
        }
        if (!containsKey(keys, key)) keys.push_back(key);
        at = end;
    }
    return !keys.empty();
}

std::string keyHex(const PublicKey& key) {
    return toHex(key.data(), key.size());
}

std::wstring describeKeySet(const KeySet& keys) {
    std::wstring text;
    for (const PublicKey& key : keys) {
        if (!text.empty()) text += L", ";
        std::string hex = keyHex(key);
        text += std::wstring(hex.begin(), hex.end());
        if (key == developmentKey()) text += L" (gelistirme anahtari / development key)";
    }
    return text.empty() ? L"(yok / none)" : text;
}

const KeySet& ownKeySet() {
    static const KeySet keys = [] {
        KeySet own;
        keySetFromModule(GetModuleHandleW(nullptr), own, nullptr);
        return own;
    }();
    return keys;
}

namespace {

// A program's resource, found the way the loader finds it, but in the file's own layout and with
// every offset checked against the file's size.
struct ImageReader {
    const unsigned char* bytes;
    size_t size;

    bool read32(size_t at, uint32_t& value) const {
        if (at > size || size - at < 4) return false;
        memcpy(&value, bytes + at, 4);
        return true;
    }
    bool read16(size_t at, uint16_t& value) const {
        if (at > size || size - at < 2) return false;
        memcpy(&value, bytes + at, 2);
        return true;
    }
};

struct Sections {
    size_t table = 0;  // file offset of the first section header
    uint16_t count = 0;
};

// The file offset of `length` bytes at rva, inside one section's raw data.
bool fileOffsetOf(const ImageReader& image, const Sections& sections, uint32_t rva, uint32_t length,
                  size_t& offset) {
    for (uint16_t i = 0; i < sections.count; ++i) {
        const size_t header = sections.table + static_cast<size_t>(i) * 40;
        uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawOffset = 0;
        if (!image.read32(header + 8, virtualSize) || !image.read32(header + 12, virtualAddress) ||
            !image.read32(header + 16, rawSize) || !image.read32(header + 20, rawOffset))
            return false;
        if (rva < virtualAddress) continue;
        const uint64_t into = rva - virtualAddress;
        if (into + length > rawSize) continue;
        if (static_cast<uint64_t>(rawOffset) + into + length > image.size) return false;
        offset = static_cast<size_t>(rawOffset + into);
        return true;
    }
    return false;
}

// The entry of a resource directory with the numeric id `id`, or the first one when id is 0.
bool findResourceEntry(const ImageReader& image, size_t directory, uint16_t id, uint32_t& target) {
    uint16_t named = 0, numbered = 0;
    if (!image.read16(directory + 12, named) || !image.read16(directory + 14, numbered)) return false;
    for (size_t i = 0; i < static_cast<size_t>(named) + numbered; ++i) {
        uint32_t name = 0;
        if (!image.read32(directory + 16 + i * 8, name) || !image.read32(directory + 20 + i * 8, target))
            return false;
        if (id == 0 || (i >= named && name == id)) return true;
    }
    return false;
}

}  // namespace

bool readImageKeySet(const unsigned char* bytes, size_t size, KeySet& keys, DWORD* error) {
    keys.clear();
    auto fail = [&](DWORD code) {
        if (error) *error = code;
        return false;
    };
    const ImageReader image{bytes, size};
    uint32_t peOffset = 0, signature = 0;
    uint16_t sectionCount = 0, optionalSize = 0, magic = 0;
    if (size < 64 || bytes[0] != 'M' || bytes[1] != 'Z' || !image.read32(60, peOffset) ||
        !image.read32(peOffset, signature) || signature != 0x00004550 ||
        !image.read16(peOffset + 6, sectionCount) || !image.read16(peOffset + 20, optionalSize) ||
        !image.read16(peOffset + 24, magic))
        return fail(ERROR_BAD_EXE_FORMAT);
    const size_t optional = static_cast<size_t>(peOffset) + 24;
    // The data directories follow the fixed part of the optional header, 16 bytes more in PE32+.
    const size_t directories = optional + (magic == 0x20b ? 112 : 96);
    uint32_t directoryCount = 0, resourceRva = 0, resourceSize = 0;
    if ((magic != 0x20b && magic != 0x10b) || !image.read32(directories - 4, directoryCount))
        return fail(ERROR_BAD_EXE_FORMAT);
    if (directoryCount < 3 || !image.read32(directories + 16, resourceRva) ||
        !image.read32(directories + 20, resourceSize) || resourceRva == 0)
        return fail(ERROR_NOT_FOUND);
    const Sections sections{optional + optionalSize, sectionCount};
    size_t root = 0;
    if (!fileOffsetOf(image, sections, resourceRva, 16, root)) return fail(ERROR_BAD_EXE_FORMAT);
    // Type, then name, then language; the high bit marks a directory below.
    uint32_t entry = 0;
    size_t at = root;
    for (uint16_t id : {static_cast<uint16_t>(10) /* RT_RCDATA */,
                        static_cast<uint16_t>(QORVANE_KEY_SET_RESOURCE), static_cast<uint16_t>(0)}) {
        if (!findResourceEntry(image, at, id, entry)) return fail(ERROR_NOT_FOUND);
        const bool isDirectory = (entry & 0x80000000u) != 0;
        if (isDirectory == (id == 0)) return fail(ERROR_BAD_EXE_FORMAT);
        at = root + (entry & 0x7fffffffu);
    }
    uint32_t dataRva = 0, dataSize = 0;
    size_t data = 0;
    if (!image.read32(at, dataRva) || !image.read32(at + 4, dataSize) ||
        !fileOffsetOf(image, sections, dataRva, dataSize, data))
        return fail(ERROR_BAD_EXE_FORMAT);
    std::string_view text(reinterpret_cast<const char*>(bytes + data), dataSize);
    while (!text.empty() && text.back() == '\0')
        text.remove_suffix(1);
    if (parseKeySet(text, keys)) return true;
    return fail(ERROR_INVALID_DATA);
}

bool readOpenProgramKeySet(HANDLE file, KeySet& keys, DWORD* error) {
    keys.clear();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0) {
        if (error) *error = size.QuadPart == 0 ? ERROR_BAD_EXE_FORMAT : GetLastError();
        return false;
    }
    // A data view of the file: none of its code or its libraries is loaded.
    UniqueKernelHandle mapping(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    const void* view = mapping ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (!view) {
        if (error) *error = GetLastError() ? GetLastError() : ERROR_BAD_EXE_FORMAT;
        return false;
    }
    bool found = readImageKeySet(static_cast<const unsigned char*>(view), static_cast<size_t>(size.QuadPart),
                                 keys, error);
    UnmapViewOfFile(view);
    return found;
}

bool readProgramKeySet(const std::wstring& path, KeySet& keys, DWORD* error) {
    keys.clear();
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        if (error) *error = GetLastError();
        return false;
    }
    return readOpenProgramKeySet(file.get(), keys, error);
}

const PublicKey& developmentKey() {
    static const PublicKey key = [] {
        PublicKey k{};
        static const char hex[] = QORVANE_DEVELOPMENT_PUBLIC_KEY;
        static_assert(sizeof hex == 129, "the development key must be 128 hexadecimal characters");
        fromHex(std::string_view(hex, 128), k.data(), k.size());
        return k;
    }();
    return key;
}

bool containsKey(const KeySet& keys, const PublicKey& key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

bool verifyWithKey(const PublicKey& publicKey, std::string_view list, std::string_view signature) {
    unsigned char digest[32];
    sha256Digest(list, digest);
    return verifyDigest(publicKey, digest, signature);
}

const PublicKey* verifyingKey(const KeySet& keys, std::string_view list, std::string_view signature) {
    // One digest of the list for every key: a list may run to megabytes.
    unsigned char digest[32];
    sha256Digest(list, digest);
    for (const PublicKey& key : keys)
        if (verifyDigest(key, digest, signature)) return &key;
    return nullptr;
}

bool verifySignature(std::string_view list, std::string_view signature) {
    return verifyingKey(ownKeySet(), list, signature) != nullptr;
}
