#include "tools/tree_verify.h"

#include <windows.h>

#include <map>
#include <set>
#include <vector>

#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/sha256.h"
#include "base/text.h"
#include "protocol/chunk_index.h"
#include "protocol/key_set.h"
#include "protocol/manifest.h"
#include "protocol/mirror_address.h"
#include "protocol/news_format.h"
#include "protocol/object_path.h"
#include "tools/chunk_indexing.h"
#include "tools/list_checks.h"

namespace {

// The launcher's list size limit: a larger body is refused before it is verified.
constexpr uint64_t kListLimit = 33554431;

// A mirror record: a URL the launcher can read (it ignores any other), named once.
void checkMirrorLine(std::string_view line, int lineNumber, std::vector<MirrorAddress>& mirrors,
                     VerifyReport& report) {
    const std::wstring where = L"satir " + std::to_wstring(lineNumber) + L" ";
    const std::wstring url = fromUtf8(line.substr(2));
    MirrorAddress mirror;
    if (!parseMirrorUrl(url, mirror)) {
        report.problems.push_back(where +
                                  L"ayna adresi launcher tarafindan yok sayilir (mirror URL ignored by the "
                                  L"launcher): " +
                                  url + L": " + mirrorUrlProblem(url));
        return;
    }
    for (const MirrorAddress& known : mirrors) {
        if (!sameMirror(known, mirror)) continue;
        report.notes.push_back(where +
                               L"ayna ikinci kez yazilmis, bir kez kullanilir (mirror named twice, used "
                               L"once): " +
                               url);
        return;
    }
    mirrors.push_back(mirror);
    report.notes.push_back(L"ayna (mirror): " + url);
}

// Records the launcher would drop without a word or read otherwise than written, and files listed
// twice: each record line is checked on its own, and parsed by the launcher's parser beside a header
// and one valid file record, where it must add exactly one item.
void checkRecordLines(const std::string& list, VerifyReport& report) {
    static const std::string kPrefix =
        "#QORVANEPC 1\nK 0000000000000000000000000000000000000000000000000000000000000000 0 probe\n";
    std::map<std::wstring, int> fileLines;  // path key -> the line that listed it first
    std::vector<MirrorAddress> mirrors;
    int lineNumber = 0;
    forEachLine(list, [&](std::string_view line) {
        ++lineNumber;
        if (line.size() >= 2 && line[0] == 'A' && line[1] == ' ') {
            checkMirrorLine(line, lineNumber, mirrors, report);
            return true;
        }
        if (line.size() < 3 || line[1] != ' ' ||
            std::string_view("KIDSOP").find(line[0]) == std::string_view::npos)
            return true;
        std::wstring where = L"satir " + std::to_wstring(lineNumber) + L" ";
        std::wstring problem = listRecordProblem(line);
        if (!problem.empty()) {
            report.problems.push_back(where + problem + L": " + fromUtf8(line));
            return true;
        }
        Manifest probe;
        // Whether the probe list as a whole is accepted does not matter: the count below does.
        static_cast<void>(parseManifest(kPrefix + std::string(line) + "\n", probe));
        size_t items = probe.entries.size() - 1 + probe.cleanDirs.size() + probe.keepPatterns.size() +
                       probe.createDirs.size() + probe.chunkIndexes.size();
        if (items != 1) {
            report.problems.push_back(
                where + L"launcher tarafindan yok sayilir (line ignored by the launcher): " + fromUtf8(line));
            return true;
        }
        if (probe.entries.size() == 2) {
            auto [first, added] = fileLines.emplace(pathKey(probe.entries[1].path), lineNumber);
            if (!added)
                report.problems.push_back(where + L"satir " + std::to_wstring(first->second) +
                                          L" ile ayni dosya (the same file as line " +
                                          std::to_wstring(first->second) + L"): " + probe.entries[1].path);
        }
        return true;
    });
}

// The file's chunk index, when the list names one: present, of the listed size and hash, and
// within the bounds a launcher accepts for a file of this size. False (with the problem reported)
// otherwise: launchers would fall back to whole downloads.
bool loadChunkIndex(const std::wstring& serverFolder, const ManifestEntry& entry, const ChunkIndexRef& ref,
                    ChunkIndex& index, VerifyReport& report) {
    const std::wstring relative = objectPath(ref.hash);
    const std::wstring full = joinPath(serverFolder, relative);
    const std::wstring about = L" for " + entry.path;
    uint64_t size = 0;
    std::string bytes;
    if (!fileSize(full, size)) {
        report.problems.push_back(L"parca dizini eksik (missing chunk index) " + relative + about);
        return false;
    }
    if (size != ref.size) {
        report.problems.push_back(L"parca dizini boyutu yanlis (wrong chunk index size) " + relative + L": " +
                                  std::to_wstring(size) + L" != " + std::to_wstring(ref.size) + about);
        return false;
    }
    if (size > chunkIndexSize(kMaxIndexChunks) || !readWholeFile(full, bytes, size)) {
        report.problems.push_back(L"parca dizini okunamadi (cannot read chunk index) " + relative + about);
        return false;
    }
    if (sha256Hex(bytes) != ref.hash) {
        report.problems.push_back(L"parca dizini ozeti yanlis (wrong chunk index hash) " + relative + about);
        return false;
    }
    ChunkIndexFault fault = parseChunkIndex(bytes, entry.size, index);
    if (fault != ChunkIndexFault::None) {
        report.problems.push_back(L"parca dizini kullanilamaz (unusable chunk index) " + relative + L": " +
                                  fromUtf8(chunkIndexFaultText(fault)) + about);
        return false;
    }
    ++report.indexesChecked;
    return true;
}

void checkObject(const std::wstring& serverFolder, const ManifestEntry& entry, const ChunkIndexRef* indexRef,
                 std::set<std::wstring>& seen, VerifyReport& report) {
    std::wstring relative = objectPath(entry.hash);
    if (!seen.insert(relative).second) return;  // same content under several names: checked once
    std::wstring full = joinPath(serverFolder, relative);
    uint64_t size = 0;
    if (!fileSize(full, size)) {
        report.problems.push_back(L"nesne eksik (missing object) " + relative + L" for " + entry.path);
        return;
    }
    if (size != entry.size) {
        report.problems.push_back(L"nesne boyutu yanlis (wrong object size) " + relative + L": " +
                                  std::to_wstring(size) + L" != " + std::to_wstring(entry.size) + L" for " +
                                  entry.path);
        return;
    }
    // An indexed object is read once, for its hash and its chunks.
    ChunkIndex index;
    std::string hash;
    if (indexRef && loadChunkIndex(serverFolder, entry, *indexRef, index, report)) {
        std::wstring problem = checkIndexedObject(full, index, hash);
        if (!problem.empty() && !hash.empty())
            report.problems.push_back(problem + L": " + relative + L" for " + entry.path);
    } else {
        hash = hashFile(full, nullptr, nullptr);
    }
    if (hash.empty())
        report.problems.push_back(L"nesne okunamadi (cannot read object) " + relative);
    else if (hash != entry.hash)
        report.problems.push_back(L"nesne ozeti yanlis (wrong object hash) " + relative + L" for " +
                                  entry.path);
    ++report.objectsChecked;
}

void checkNews(const std::wstring& serverFolder, VerifyReport& report) {
    for (const wchar_t* name : kNewsFileNames) {
        std::string bytes;
        uint64_t size = 0;
        if (!fileSize(joinPath(serverFolder, name), size))
            checkNewsDocument(name, nullptr, report);
        else if (size > kListLimit || !readWholeFile(joinPath(serverFolder, name), bytes, kListLimit))
            report.problems.push_back(std::wstring(L"haber dosyasi okunamaz (news file unusable) ") + name);
        else
            checkNewsDocument(name, &bytes, report);
    }
}

void checkPublishedLauncher(const std::wstring& serverFolder, const Manifest& manifest,
                            const std::string& list, const std::string& signature, VerifyReport& report) {
    auto found = manifest.pathIndex.find(pathKey(kLauncherFileName));
    if (found == manifest.pathIndex.end()) return;
    std::wstring object = joinPath(serverFolder, objectPath(manifest.entries[found->second].hash));
    if (!pathExists(object)) return;  // already reported as a missing object
    KeySet launcherKeys;
    DWORD error = 0;
    const bool read = readProgramKeySet(object, launcherKeys, &error);
    checkLauncherKeys(read, launcherKeys, error, list, signature, report);
}

}  // namespace

std::wstring launcherKeyMismatch(const KeySet& launcherKeys, const std::wstring& signingKeyText) {
    return L"\"" + std::wstring(kLauncherFileName) +
           L"\" bu listeyi imzalayan anahtari tasimiyor; oyuncularin launcher'lari onunla degisir ve "
           L"sonraki her listeyi reddeder (does not carry the list's signing key: players' launchers would "
           L"replace themselves with it and reject every later list). Launcher'in anahtarlari (the "
           L"launcher's keys): " +
           describeKeySet(launcherKeys) + L"; imzalayan anahtar (signing key): " + signingKeyText;
}

void checkNewsDocument(const wchar_t* name, const std::string* bytes, VerifyReport& report) {
    if (!bytes)
        report.notes.push_back(std::wstring(L"haber dosyasi yok (no news file) ") + name);
    else if (parseNews(*bytes).empty())
        report.notes.push_back(std::wstring(L"haber yok (no news items in) ") + name);
}

// The launcher the tree publishes must trust the list that names it, or it would take over every
// player's folder and reject all that follows.
void checkLauncherKeys(bool keysRead, const KeySet& launcherKeys, DWORD readError, const std::string& list,
                       const std::string& signature, VerifyReport& report) {
    if (!keysRead) {
        report.problems.push_back(
            L"yayindaki launcher'da anahtar kumesi yok (the published launcher carries no "
            L"key set): " +
            systemErrorText(readError));
        return;
    }
    if (verifyingKey(launcherKeys, list, signature)) return;
    std::wstring signer = report.signatureVerified ? describeKeySet({report.signingKey})
                                                   : std::wstring(L"bilinmiyor (unknown)");
    report.problems.push_back(launcherKeyMismatch(launcherKeys, signer));
}

bool checkListDocuments(const std::string& list, const std::string* signature, const KeySet& keys,
                        Manifest& manifest, VerifyReport& report) {
    if (!signature)
        report.problems.push_back(L"manifest.sig yok (missing)");
    else if (signature->size() != 64)
        report.problems.push_back(L"manifest.sig 64 bayt degil (is not 64 bytes): " +
                                  std::to_wstring(signature->size()));
    else if (const PublicKey* key = verifyingKey(keys, list, *signature)) {
        report.signatureVerified = true;
        report.signingKey = *key;
    } else {
        report.problems.push_back(L"imza bu anahtar(lar)la tutmuyor (signature does not match the key(s)): " +
                                  describeKeySet(keys));
    }
    if (!parseManifest(list, manifest)) {
        report.problems.push_back(
            L"liste reddedilir: baslik veya dosya kaydi yok (list rejected: no header or no "
            L"file record)");
        return false;
    }
    report.version = manifest.version;
    report.files = static_cast<int>(manifest.entries.size());
    report.bytes = manifestTotalBytes(manifest);
    checkRecordLines(list, report);
    if (!manifest.pathIndex.count(pathKey(kLauncherFileName)))
        report.notes.push_back(L"ustte \"" + std::wstring(kLauncherFileName) +
                               L"\" yok (no top-level launcher entry)");
    return true;
}

VerifyReport verifyPublishedTree(const std::wstring& serverFolder, const KeySet& keys,
                                 VerifyProgressFn progress, void* context) {
    VerifyReport report;
    std::string list;
    std::string signature;
    uint64_t size = 0;
    std::wstring listPath = joinPath(serverFolder, kListFileName);
    if (!fileSize(listPath, size)) {
        report.problems.push_back(L"manifest.txt yok (missing)");
        return report;
    }
    if (size > kListLimit || !readWholeFile(listPath, list, kListLimit)) {
        report.problems.push_back(
            L"manifest.txt okunamadi veya 32 MiB'den buyuk (unreadable or not below 32 MiB)");
        return report;
    }
    const bool signatureRead = readWholeFile(joinPath(serverFolder, kSignatureFileName), signature, 4096);
    Manifest manifest;
    if (!checkListDocuments(list, signatureRead ? &signature : nullptr, keys, manifest, report))
        return report;

    std::set<std::wstring> seen;
    std::set<std::string> listedHashes;
    for (const ManifestEntry& entry : manifest.entries)
        listedHashes.insert(entry.hash);
    for (const auto& [fileHash, ref] : manifest.chunkIndexes)
        if (!listedHashes.count(fileHash))
            report.notes.push_back(
                L"parca dizini kaydi hicbir dosyaya ait degil (chunk index record for no "
                L"listed file): " +
                fromUtf8(fileHash));
    int done = 0;
    for (const ManifestEntry& entry : manifest.entries) {
        checkObject(serverFolder, entry, chunkIndexFor(manifest, entry.hash), seen, report);
        if (progress) progress(context, ++done, report.files);
    }
    checkPublishedLauncher(serverFolder, manifest, list, signature, report);
    checkNews(serverFolder, report);
    return report;
}
