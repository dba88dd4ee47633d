#include "update/worker.h"

#include <cwchar>
#include <exception>
#include <new>

#include "base/file.h"
#include "base/security.h"
#include "base/text.h"
#include "update/http_client.h"
#include "update/key_set.h"
#include "update/run_driver.h"
#include "update/update_log.h"
#include "update/updater.h"

namespace {

constexpr uint64_t kLogRestartSize = 524288;
constexpr DWORD kEnvBuffer = 512;

// The variable's value when it holds 1 to 511 characters; empty otherwise (unset, empty, too long).
std::wstring environmentValue(const wchar_t* name) {
    wchar_t buffer[kEnvBuffer] = {};
    DWORD n = GetEnvironmentVariableW(name, buffer, kEnvBuffer);
    if (n == 0 || n >= kEnvBuffer) return {};
    return std::wstring(buffer, n);
}

void applyConnectionCount(UpdaterConfig& config, const std::wstring& text) {
    long value = std::wcstol(text.c_str(), nullptr, 10);
    if (value >= 1 && value <= 16) config.connectionCount = static_cast<int>(value);
}

// A log past 512 KiB is started afresh, so it never grows far beyond that plus one run.
void restartLargeLog(const std::wstring& rootFolder) {
    std::wstring path = logFilePath(rootFolder);
    uint64_t size = 0;
    if (fileSize(path, size) && size > kLogRestartSize) DeleteFileW(path.c_str());
}

// A launcher that trusts the development key accepts lists anyone can sign with the repository's
// keys/; one without keys accepts none. Either must be visible in every run's log.
void warnAboutKeys(Updater& u) {
    const KeySet& keys = ownKeySet();
    if (keys.empty())
        logLine(u, "UYARI: launcher'da anahtar yok, hicbir liste dogrulanamaz");
    else if (containsKey(keys, developmentKey()))
        logLine(u, "UYARI: gelistirme anahtarina guvenen launcher: test icindir, oyunculara dagitilmaz");
}

// An install made by an older build keeps the rights its folder had: on a second drive every signed-in
// user may replace the game's programs there. Installing again into the folder gives it its own.
void warnAboutFolderRights(Updater& u) {
    const FolderTrust trust = readFolderTrust(u.rootFolder, currentUserSid());
    if (!trust.rightsKept)
        logLine(u, "UYARI: oyun klasorunun diski hak tutmuyor (FAT/exFAT), baska hesaplar da yazabilir");
    else if (trust.readable && !trust.ownerTrusted)
        logLine(u,
                "UYARI: oyun klasorunun sahibi baska bir hesap, o hesap oyunun programlarini degistirebilir");
    else if (trust.readable && trust.othersMayWrite)
        logLine(u,
                "UYARI: oyun klasorune baska hesaplar da yazabilir; ayni klasore yeniden kurmak haklarini "
                "duzeltir");
}

}  // namespace

void applyServerUrl(UpdaterConfig& config, const std::wstring& url) {
    wchar_t host[255] = {};
    wchar_t path[511] = {};
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 255;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 511;
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return;
    config.host.assign(host, parts.dwHostNameLength);
    config.port = parts.nPort;
    config.useHttps = parts.nScheme == INTERNET_SCHEME_HTTPS;
    config.basePath.assign(path, parts.dwUrlPathLength);
    if (config.basePath.empty() || config.basePath.back() != L'/') config.basePath += L'/';
}

void readEnvironment(Updater& u) {
    std::wstring url = environmentValue(L"QORVANE_SUNUCU");
    if (!url.empty()) applyServerUrl(u.config, url);
    std::wstring count = environmentValue(L"QORVANE_ISCI");
    if (!count.empty()) applyConnectionCount(u.config, count);
}

void configureRun(Updater& u, const std::wstring& folder, bool skipSelfUpdate) {
    if (&folder != &u.rootFolder) u.rootFolder = folder;
    u.skipSelfUpdate = skipSelfUpdate;
    readEnvironment(u);
}

void runWorker(Updater& u, bool fullScan, bool checkOnly) {
    u.logEnabled = !checkOnly;
    if (!checkOnly) {
        restartLargeLog(u.rootFolder);
        logLine(u, "---- basla: %s%s, sunucu %s:%u%s", fullScan ? "tam tarama" : "hizli tarama",
            u.skipSelfUpdate ? " (--guncellendi)" : "", toUtf8(u.config.host).c_str(),
            static_cast<unsigned>(u.config.port), toUtf8(u.config.basePath).c_str());
        warnAboutKeys(u);
        warnAboutFolderRights(u);
    }
    StepResult session = openSession(u);
    if (!session.ok()) {
        reportError(u, session);
        u.workerRunning.exchange(false);
        return;
    }
    try {
        runUpdate(u, fullScan, checkOnly);
    } catch (const std::bad_alloc&) {
        // Nothing may leave the thread (it would end the process); out of memory is the only
        // exception the engine can meet, and the window then offers a retry.
        reportError(u, StepResult{StepOutcome::Failed, ERROR_NOT_ENOUGH_MEMORY, 0, {}, L"bellek yetmedi"});
    } catch (const std::exception&) {
        reportError(u, StepResult{StepOutcome::Failed, 0, 0, {}, L"beklenmeyen hata"});
    }
    closeSession(u);
    u.workerRunning.exchange(false);
}

void startRun(Updater& u, bool fullScan, bool checkOnly) {
    if (u.workerRunning) return;
    if (u.workerThread.joinable()) u.workerThread.join();
    u.stopRequested.exchange(false);
    u.workerRunning.exchange(true);
    beginRunStatus(u);
    try {
        u.workerThread = std::thread(runWorker, std::ref(u), fullScan, checkOnly);
    } catch (const std::exception&) {
        // No thread (out of resources): show it as a connection failure, which the window retries.
        // The runtime does not hand on the system's error for it.
        u.workerRunning.exchange(false);
        reportError(u, StepResult{StepOutcome::Unavailable, 0, 0, {}, L"guncelleme is parcacigi baslatilamadi"});
    }
}

void stopRun(Updater& u, uint32_t timeoutMs) {
    u.stopRequested.exchange(true);
    DWORD begin = GetTickCount();
    while (u.workerRunning && GetTickCount() - begin < timeoutMs)
        Sleep(20);
    if (!u.workerThread.joinable()) return;
    // A worker stuck in a network call ends by itself at its next look at stopRequested; the window
    // does not wait for it (the process may even exit first).
    if (u.workerRunning)
        u.workerThread.detach();
    else
        u.workerThread.join();
}
