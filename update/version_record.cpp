#include "update/version_record.h"

#include <string_view>

#include "base/file.h"
#include "base/names.h"
#include "base/text.h"
#include "protocol/key_set.h"
#include "protocol/manifest.h"

namespace {

constexpr uint64_t kListCopyLimit = 33554431;

// Digits with an optional line end; anything else is no record.
bool parseRecord(std::string_view text, uint64_t& version) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    version = parseDecimal(text);
    return true;
}

// The list copy counts only while it still verifies: an edited copy must not lower the floor, and
// must not raise it past what was really published either.
uint64_t versionOfListCopy(const std::wstring& rootFolder) {
    std::string list, signature;
    Manifest manifest;
    if (!readWholeFile(protectionFilePath(rootFolder, kListFileName), list, kListCopyLimit) ||
        !readWholeFile(protectionFilePath(rootFolder, kSignatureFileName), signature, 4096) ||
        !verifySignature(list, signature) || !parseManifest(list, manifest))
        return 0;
    return manifest.version;
}

}  // namespace

std::wstring versionRecordPath(const std::wstring& rootFolder) {
    return protectionFilePath(rootFolder, kVersionRecordFileName);
}

VersionFloor highestVerifiedVersion(const std::wstring& rootFolder) {
    std::string text;
    VersionFloor floor;
    if (readWholeFile(versionRecordPath(rootFolder), text, 64) && parseRecord(text, floor.version)) {
        floor.recorded = true;
        return floor;
    }
    floor.version = versionOfListCopy(rootFolder);
    return floor;
}

void rememberVerifiedVersion(const std::wstring& rootFolder, uint64_t version, const VersionFloor& known) {
    if (known.recorded && known.version >= version) return;
    createFolderTree(protectionFolderPath(rootFolder));
    replaceFileDurably(versionRecordPath(rootFolder), std::to_string(version) + "\n");
}
