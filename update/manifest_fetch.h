// Fetching the list and its detached signature with a cache-busting query, and checking the
// ECDSA P-256 signature against the key set compiled into the launcher.
#pragma once

#include <cstdint>
#include <string>

#include "update/step_result.h"

struct Manifest;
struct Updater;

// Done, Unavailable (a transfer failed: the detail names the document or the server name, with the
// server's status and the system error) or Rejected (the list failed its check twice, the second
// time 2 s later: the detail says why). A validly signed list whose version is below
// minimumVersion is rejected like a bad signature: the folder has verified a newer one.
// manifest is replaced only by a list that passed every check.
StepResult fetchManifest(Updater& u, Manifest& manifest, std::string& listBytes, std::string& signatureBytes,
                         uint64_t minimumVersion = 0);
// Against the program's own key set: true when any of its keys verifies the pair.
bool verifySignature(const std::string& listBytes, const std::string& signatureBytes);
// The verified list a run saved in rootFolder\koruma (manifest.txt and manifest.sig); false when
// there is none, or it no longer verifies: an edited copy must speak for nothing.
bool readVerifiedListCopy(const std::wstring& rootFolder, Manifest& manifest);
std::wstring makeCacheBuster();
std::wstring objectPath(const std::string& hash);
