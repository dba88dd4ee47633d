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

bool readProgramKeySet(const std::wstring& path, KeySet& keys, DWORD* error) {
    keys.clear();
    // A name without an extension (a published object) would get ".dll" appended; a trailing dot
    // stops that.
    std::wstring name = path;
    size_t lastPart = name.find_last_of(L"\\/");
    if (name.find(L'.', lastPart == std::wstring::npos ? 0 : lastPart) == std::wstring::npos) name += L'.';
    // Mapped for its resources only: none of its code runs, and no DLL it names is loaded.
    UniqueModule module(
        LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) {
        DWORD failed = GetLastError();
        if (error) *error = failed ? failed : ERROR_BAD_EXE_FORMAT;
        return false;
    }
    return keySetFromModule(module.get(), keys, error);
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
