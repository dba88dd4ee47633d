#include "tools/tree_verify.h"

#include <windows.h>

#include <set>

#include "base/file.h"
#include "base/names.h"
#include "base/text.h"
#include "update/hashing.h"
#include "update/manifest.h"
#include "update/manifest_fetch.h"
#include "update/news.h"

namespace {

// The launcher's list size limit: a larger body is refused before it is verified.
constexpr uint64_t kListLimit = 33554431;

// Records the launcher would drop without a word: each record line on its own, parsed by the
// launcher's parser beside a header and one valid file record, must add exactly one item.
void findDroppedRecords(const std::string& list, VerifyReport& report) {
    static const std::string kPrefix =
        "#QORVANEPC 1\nK 0000000000000000000000000000000000000000000000000000000000000000 0 probe\n";
    int lineNumber = 0;
    forEachLine(list, [&](std::string_view line) {
        ++lineNumber;
        if (line.size() < 3 || line[1] != ' ' || std::string_view("KIDSO").find(line[0]) == std::string_view::npos)
            return true;
        Manifest probe;
        parseManifest(kPrefix + std::string(line) + "\n", probe);
        size_t items = probe.entries.size() - 1 + probe.cleanDirs.size() + probe.keepPatterns.size() +
                       probe.createDirs.size();
        if (items != 1)
            report.problems.push_back(L"satir " + std::to_wstring(lineNumber) +
                                      L" launcher tarafindan yok sayilir (line ignored by the launcher): " +
                                      fromUtf8(line));
        return true;
    });
}

void checkObject(const std::wstring& serverFolder, const ManifestEntry& entry, std::set<std::wstring>& seen,
                 VerifyReport& report) {
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
    std::string hash = hashFile(full, nullptr, nullptr);
    if (hash.empty())
        report.problems.push_back(L"nesne okunamadi (cannot read object) " + relative);
    else if (hash != entry.hash)
        report.problems.push_back(L"nesne ozeti yanlis (wrong object hash) " + relative + L" for " +
                                  entry.path);
    ++report.objectsChecked;
}

void checkNews(const std::wstring& serverFolder, VerifyReport& report) {
    for (const wchar_t* name : {L"haberler_tr.txt", L"haberler_en.txt"}) {
        std::string bytes;
        uint64_t size = 0;
        if (!fileSize(joinPath(serverFolder, name), size))
            report.notes.push_back(std::wstring(L"haber dosyasi yok (no news file) ") + name);
        else if (size > kListLimit || !readWholeFile(joinPath(serverFolder, name), bytes, kListLimit))
            report.problems.push_back(std::wstring(L"haber dosyasi okunamaz (news file unusable) ") + name);
        else if (parseNews(bytes).empty())
            report.notes.push_back(std::wstring(L"haber yok (no news items in) ") + name);
    }
}

}  // namespace

VerifyReport verifyPublishedTree(const std::wstring& serverFolder, const unsigned char publicKey[64],
                                 VerifyProgressFn progress, void* context) {
    VerifyReport report;
    std::string list;
    std::string signature;
    uint64_t size = 0;
    std::wstring listPath = joinPath(serverFolder, L"manifest.txt");
    if (!fileSize(listPath, size)) {
        report.problems.push_back(L"manifest.txt yok (missing)");
        return report;
    }
    if (size > kListLimit || !readWholeFile(listPath, list, kListLimit)) {
        report.problems.push_back(
            L"manifest.txt okunamadi veya 32 MiB'den buyuk (unreadable or not below 32 MiB)");
        return report;
    }
    if (!readWholeFile(joinPath(serverFolder, L"manifest.sig"), signature, 4096))
        report.problems.push_back(L"manifest.sig yok (missing)");
    else if (signature.size() != 64)
        report.problems.push_back(L"manifest.sig 64 bayt degil (is not 64 bytes): " +
                                  std::to_wstring(signature.size()));
    else if (!verifySignatureWithKey(list, signature, publicKey))
        report.problems.push_back(L"imza bu anahtarla tutmuyor (signature does not match this key)");

    Manifest manifest;
    if (!parseManifest(list, manifest)) {
        report.problems.push_back(
            L"liste reddedilir: baslik veya dosya kaydi yok (list rejected: no header or no "
            L"file record)");
        return report;
    }
    report.version = manifest.version;
    report.files = static_cast<int>(manifest.entries.size());
    report.bytes = manifestTotalBytes(manifest);
    findDroppedRecords(list, report);
    if (manifest.pathIndex.size() != manifest.entries.size())
        report.problems.push_back(L"ayni yol birden fazla kez listelenmis (a path is listed more than once)");
    if (!manifest.pathIndex.count(normalizePath(kLauncherFileName)))
        report.notes.push_back(L"ustte \"" + std::wstring(kLauncherFileName) + L"\" yok (no top-level launcher entry)");

    std::set<std::wstring> seen;
    int done = 0;
    for (const ManifestEntry& entry : manifest.entries) {
        checkObject(serverFolder, entry, seen, report);
        if (progress) progress(context, ++done, report.files);
    }
    checkNews(serverFolder, report);
    return report;
}
