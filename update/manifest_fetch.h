// Fetching the list and its detached signature with a cache-busting query, and checking the
// ECDSA P-256 signature against the public key compiled into the launcher.
#pragma once

#include <string>

#include "update/step_result.h"

struct Manifest;
struct Updater;

// Done, Unavailable (a transfer failed, with its status and error) or Rejected (the list failed its
// check twice, the second time 2 s later). manifest is replaced only by a verified list.
StepResult fetchManifest(Updater& u, Manifest& manifest, std::string& listBytes, std::string& signatureBytes);
bool verifySignature(const std::string& listBytes, const std::string& signatureBytes);
// The same check against another key (64 bytes X then Y); the compiled-in key is used above.
bool verifySignatureWithKey(const std::string& listBytes, const std::string& signatureBytes,
                            const unsigned char publicKey[64]);
std::wstring makeCacheBuster();
std::wstring objectPath(const std::string& hash);
// The compiled-in key as 64 bytes.
const unsigned char* compiledPublicKey();
