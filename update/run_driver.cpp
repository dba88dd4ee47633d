#include "update/run_driver.h"

#include "base/file.h"
#include "base/names.h"

#include <string>
#include <vector>

#include "update/downloader.h"
#include "update/extra_files.h"
#include "base/handles.h"
#include "update/hashing.h"
#include "update/manifest.h"
#include "update/manifest_fetch.h"
#include "update/news.h"
#include "update/self_update.h"
#include "base/text.h"
#include "update/update_log.h"
#include "update/updater.h"

namespace {

uint64_t fileTimeValue(const FILETIME& t) {
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

bool hashProgress(void* context, uint64_t bytesSoFar) {
    auto& u = *static_cast<Updater*>(context);
    reportProgress(u, u.hashedBytesBase + bytesSoFar);
    return !u.stopRequested;
}

void publishVerifiedList(Updater& u, const Manifest& manifest) {
    uint64_t total = manifestTotalBytes(manifest);
    {
        std::lock_guard<std::mutex> lock(u.statusMutex);
        u.status.manifestVersion = manifest.version;
        u.status.requiredBytes = total;
        u.status.listVerified = true;
    }
    logLine(u, "liste dogrulandi: surum %llu, %u dosya, %llu bayt",
        static_cast<unsigned long long>(manifest.version), static_cast<unsigned>(manifest.entries.size()),
        static_cast<unsigned long long>(total));
}

}  // namespace

bool scanListedFiles(Updater& u, const Manifest& manifest, HashCache& cache, bool fullScan,
                     std::vector<uint32_t>& downloadList, int& filesCounted, uint64_t& bytesCounted) {
    const std::wstring launcherKey = normalizePath(kLauncherFileName);
    std::vector<std::wstring> keys;
    keys.reserve(manifest.entries.size());
    filesCounted = 0;
    bytesCounted = 0;
    for (const ManifestEntry& e : manifest.entries) {
        keys.push_back(normalizePath(e.path));
        if (keys.back() == launcherKey) continue;
        ++filesCounted;
        bytesCounted += e.size;
    }
    {
        std::lock_guard<std::mutex> lock(u.statusMutex);
        u.status.phase = UpdatePhase::Scanning;
        u.status.errorCode = ErrorKind::None;
        u.status.filesTotal = filesCounted;
        u.status.bytesTotal = bytesCounted;
        u.status.filesDone = 0;
        u.status.bytesDone = 0;
    }
    uint64_t base = 0;
    int done = 0;
    for (uint32_t i = 0; i < manifest.entries.size(); ++i) {
        if (u.stopRequested) return false;
        const ManifestEntry& entry = manifest.entries[i];
        if (keys[i] == launcherKey) continue;  // the self-update owns it
        {
            std::lock_guard<std::mutex> lock(u.statusMutex);
            u.status.detailText = entry.path;
            u.status.filesDone = ++done;
            u.status.bytesDone = base;
        }
        // A path listed twice is one file: its last record decides. An earlier one would fetch
        // other bytes to the same place, even alongside the last one into the same temp file.
        auto last = manifest.pathIndex.find(keys[i]);
        if (last != manifest.pathIndex.end() && last->second != i) {
            base += entry.size;
            continue;
        }
        std::wstring path = gameFilePath(u, entry.path);
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            downloadList.push_back(i);
        } else if (entry.kind == 'K') {
            uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            uint64_t mtime = fileTimeValue(data.ftLastWriteTime);
            std::string hash;
            if (size == entry.size) {
                auto cached = cache.find(keys[i]);
                if (!fullScan && cached != cache.end() && cached->second.size == size &&
                    cached->second.mtime == mtime) {
                    hash = cached->second.hash;
                } else {
                    u.hashedBytesBase = base;
                    hash = hashFile(path, hashProgress, &u);
                    if (u.stopRequested) return false;
                    if (!hash.empty()) cache[keys[i]] = {hash, size, mtime};
                }
            }
            if (size != entry.size || hash != entry.hash) downloadList.push_back(i);
        }
        base += entry.size;
    }
    return true;
}

namespace {

void deleteExtraFiles(Updater& u, const Manifest& manifest) {
    std::vector<std::wstring> extras;
    findExtraFiles(u, manifest, extras);
    for (const std::wstring& relative : extras) {
        std::wstring path = gameFilePath(u, relative);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only files go too
        bool deleted = DeleteFileW(path.c_str()) != 0;
        logLine(u, "fazla dosya %s %s", toUtf8(relative).c_str(), deleted ? "silindi" : "silinemedi");
    }
}

void writeStateFile(const std::wstring& path, const std::string& bytes) {
    UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file && !bytes.empty())
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void saveState(Updater& u, const Manifest& manifest, HashCache& cache, const std::string& listBytes,
               const std::string& signatureBytes) {
    for (const std::wstring& folder : manifest.createDirs)
        createFolderTree(gameFilePath(u, folder));
    for (auto it = cache.begin(); it != cache.end();) {
        if (manifest.pathIndex.count(it->first))
            ++it;
        else
            it = cache.erase(it);
    }
    createFolderTree(u.rootFolder + L"\\koruma");
    saveHashCache(u.rootFolder, cache);
    writeStateFile(u.rootFolder + L"\\koruma\\manifest.txt", listBytes);
    writeStateFile(u.rootFolder + L"\\koruma\\manifest.sig", signatureBytes);
}

}  // namespace

void runUpdate(Updater& u, bool fullScan, bool checkOnly) {
    Manifest manifest;
    std::string listBytes, signatureBytes;
    int fetched = fetchManifest(u, manifest, listBytes, signatureBytes);
    if (u.stopRequested) return;
    if (fetched != 0) {
        reportError(u, static_cast<ErrorKind>(fetched), L"");
        return;
    }
    publishVerifiedList(u, manifest);
    fetchNews(u);
    if (u.stopRequested) return;
    if (checkOnly) {
        setPhase(u, UpdatePhase::ListChecked);
        return;
    }

    int replaced = selfUpdate(u, manifest);
    if (u.stopRequested) return;
    if (replaced == 1) {
        logLine(u, "launcher guncellendi, yeniden baslatiliyor");
        setPhase(u, UpdatePhase::SelfUpdated);
        return;
    }
    if (replaced != 0) logLine(u, "launcher guncellenemedi, oyun dosyalariyla devam");

    HashCache cache;
    loadHashCache(u.rootFolder, cache);
    std::vector<uint32_t> downloadList;
    int filesCounted = 0;
    uint64_t bytesCounted = 0;
    if (!scanListedFiles(u, manifest, cache, fullScan, downloadList, filesCounted, bytesCounted)) return;
    reportProgress(u, bytesCounted);
    logLine(u, "tarama bitti: %d dosya, %u indirilecek", filesCounted,
        static_cast<unsigned>(downloadList.size()));

    if (!downloadList.empty() && !runDownloader(u, manifest, downloadList, cache)) return;

    setPhase(u, UpdatePhase::Cleaning);
    deleteExtraFiles(u, manifest);
    saveState(u, manifest, cache, listBytes, signatureBytes);
    {
        std::lock_guard<std::mutex> lock(u.statusMutex);
        u.status.bytesDone = u.status.bytesTotal;
    }
    logLine(u, "HAZIR");
    setPhase(u, UpdatePhase::Ready);
}
