#include "update/worker.h"

#include <cwchar>
#include <exception>
#include <new>

#include "base/file.h"
#include "base/names.h"
#include "base/security.h"
#include "base/text.h"
#include "net/http_client.h"
#include "protocol/key_set.h"
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
void warnAboutKeys(UpdateLog& log) {
    const KeySet& keys = ownKeySet();
    if (keys.empty())
        logLine(log, "UYARI: launcher'da anahtar yok, hicbir liste dogrulanamaz");
    else if (containsKey(keys, developmentKey()))
        logLine(log, "UYARI: gelistirme anahtarina guvenen launcher: test icindir, oyunculara dagitilmaz");
}

// An install made by an older build keeps the rights its folder had: on a second drive every signed-in
// user may replace the game's programs there. Installing again into the folder gives it its own.
void warnAboutFolderRights(const std::wstring& rootFolder, UpdateLog& log) {
    const FolderTrust trust = readFolderTrust(rootFolder, currentUserSid());
    if (!trust.rightsKept)
        logLine(log, "UYARI: oyun klasorunun diski hak tutmuyor (FAT/exFAT), baska hesaplar da yazabilir");
    else if (trust.readable && !trust.ownerTrusted)
        logLine(log,
                "UYARI: oyun klasorunun sahibi baska bir hesap, o hesap oyunun programlarini degistirebilir");
    else if (trust.readable && trust.othersMayWrite)
        logLine(log,
                "UYARI: oyun klasorune baska hesaplar da yazabilir; ayni klasore yeniden kurmak haklarini "
                "duzeltir");
}

}  // namespace

void readEnvironment(UpdaterConfig& config) {
    std::wstring url = environmentValue(L"QORVANE_SUNUCU");
    // A URL that does not parse leaves the server as it was.
    if (!url.empty()) static_cast<void>(parseServerUrl(url, config.server));
    std::wstring count = environmentValue(L"QORVANE_ISCI");
    if (!count.empty()) applyConnectionCount(config, count);
}

void configureRun(Updater& updater, const std::wstring& folder, bool skipSelfUpdate) {
    UpdaterConfig& config = updater.config;
    if (&folder != &config.rootFolder) config.rootFolder = folder;
    config.skipSelfUpdate = skipSelfUpdate;
    readEnvironment(config);
}

void runWorker(Updater& updater, bool fullScan, bool checkOnly) {
    const UpdaterConfig& config = updater.config;
    UpdateLog& log = updater.log;
    setLogFolder(log, config.rootFolder);
    log.enabled = !checkOnly;
    if (!checkOnly) {
        restartLargeLog(config.rootFolder);
        const std::string restarted = " (" + toUtf8(kAfterSelfUpdateOption) + ")";
        logLine(log, "---- basla: %s%s, sunucu %s:%u%s", fullScan ? "tam tarama" : "hizli tarama",
                config.skipSelfUpdate ? restarted.c_str() : "", toUtf8(config.server.host).c_str(),
                static_cast<unsigned>(config.server.port), toUtf8(config.server.basePath).c_str());
        warnAboutKeys(log);
        warnAboutFolderRights(config.rootFolder, log);
    }
    if (DWORD error = openSession(updater.session, config.server, config.timeouts)) {
        reportError(updater.status, log,
                    StepResult{StepOutcome::Unavailable, error, 0, {}, L"WinHTTP oturumu acilamadi"});
        updater.workerRunning.exchange(false);
        return;
    }
    try {
        runUpdate(updater, fullScan, checkOnly);
    } catch (const std::bad_alloc&) {
        // Nothing may leave the thread (it would end the process); out of memory is the only
        // exception the engine can meet, and the window then offers a retry.
        reportError(updater.status, log,
                    StepResult{StepOutcome::Failed, ERROR_NOT_ENOUGH_MEMORY, 0, {}, L"bellek yetmedi"});
    } catch (const std::exception&) {
        reportError(updater.status, log, StepResult{StepOutcome::Failed, 0, 0, {}, L"beklenmeyen hata"});
    }
    closeSession(updater.session);
    updater.workerRunning.exchange(false);
}

void startRun(Updater& updater, bool fullScan, bool checkOnly) {
    if (updater.workerRunning) return;
    if (updater.workerThread.joinable()) updater.workerThread.join();
    updater.stop.clear();
    updater.workerRunning.exchange(true);
    beginRunStatus(updater.status);
    try {
        updater.workerThread = std::thread(runWorker, std::ref(updater), fullScan, checkOnly);
    } catch (const std::exception&) {
        // No thread (out of resources): show it as a connection failure, which the window retries.
        // The runtime does not hand on the system's error for it.
        updater.workerRunning.exchange(false);
        reportError(updater.status, updater.log,
                    StepResult{StepOutcome::Unavailable, 0, 0, {}, L"guncelleme is parcacigi baslatilamadi"});
    }
}

void stopRun(Updater& updater, uint32_t timeoutMs) {
    updater.stop.request();
    DWORD begin = GetTickCount();
    while (updater.workerRunning && GetTickCount() - begin < timeoutMs)
        Sleep(20);
    if (!updater.workerThread.joinable()) return;
    // A worker stuck in a network call ends by itself at its next look at the stop signal; the
    // window does not wait for it (the process may even exit first).
    if (updater.workerRunning)
        updater.workerThread.detach();
    else
        updater.workerThread.join();
}
