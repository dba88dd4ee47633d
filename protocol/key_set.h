// The list-signing public keys a program trusts. The build embeds them in the program as a resource,
// so the launcher checks lists with exactly the keys that tools read from its file without running
// it; a set holds several keys while a key is being replaced.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

// An ECDSA P-256 public key: X then Y, 32 bytes each, big-endian.
using PublicKey = std::array<unsigned char, 64>;
using KeySet = std::vector<PublicKey>;

// Keys of 128 hexadecimal digits separated by commas, blanks or line breaks: the form of the build
// option and of the resource. False, with keys empty, for anything else or for no key at all.
[[nodiscard]] bool parseKeySet(std::string_view text, KeySet& keys);
std::string keyHex(const PublicKey& key);
// Every key in lowercase hex, comma-separated, the development key marked as such.
std::wstring describeKeySet(const KeySet& keys);

// The running program's own set; empty when the program carries none.
const KeySet& ownKeySet();
// The set embedded in an executable file, read from its bytes: nothing of it is loaded or run. False
// when the file cannot be read, is no program (ERROR_BAD_EXE_FORMAT) or carries no valid set; *error
// then holds the reason (ERROR_NOT_FOUND for a program without a set).
[[nodiscard]] bool readProgramKeySet(const std::wstring& path, KeySet& keys, DWORD* error = nullptr);
// The same through a file handle open for reading, such as the one that wrote a downloaded launcher
// and holds it until it is moved into place.
[[nodiscard]] bool readOpenProgramKeySet(HANDLE file, KeySet& keys, DWORD* error = nullptr);
// The same over a program's bytes as they lie in its file.
[[nodiscard]] bool readImageKeySet(const unsigned char* image, size_t size, KeySet& keys,
                                   DWORD* error = nullptr);

// The committed development key, whose private half lies in the repository.
const PublicKey& developmentKey();
bool containsKey(const KeySet& keys, const PublicKey& key);

// The raw 64-byte r||s signature of SHA-256(list) checked against one key.
[[nodiscard]] bool verifyWithKey(const PublicKey& key, std::string_view list, std::string_view signature);
// The first key of the set that verifies the pair, or nullptr.
[[nodiscard]] const PublicKey* verifyingKey(const KeySet& keys, std::string_view list,
                                            std::string_view signature);
// Against the program's own key set: true when any of its keys verifies the pair.
[[nodiscard]] bool verifySignature(std::string_view list, std::string_view signature);
