// The highest list version a game folder has verified, kept in koruma\liste_surumu.txt, so that a
// validly signed but older list (from a stale cache, a mirror or an attacker on the path) can never
// roll the folder or the launcher back.
#pragma once

#include <cstdint>
#include <string>

struct VersionFloor {
    uint64_t version = 0;   // lists below it are refused; 0 accepts any
    bool recorded = false;  // read from the record, not from the list copy or nothing
};

// The recorded version; for a folder updated before the record existed, the version of its verified
// list copy in koruma; 0 for a new install, which accepts any version.
[[nodiscard]] VersionFloor highestVerifiedVersion(const std::wstring& rootFolder);
// Raises the record to version, durably, or writes it when `known` (what highestVerifiedVersion
// found this run) came from no record; a record that already holds version or more stays as it is.
void rememberVerifiedVersion(const std::wstring& rootFolder, uint64_t version, const VersionFloor& known);
std::wstring versionRecordPath(const std::wstring& rootFolder);
