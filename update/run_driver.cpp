#include "update/run_driver.h"

#include <string>
#include <vector>

#include "base/contained_path.h"
#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/text.h"
#include "update/downloader.h"
#include "update/extra_files.h"
#include "update/hashing.h"
#include "update/manifest.h"
#include "update/manifest_fetch.h"
#include "update/news.h"
#include "update/self_update.h"
#include "update/temp_journal.h"
#include "update/update_log.h"
#include "update/updater.h"
#include "update/version_record.h"

namespace {

// The scan's progress while one file is hashed: the bytes of the files before it, plus its own.
struct ScanProgress {
    Updater& u;
    uint64_t base = 0;
};

bool hashProgress(void* context, uint64_t bytesSoFar) {
    auto& scan = *static_cast<ScanProgress*>(context);
    reportProgress(scan.u, scan.base + bytesSoFar);
    return !scan.u.stopRequested;
}

void publishVerifiedList(Updater& u, const Manifest& manifest) {
    uint64_t total = manifestTotalBytes(manifest);
    publishList(u, manifest.version, total);
    logLine(u, "liste dogrulandi: surum %llu, %u dosya, %llu bayt",
            static_cast<unsigned long long>(manifest.version), static_cast<unsigned>(manifest.entries.size()),
            static_cast<unsigned long long>(total));
}

}  // namespace

bool scanListedFiles(Updater& u, const Manifest& manifest, HashCache& cache, bool fullScan,
                     std::vector<uint32_t>& downloadList, int& filesCounted, uint64_t& bytesCounted) {
    const std::wstring launcherKey = pathKey(kLauncherFileName);
    const std::wstring gameKey = pathKey(kGameFileName);
    std::vector<std::wstring> keys;
    keys.reserve(manifest.entries.size());
    filesCounted = 0;
    bytesCounted = 0;
    for (const ManifestEntry& e : manifest.entries) {
        keys.push_back(pathKey(e.path));
        if (keys.back() == launcherKey) continue;
        ++filesCounted;
        bytesCounted += e.size;
    }
    beginStage(u, UpdatePhase::Scanning, filesCounted, bytesCounted);
    ScanProgress progress{u};
    int done = 0;
    for (uint32_t i = 0; i < manifest.entries.size(); ++i) {
        if (u.stopRequested) return false;
        const ManifestEntry& entry = manifest.entries[i];
        if (keys[i] == launcherKey) continue;  // the self-update owns it
        setCurrentFile(u, entry.path, ++done);
        reportProgress(u, progress.base);
        // A path listed twice is one file: its last record decides. An earlier one would fetch
        // other bytes to the same place, even alongside the last one into the same temp file.
        auto last = manifest.pathIndex.find(keys[i]);
        if (last != manifest.pathIndex.end() && last->second != i) {
            progress.base += entry.size;
            continue;
        }
        std::wstring path = fullPath(u.rootFolder, entry.path);
        uint64_t size = 0, mtime = 0;
        bool isFolder = false;
        if (!fileStamp(path, size, mtime, &isFolder) || isFolder) {
            downloadList.push_back(i);
        } else if (entry.kind == 'K') {
            std::string hash;
            if (size == entry.size) {
                auto cached = cache.find(keys[i]);
                // The program the play button starts is read in every run: its size and time are
                // no proof of its content, since whoever could replace it could set both back.
                if (!fullScan && keys[i] != gameKey && cached != cache.end() && cached->second.size == size &&
                    cached->second.mtime == mtime) {
                    hash = cached->second.hash;
                } else {
                    hash = hashFile(path, hashProgress, &progress);
                    if (u.stopRequested) return false;
                    if (!hash.empty()) cache[keys[i]] = {hash, size, mtime};
                }
            }
            if (size != entry.size || hash != entry.hash) downloadList.push_back(i);
        }
        progress.base += entry.size;
    }
    return true;
}

namespace {

void deleteExtraFiles(Updater& u, const Manifest& manifest, const ContainedRoot& root) {
    std::vector<std::wstring> extras;
    findExtraFiles(u.rootFolder, manifest, extras);
    for (const std::wstring& relative : extras) {
        // By the exact name found on disk ("pack/data.pak." is not "pack/data.pak"), read-only or
        // not, and never through a folder that became a junction since the walk.
        bool deleted = deleteFileBelow(root, relative) == 0;
        logLine(u, "fazla dosya %s %s", toUtf8(relative).c_str(), deleted ? "silindi" : "silinemedi");
    }
}

// The folders the list asks for, the hash cache without paths the list no longer names, and the
// verified list with its signature, kept for the next start. Failures are harmless: a missing cache
// costs a hashing scan, a missing list copy nothing the next run needs.
void saveState(Updater& u, const ContainedRoot& root, const Manifest& manifest, HashCache& cache,
               const std::string& listBytes, const std::string& signatureBytes) {
    const std::wstring& rootFolder = u.rootFolder;
    for (const std::wstring& folder : manifest.createDirs) {
        if (createFolderBelow(root, folder) == kLinkOnTheWay)
            logLine(u, "baglanti uzerinden klasor olusturulmaz: %s", toUtf8(folder).c_str());
    }
    for (auto it = cache.begin(); it != cache.end();) {
        if (manifest.pathIndex.count(it->first))
            ++it;
        else
            it = cache.erase(it);
    }
    createFolderTree(stateFolderPath(rootFolder));
    saveHashCache(rootFolder, cache);
    replaceFileDurably(stateFilePath(rootFolder, L"manifest.txt"), listBytes);
    replaceFileDurably(stateFilePath(rootFolder, L"manifest.sig"), signatureBytes);
}

}  // namespace

void runUpdate(Updater& u, bool fullScan, bool checkOnly) {
    Manifest manifest;
    std::string listBytes, signatureBytes;
    const VersionFloor floor = highestVerifiedVersion(u.rootFolder);
    StepResult fetched = fetchManifest(u, manifest, listBytes, signatureBytes, floor.version);
    if (u.stopRequested) return;
    if (!fetched.ok()) {
        reportError(u, fetched);
        return;
    }
    publishVerifiedList(u, manifest);
    // Remembered at once, before anything can fail: the folder has seen this version, so no older
    // one may replace it, whatever happens to the rest of this run.
    if (!checkOnly) {
        VersionWrite written = rememberVerifiedVersion(u.rootFolder, manifest.version, floor);
        if (!written.ok())
            logLine(u, "liste surumu kaydedilemedi: dosya %lu, kayit defteri %lu",
                    static_cast<unsigned long>(written.fileError),
                    static_cast<unsigned long>(written.registryError));
    }
    fetchNews(u);
    if (u.stopRequested) return;
    if (checkOnly) {
        setPhase(u, UpdatePhase::ListChecked);
        return;
    }

    StepResult replaced = selfUpdate(u, manifest, listBytes, signatureBytes);
    if (u.stopRequested) return;
    if (replaced.ok()) {
        logLine(u, "launcher guncellendi, yeniden baslatiliyor");
        setPhase(u, UpdatePhase::SelfUpdated);
        return;
    }
    if (replaced.outcome != StepOutcome::Unchanged) logLine(u, "launcher guncellenemedi, oyun dosyalariyla devam");

    // What a process ended in the middle of a download left behind, before this run plans its own.
    for (const std::wstring& relative : removeLeftoverTemps(u.rootFolder))
        logLine(u, "yarim kalan indirme silindi %s", toUtf8(relative).c_str());

    HashCache cache;
    loadHashCache(u.rootFolder, cache);
    std::vector<uint32_t> downloadList;
    int filesCounted = 0;
    uint64_t bytesCounted = 0;
    if (!scanListedFiles(u, manifest, cache, fullScan, downloadList, filesCounted, bytesCounted)) return;
    reportProgress(u, bytesCounted);
    logLine(u, "tarama bitti: %d dosya, %u indirilecek", filesCounted, static_cast<unsigned>(downloadList.size()));

    if (!downloadList.empty() && !runDownloader(u, manifest, downloadList, cache)) return;

    setPhase(u, UpdatePhase::Cleaning);
    const ContainedRoot root = resolveRoot(u.rootFolder);
    deleteExtraFiles(u, manifest, root);
    saveState(u, root, manifest, cache, listBytes, signatureBytes);
    logLine(u, "HAZIR");
    finishRun(u);
}
