// The highest list version a game folder has verified, kept in koruma\liste_surumu.txt and under the
// current user's registry key for that folder, so that a validly signed but older list (from a stale
// cache, a mirror or an attacker on the path) can never roll the folder or the launcher back, also
// after koruma was lost.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct VersionFloor {
    uint64_t version = 0;          // lists below it are refused: the higher of the two records; 0 accepts any
    bool recorded = false;         // the folder's record was read (not the list copy or nothing)
    uint64_t recordedVersion = 0;  // what that record holds
    uint64_t registryVersion = 0;  // what the registry holds for the folder; 0 when nothing
};

// The recorded version (for a folder updated before the record existed, the version of its verified
// list copy in koruma) or the registry's, whichever is higher; 0 for a new install.
[[nodiscard]] VersionFloor highestVerifiedVersion(const std::wstring& rootFolder);

// What raising the records cost: the system errors of the file and the registry writes, 0 when a
// write succeeded or was not needed.
struct VersionWrite {
    DWORD fileError = 0;
    LSTATUS registryError = 0;
    bool ok() const { return fileError == 0 && registryError == 0; }
};
// Raises each record to version, durably, where `known` (what highestVerifiedVersion found this run)
// shows it lower or missing; a record that already holds version or more stays as it is.
VersionWrite rememberVerifiedVersion(const std::wstring& rootFolder, uint64_t version,
                                     const VersionFloor& known);
std::wstring versionRecordPath(const std::wstring& rootFolder);
// The registry's version for the folder, 0 when it holds none.
uint64_t registeredVersion(const std::wstring& rootFolder);
