// The highest list version a game folder has verified, kept in koruma\liste_surumu.txt, so that a
// validly signed but older list (from a stale cache, a mirror or an attacker on the path) can never
// roll the folder or the launcher back.
#pragma once

#include <cstdint>
#include <string>

// The recorded version; for a folder updated before the record existed, the version of its verified
// list copy in koruma; 0 for a new install, which accepts any version.
uint64_t highestVerifiedVersion(const std::wstring& rootFolder);
// Raises the record to version, durably, or writes it when it is missing or damaged; a record that
// already holds version or more stays as it is.
void rememberVerifiedVersion(const std::wstring& rootFolder, uint64_t version);
std::wstring versionRecordPath(const std::wstring& rootFolder);
