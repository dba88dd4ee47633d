#include "update/version_record.h"

#include <algorithm>
#include <string_view>

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/text.h"
#include "protocol/manifest.h"
#include "protocol/verified_list.h"

namespace {

// Digits with an optional line end; anything else is no record.
bool parseRecord(std::string_view text, uint64_t& version) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    version = parseDecimal(text);
    return true;
}

}  // namespace

std::wstring versionRecordPath(const std::wstring& rootFolder) {
    return stateFilePath(rootFolder, kVersionRecordFileName);
}

uint64_t registeredVersion(const std::wstring& rootFolder) {
    uint64_t version = 0;
    DWORD size = sizeof version;
    DWORD type = 0;
    const std::wstring name = folderKey(rootFolder);
    if (RegGetValueW(HKEY_CURRENT_USER, kVersionFloorKey, name.c_str(), RRF_RT_REG_QWORD, &type, &version,
                     &size) != ERROR_SUCCESS)
        return 0;
    return version;
}

VersionFloor highestVerifiedVersion(const std::wstring& rootFolder) {
    std::string text;
    VersionFloor floor;
    if (readWholeFile(versionRecordPath(rootFolder), text, 64) && parseRecord(text, floor.recordedVersion)) {
        floor.recorded = true;
        floor.version = floor.recordedVersion;
    } else {
        // The list copy counts only while it still verifies: an edited copy must not lower the floor,
        // and must not raise it past what was really published either.
        Manifest copy;
        floor.version = readVerifiedListCopy(rootFolder, copy) ? copy.version : 0;
    }
    // A user who may delete koruma (or the whole folder) cannot lower the floor kept with the account.
    floor.registryVersion = registeredVersion(rootFolder);
    floor.version = std::max(floor.version, floor.registryVersion);
    return floor;
}

VersionWrite rememberVerifiedVersion(const std::wstring& rootFolder, uint64_t version,
                                     const VersionFloor& known) {
    VersionWrite write;
    if (!known.recorded || known.recordedVersion < version) {
        createFolderTree(stateFolderPath(rootFolder));
        write.fileError = replaceFileDurably(versionRecordPath(rootFolder), std::to_string(version) + "\n");
    }
    if (known.registryVersion < version) {
        UniqueRegKey key;
        write.registryError = RegCreateKeyExW(HKEY_CURRENT_USER, kVersionFloorKey, 0, nullptr, 0,
                                              KEY_SET_VALUE, nullptr, key.put(), nullptr);
        if (write.registryError == ERROR_SUCCESS) {
            const std::wstring name = folderKey(rootFolder);
            write.registryError = RegSetValueExW(key.get(), name.c_str(), 0, REG_QWORD,
                                                 reinterpret_cast<const BYTE*>(&version), sizeof version);
        }
    }
    return write;
}
