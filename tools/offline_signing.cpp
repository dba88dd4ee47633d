#include "tools/offline_signing.h"

#include <windows.h>

#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/text.h"
#include "protocol/manifest.h"
#include "protocol/object_path.h"
#include "tools/tree_verify.h"

namespace {

constexpr uint64_t kListLimit = 33554431;

std::wstring preparedPath(const std::wstring& serverFolder, const wchar_t* name) {
    return joinPath(joinPath(serverFolder, kPreparedFolderName), name);
}

}  // namespace

bool readPreparedList(std::string_view list, PreparedListSummary& summary, std::wstring& error) {
    Manifest manifest;
    if (!parseManifest(list, manifest)) {
        error =
            L"bu bir dosya listesi degil: baslik veya dosya kaydi yok (not a file list: no header or no "
            L"file record)";
        return false;
    }
    summary = PreparedListSummary{};
    summary.version = manifest.version;
    summary.files = static_cast<int>(manifest.entries.size());
    summary.bytes = manifestTotalBytes(manifest);
    summary.namesLauncher = manifest.pathIndex.count(pathKey(kLauncherFileName)) != 0;
    const std::string_view mark = kPreparedKeyMark;
    bool valid = true;
    forEachLine(list, [&](std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.substr(0, mark.size()) != mark) return true;
        KeySet one;
        if (!parseKeySet(line.substr(mark.size()), one) || one.size() != 1) {
            error = L"bozuk anahtar satiri (damaged key line): " + fromUtf8(line);
            valid = false;
            return false;
        }
        summary.launcherKeys.push_back(one.front());
        return true;
    });
    return valid;
}

std::wstring signingRefusal(const PreparedListSummary& summary, const PublicKey& signingKey,
                            bool allowDevelopmentKey) {
    if (signingKey == developmentKey() && !allowDevelopmentKey)
        return L"gelistirme anahtariyla imzalanmaz: ozel yarisi depoda; test icin --gelistirme verin "
               L"(refusing to sign with the development key, whose private half is in the repository: "
               L"pass --gelistirme for a test tree)";
    if (summary.namesLauncher && !containsKey(summary.launcherKeys, signingKey))
        return launcherKeyMismatch(summary.launcherKeys, describeKeySet({signingKey}));
    return {};
}

PublishResult placeSignedList(const PlaceOptions& options) {
    PublishResult result;
    UniqueFile lock = lockPublishTarget(options.serverFolder, result.error);
    if (!lock) return result;
    const std::wstring listPath = preparedPath(options.serverFolder, kListFileName);
    const std::wstring signaturePath = options.signaturePath.empty()
                                           ? preparedPath(options.serverFolder, kSignatureFileName)
                                           : options.signaturePath;
    std::string list, signature;
    if (!readWholeFile(listPath, list, kListLimit)) {
        result.error =
            L"hazirlanmis liste yok; once hazirla calistirin (no prepared list; run hazirla first): " +
            listPath;
        return result;
    }
    if (!readWholeFile(signaturePath, signature, 4096)) {
        result.error = L"imza okunamadi (cannot read the signature): " + signaturePath;
        return result;
    }
    Manifest manifest;
    if (!parseManifest(list, manifest)) {
        result.error = L"hazirlanmis liste okunamiyor (the prepared list cannot be read): " + listPath;
        return result;
    }
    // The keys that count are those of the launcher this list makes every player run: the signing
    // machine's view of them came from the list, which it could not check against the program.
    KeySet keys = options.keysWithoutLauncher;
    std::wstring keySource = L"verilen anahtarlar (the given keys)";
    auto launcher = manifest.pathIndex.find(pathKey(kLauncherFileName));
    if (launcher != manifest.pathIndex.end()) {
        const std::wstring object =
            joinPath(options.serverFolder, objectPath(manifest.entries[launcher->second].hash));
        DWORD error = 0;
        keys.clear();
        if (!readProgramKeySet(object, keys, &error)) {
            result.error =
                L"listedeki launcher'in anahtarlari okunamadi (cannot read the keys of the listed "
                L"launcher) " +
                object + L": " + systemErrorText(error);
            return result;
        }
        keySource = L"launcher'in anahtarlari (the launcher's keys)";
    }
    const PublicKey* signer = signature.size() == 64 ? verifyingKey(keys, list, signature) : nullptr;
    if (!signer) {
        result.error =
            L"imza hazirlanmis listeyle tutmuyor (the signature does not match the prepared list) "
            L"ile " +
            keySource + L": " + describeKeySet(keys);
        return result;
    }
    if (*signer == developmentKey()) {
        if (!options.allowDevelopmentKey) {
            result.error =
                L"liste gelistirme anahtariyla imzali; test icin --gelistirme verin (the list is signed "
                L"with the development key: pass --gelistirme for a test tree)";
            return result;
        }
        result.notes.push_back(
            L"gelistirme anahtariyla imzali: yalnizca test icin (signed with the development "
            L"key: for tests only)");
    }
    std::vector<std::wstring> absent;
    for (const ManifestEntry& entry : manifest.entries) {
        uint64_t size = 0;
        if (!fileSize(joinPath(options.serverFolder, objectPath(entry.hash)), size) || size != entry.size)
            absent.push_back(objectPath(entry.hash) + L" (" + entry.path + L")");
    }
    if (!absent.empty()) {
        result.error =
            std::to_wstring(absent.size()) +
            L" nesne eksik ya da boyutu yanlis, liste yerine konmadi (objects missing or of the wrong "
            L"size; the list was not placed):";
        for (const std::wstring& path : absent)
            result.error += L"\n  " + path;
        return result;
    }
    // Another list may have gone live since the preparation.
    std::string live;
    Manifest current;
    if (readWholeFile(joinPath(options.serverFolder, kListFileName), live, 67108864) &&
        parseManifest(live, current) && manifest.version < current.version && !options.allowLowerVersion) {
        result.error = L"hazirlanmis surum " + std::to_wstring(manifest.version) + L" yayindaki surum " +
                       std::to_wstring(current.version) +
                       L" altinda; launcher'lar onu reddeder (the prepared version is below the published "
                       L"one, which launchers refuse; --dusuk-surum if no player has seen it)";
        return result;
    }
    std::string newsBytes[2];
    const std::string* news[2] = {};
    for (int i = 0; i < 2; ++i)
        if (readWholeFile(preparedPath(options.serverFolder, kNewsFileNames[i]), newsBytes[i], 16777216))
            news[i] = &newsBytes[i];
    if (!placeListDocuments(options.serverFolder, current.version, news, list, signature, result.error))
        return result;
    for (const wchar_t* name : {kListFileName, kSignatureFileName, kNewsFileNames[0], kNewsFileNames[1]})
        DeleteFileW(preparedPath(options.serverFolder, name).c_str());
    RemoveDirectoryW(joinPath(options.serverFolder, kPreparedFolderName).c_str());
    result.ok = true;
    result.version = manifest.version;
    result.files = static_cast<int>(manifest.entries.size());
    result.bytes = manifestTotalBytes(manifest);
    result.signedWith = *signer;
    return result;
}
