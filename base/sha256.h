// SHA-256 through CNG for data in memory, as it streams in and of files on disk, and hexadecimal
// text: the hash text is 64 lowercase hexadecimal characters.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/handles.h"

// One digest. When CNG refuses the provider or the hash object, `ready` is false and the digest
// reads as 32 zero bytes, which matches no real list entry or signature.
struct Sha256 {
    Sha256();
    void add(const void* data, size_t length);
    void finish(unsigned char digest[32]);  // the object takes no more data afterwards
    std::string finishHex();

    UniqueAlgorithm algorithm;
    UniqueHash hash;
    bool ready = false;
};

std::string toHex(const unsigned char* bytes, size_t count);
// Exactly count bytes from 2 * count hexadecimal digits of either case; false (out partly written)
// for another length or any other character.
bool fromHex(std::string_view hex, unsigned char* out, size_t count);
std::string sha256Hex(std::string_view bytes);
void sha256Digest(std::string_view bytes, unsigned char digest[32]);

// (context, bytes hashed so far in this file) -> false stops hashing (the result is then empty).
using HashProgressFn = bool (*)(void* context, uint64_t bytesSoFar);

// 64 lowercase hex characters, or empty when the file cannot be opened or read, or on a stop;
// *error (when given) is then the failed call's error, ERROR_OPERATION_ABORTED for a stop.
std::string hashFile(const std::wstring& path, HashProgressFn progress, void* context,
                     DWORD* error = nullptr);
