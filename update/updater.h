// The update engine's one state record (Updater), its live status (StatusSnapshot) and the status
// operations every stage uses. The window reads the engine only through copyStatus.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

enum class UpdatePhase : int {
    Idle = 0,
    Connecting = 1,
    ListChecked = 2,
    Scanning = 3,
    Downloading = 4,
    Cleaning = 5,
    Ready = 6,
    Error = 7,
    SelfUpdated = 8,
};

// Error kinds carried in StatusSnapshot::errorCode while the phase is Error; the numbers are the
// ones the log's "HATA" line shows.
enum class ErrorKind : int {
    None = 0,
    Connection = 1,      // no session, or the list or its signature could not be fetched
    ListRejected = 2,    // the list failed its signature or format check twice
    FileWrite = 3,       // a file could not be created, written or moved
    FileLocked = 4,      // a target file is held by another program (the game is running)
    DownloadFailed = 5,  // a file failed in all its attempts
    DiskFull = 6,
};

struct NewsItem {
    std::wstring date;
    std::wstring title;
};

struct StatusSnapshot {
    UpdatePhase phase = UpdatePhase::Idle;
    ErrorKind errorCode = ErrorKind::None;
    std::wstring detailText;
    int filesDone = 0;
    int filesTotal = 0;
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    double bytesPerSecond = 0;
    uint64_t manifestVersion = 0;
    uint64_t requiredBytes = 0;
    int filesUpdated = 0;
    bool listVerified = false;
    uint32_t errorTick = 0;
    std::vector<NewsItem> news[2];  // 0 Turkish, 1 English
    bool runActive = false;         // a run's worker is still going (repair and retry wait for it)
    std::wstring host;              // the download server the engine talks to
    uint32_t retryAt = 0;           // tick of the automatic retry after a connection error; 0 none
};

struct UpdaterConfig {
    std::wstring host;
    std::wstring basePath = L"/qorvane/pc/";
    uint16_t port = 443;
    bool useHttps = true;
    int connectionCount = 6;
};

// WinHTTP time-outs of a run's session in milliseconds. The launcher always uses these values; tests
// shorten them so that a stalled server surfaces in seconds rather than a minute.
struct SessionTimeouts {
    int resolveMs = 15000;
    int connectMs = 15000;
    int sendMs = 30000;
    int receiveMs = 60000;
};

struct Updater {
    Updater();
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    std::wstring rootFolder;
    bool skipSelfUpdate = false;
    bool logEnabled = false;
    UpdaterConfig config;

    std::mutex statusMutex;
    StatusSnapshot status;

    std::atomic<bool> stopRequested{false};
    std::atomic<bool> workerRunning{false};
    std::atomic<bool> rangeRefused{false};
    std::atomic<bool> abortDownloads{false};
    std::atomic<uint64_t> bytesReceived{0};

    std::thread workerThread;
    HINTERNET session = nullptr;
    SessionTimeouts timeouts;

    uint64_t hashedBytesBase = 0;
    uint32_t lastSampleTick = 0;
    uint64_t lastSampleBytes = 0;
};

// rootFolder, a backslash, and a list-relative path with its "/" turned into "\".
std::wstring gameFilePath(const Updater& u, const std::wstring& relative);

// Status operations: each takes statusMutex for its whole duration and nothing else.
void setPhase(Updater& u, UpdatePhase phase);
// Writes the "HATA ..." log line first (outside the lock), then puts the status into Error.
void reportError(Updater& u, ErrorKind kind, const std::wstring& text);
void reportProgress(Updater& u, uint64_t bytes);
StatusSnapshot copyStatus(Updater& u);
// Caller holds statusMutex (worker start does this as part of start()).
void resetStatusForRun(Updater& u);
// Speed sampling step of reportProgress; caller holds statusMutex. Exposed for tests.
void sampleSpeedLocked(Updater& u, uint64_t bytes, uint32_t now);

// Worker lifecycle (UI thread only).
void configureRun(Updater& u, const std::wstring& folder, bool skipSelfUpdate);
void startRun(Updater& u, bool fullScan, bool checkOnly);
void stopRun(Updater& u, uint32_t timeoutMs);
// Reads "QORVANE_SUNUCU" and "QORVANE_ISCI" into u.config; bad values leave it as it was.
void readEnvironment(Updater& u);
// The worker thread's body; start() runs it on a new thread.
void runWorker(Updater& u, bool fullScan, bool checkOnly);
