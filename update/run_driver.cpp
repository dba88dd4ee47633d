#include "update/run_driver.h"

#include <set>
#include <string>
#include <vector>

#include "base/contained_path.h"
#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/sha256.h"
#include "base/text.h"
#include "net/http_client.h"
#include "protocol/hash_cache.h"
#include "protocol/manifest.h"
#include "protocol/temp_journal.h"
#include "protocol/verified_list.h"
#include "update/downloader.h"
#include "update/extra_files.h"
#include "update/manifest_fetch.h"
#include "update/news.h"
#include "update/object_hosts.h"
#include "update/patch_run.h"
#include "update/self_update.h"
#include "update/update_log.h"
#include "update/updater.h"
#include "update/version_record.h"

namespace {

// The scan's progress while one file is hashed: the bytes of the files before it, plus its own.
struct ScanProgress {
    LiveStatus& status;
    const StopSignal& stop;
    uint64_t base = 0;
};

bool hashProgress(void* context, uint64_t bytesSoFar) {
    auto& scan = *static_cast<ScanProgress*>(context);
    reportProgress(scan.status, scan.base + bytesSoFar);
    return !scan.stop.requested();
}

void publishVerifiedList(LiveStatus& status, UpdateLog& log, const Manifest& manifest) {
    uint64_t total = manifestTotalBytes(manifest);
    publishList(status, manifest.version, total);
    logLine(log, "liste dogrulandi: surum %llu, %u dosya, %llu bayt",
            static_cast<unsigned long long>(manifest.version), static_cast<unsigned>(manifest.entries.size()),
            static_cast<unsigned long long>(total));
}

// When the configured server gave no usable list: the mirrors the last verified list named, in its
// order, each under the same checks, attempts and version floor. True with the list of the first
// that passes; a mirror that fails or serves an older list is logged and the next one asked.
bool listFromMirrors(Updater& updater, uint64_t minimumVersion, const StepResult& configuredFailure,
                     Manifest& manifest, std::string& listBytes, std::string& signatureBytes) {
    const UpdaterConfig& config = updater.config;
    Manifest known;
    if (!readVerifiedListCopy(config.rootFolder, known) || known.mirrors.empty()) return false;
    logLine(updater.log, "liste sunucudan alinamadi (%s), aynalar deneniyor",
            toUtf8(configuredFailure.detail).c_str());
    size_t asked = 0;
    for (const MirrorAddress& mirror : known.mirrors) {
        const ServerAddress server = mirrorServer(mirror);
        if (sameServer(server, config.server)) continue;
        if (asked++ == kMaxMirrors || updater.stop.requested()) break;
        const std::string name = toUtf8(mirror.url);
        HttpSession session;
        if (DWORD error = openSession(session, server, config.timeouts)) {
            logLine(updater.log, "ayna listesi kullanilamadi: %s: oturum acilamadi (%lu)", name.c_str(),
                    static_cast<unsigned long>(error));
            continue;
        }
        StepResult fetched = fetchManifest(session, config.retries.list, updater.stop, manifest, listBytes,
                                           signatureBytes, minimumVersion);
        if (fetched.ok()) {
            logLine(updater.log, "liste aynadan alindi: %s", name.c_str());
            return true;
        }
        if (updater.stop.requested()) return false;
        logLine(updater.log, "ayna listesi kullanilamadi: %s: %s", name.c_str(),
                toUtf8(fetched.detail).c_str());
    }
    return false;
}

}  // namespace

StepResult scanListedFiles(const std::wstring& rootFolder, const StopSignal& stop, LiveStatus& status,
                           const Manifest& manifest, HashCache& cache, bool fullScan,
                           std::vector<uint32_t>& downloadList, ScanCounts& counted) {
    const std::wstring launcherKey = pathKey(kLauncherFileName);
    const std::wstring gameKey = pathKey(kGameFileName);
    std::vector<std::wstring> keys;
    keys.reserve(manifest.entries.size());
    counted = ScanCounts{};
    for (const ManifestEntry& e : manifest.entries) {
        keys.push_back(pathKey(e.path));
        if (keys.back() == launcherKey) continue;
        ++counted.files;
        counted.bytes += e.size;
    }
    beginStage(status, UpdatePhase::Scanning, counted.files, counted.bytes);
    ScanProgress progress{status, stop};
    int done = 0;
    for (uint32_t i = 0; i < manifest.entries.size(); ++i) {
        if (stop.requested()) return StepResult{StepOutcome::Stopped};
        const ManifestEntry& entry = manifest.entries[i];
        if (keys[i] == launcherKey) continue;  // the self-update owns it
        setCurrentFile(status, entry.path, ++done);
        reportProgress(status, progress.base);
        // A path listed twice is one file: its last record decides. An earlier one would fetch
        // other bytes to the same place, even alongside the last one into the same temp file.
        auto last = manifest.pathIndex.find(keys[i]);
        if (last != manifest.pathIndex.end() && last->second != i) {
            progress.base += entry.size;
            continue;
        }
        std::wstring path = fullPath(rootFolder, entry.path);
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
                    if (stop.requested()) return StepResult{StepOutcome::Stopped};
                    if (!hash.empty()) cache[keys[i]] = {hash, size, mtime};
                }
            }
            if (size != entry.size || hash != entry.hash) downloadList.push_back(i);
        }
        progress.base += entry.size;
    }
    return StepResult{};
}

namespace {

void deleteExtraFiles(const ContainedRoot& root, UpdateLog& log, const Manifest& manifest) {
    std::vector<std::wstring> extras;
    findExtraFiles(root.folder, manifest, extras);
    for (const std::wstring& relative : extras) {
        // By the exact name found on disk ("pack/data.pak." is not "pack/data.pak"), read-only or
        // not, and never through a folder that became a junction since the walk.
        bool deleted = deleteFileBelow(root, relative) == 0;
        logLine(log, "fazla dosya %s %s", toUtf8(relative).c_str(), deleted ? "silindi" : "silinemedi");
    }
}

// The folders the list asks for, the hash cache without paths the list no longer names, and the
// verified list with its signature, kept for the next start. Failures are harmless: a missing cache
// costs a hashing scan, a missing list copy nothing the next run needs.
void saveState(const ContainedRoot& root, UpdateLog& log, const Manifest& manifest, HashCache& cache,
               const std::string& listBytes, const std::string& signatureBytes) {
    const std::wstring& rootFolder = root.folder;
    for (const std::wstring& folder : manifest.createDirs) {
        if (createFolderBelow(root, folder) == kLinkOnTheWay)
            logLine(log, "baglanti uzerinden klasor olusturulmaz: %s", toUtf8(folder).c_str());
    }
    for (auto it = cache.begin(); it != cache.end();) {
        if (manifest.pathIndex.count(it->first))
            ++it;
        else
            it = cache.erase(it);
    }
    createFolderTree(stateFolderPath(rootFolder));
    saveHashCache(rootFolder, cache);
    replaceFileDurably(stateFilePath(rootFolder, kListFileName), listBytes);
    replaceFileDurably(stateFilePath(rootFolder, kSignatureFileName), signatureBytes);
}

}  // namespace

void runUpdate(Updater& updater, bool fullScan, bool checkOnly) {
    const UpdaterConfig& config = updater.config;
    const RunServices services = runServices(updater);
    // A step that ended by a stop reports nothing: the window is closing or a new run takes over.
    auto failed = [&](const StepResult& result) {
        if (updater.stop.requested() || result.outcome == StepOutcome::Stopped) return true;
        if (result.ok()) return false;
        reportError(updater.status, updater.log, result);
        return true;
    };

    Manifest manifest;
    std::string listBytes, signatureBytes;
    const VersionFloor floor = highestVerifiedVersion(config.rootFolder);
    StepResult fetched = fetchManifest(updater.session, config.retries.list, updater.stop, manifest,
                                       listBytes, signatureBytes, floor.version);
    // The configured server's own failure stays the run's error when no mirror helps.
    bool configuredDown = false;
    if (!fetched.ok() && !updater.stop.requested() && fetched.outcome != StepOutcome::Stopped &&
        listFromMirrors(updater, floor.version, fetched, manifest, listBytes, signatureBytes)) {
        configuredDown = fetched.outcome == StepOutcome::Unavailable;
        fetched = StepResult{};
    }
    if (failed(fetched)) return;
    // Game files come from the servers this list names; a configured server that gave no list at all
    // is not asked for them.
    setObjectHosts(updater.hosts, updater.session, manifest.mirrors);
    if (configuredDown) updater.hosts.hosts.front()->passedOver = true;
    publishVerifiedList(updater.status, updater.log, manifest);
    // Remembered at once, before anything can fail: the folder has seen this version, so no older
    // one may replace it, whatever happens to the rest of this run.
    if (!checkOnly) {
        VersionWrite written = rememberVerifiedVersion(config.rootFolder, manifest.version, floor);
        if (!written.ok())
            logLine(updater.log, "liste surumu kaydedilemedi: dosya %lu, kayit defteri %lu",
                    static_cast<unsigned long>(written.fileError),
                    static_cast<unsigned long>(written.registryError));
    }
    fetchNews(updater.session, updater.stop, updater.status);
    if (updater.stop.requested()) return;
    if (checkOnly) {
        setPhase(updater.status, UpdatePhase::ListChecked);
        return;
    }

    StepResult replaced = selfUpdate(services, config.skipSelfUpdate, config.retries.selfUpdate, manifest,
                                     listBytes, signatureBytes);
    if (updater.stop.requested()) return;
    if (replaced.ok()) {
        logLine(updater.log, "launcher guncellendi, yeniden baslatiliyor");
        setPhase(updater.status, UpdatePhase::SelfUpdated);
        return;
    }
    if (replaced.outcome != StepOutcome::Unchanged)
        logLine(updater.log, "launcher guncellenemedi, oyun dosyalariyla devam");

    HashCache cache;
    loadHashCache(config.rootFolder, cache);
    std::vector<uint32_t> downloadList;
    ScanCounts counted;
    if (failed(scanListedFiles(config.rootFolder, updater.stop, updater.status, manifest, cache, fullScan,
                               downloadList, counted)))
        return;
    reportProgress(updater.status, counted.bytes);
    logLine(updater.log, "tarama bitti: %d dosya, %u indirilecek", counted.files,
            static_cast<unsigned>(downloadList.size()));

    // What a process ended in the middle of a download left behind, before this run plans its own:
    // the temp file of a file this run fetches and can patch is where the next patch goes on from.
    std::set<std::wstring> fetchedTemps;
    for (uint32_t index : downloadList)
        fetchedTemps.insert(pathKey(manifest.entries[index].path + kDownloadSuffix));
    auto keep = [&](const std::wstring& relativeTemp) {
        return fetchedTemps.count(pathKey(relativeTemp)) && keepsTempForPatch(manifest, relativeTemp);
    };
    for (const std::wstring& relative : removeLeftoverTemps(config.rootFolder, keep))
        logLine(updater.log, "yarim kalan indirme silindi %s", toUtf8(relative).c_str());

    if (!downloadList.empty() &&
        failed(runDownloader(downloadSettings(config), services, manifest, downloadList, cache)))
        return;

    setPhase(updater.status, UpdatePhase::Cleaning);
    const ContainedRoot root = resolveRoot(config.rootFolder);
    deleteExtraFiles(root, updater.log, manifest);
    saveState(root, updater.log, manifest, cache, listBytes, signatureBytes);
    logLine(updater.log, "HAZIR");
    finishRun(updater.status);
}
