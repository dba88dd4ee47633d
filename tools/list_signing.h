// Signing file lists: the key file format ("d", "x", "y" lines of hex), ECDSA P-256 signatures over
// the SHA-256 of the list as raw r||s (64 bytes) through CNG, key generation, and DER conversion.
#pragma once

#include <string>
#include <string_view>

#include "base/system_error.h"

// One P-256 key pair, every part 32 bytes big-endian. The public key as the launcher compiles it in
// is x followed by y.
struct SigningKey {
    unsigned char d[32] = {};  // private scalar
    unsigned char x[32] = {};
    unsigned char y[32] = {};
};

// Key file text: "name value" lines; "d", "x" and "y" carry 64 hex digits each, "curve" must say
// P-256 when present, "#" lines and blank lines are comments. Failed, with a message naming the
// problem, when a part is missing, malformed or repeated.
// A refused text is ERROR_INVALID_DATA with the message.
SystemError parseSigningKeyText(std::string_view text, SigningKey& key);
SystemError readSigningKeyFile(const std::wstring& path, SigningKey& key);
// The key file text for a key (with a warning comment that the file is secret).
std::string formatSigningKeyText(const SigningKey& key);

// A fresh key pair from the system's generator.
SystemError generateSigningKey(SigningKey& key);
// 128 lowercase hex digits: x then y, the form of the launcher's build option.
std::string publicKeyHex(const SigningKey& key);
void publicKeyBytes(const SigningKey& key, unsigned char out[64]);

// The 64-byte signature (r then s) of SHA-256(list). The signature is checked against the key's
// public half before it is returned, so a key file whose parts do not belong together fails here
// instead of producing lists that every launcher rejects.
SystemError signList(const SigningKey& key, std::string_view listBytes, std::string& signature);

// An ASN.1 DER ECDSA signature (SEQUENCE of two INTEGERs, as openssl writes it) as 64 bytes r||s.
// False when the input is not such a signature or a number does not fit 32 bytes.
bool derToRawSignature(std::string_view der, std::string& raw);
