// The update engine's one state record (Updater), its live status (StatusSnapshot) and the named
// operations through which a run writes that status: nothing outside updater.cpp writes it, and the
// window reads the engine only through a copy of it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/handles.h"
#include "protocol/news_format.h"
#include "update/step_result.h"

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

// The one mapping from how a step ended to what the window is told; None for the endings that are
// no error (done, unchanged, stopped).
ErrorKind errorKindOf(StepOutcome outcome);

struct StatusSnapshot {
    UpdatePhase phase = UpdatePhase::Idle;  // where the current or last run is
    ErrorKind errorCode = ErrorKind::None;  // why it ended, while phase is Error
    std::wstring detailText;                // the file a stage is at, or the path of a failed file
    int filesDone = 0;                      // files the stage has reached, the current one included
    int filesTotal = 0;                     // files the stage covers
    uint64_t bytesDone = 0;                 // bytes hashed or received in the stage
    uint64_t bytesTotal = 0;                // bytes the stage covers
    double bytesPerSecond = 0;              // smoothed download speed of the stage
    uint64_t manifestVersion = 0;           // version of the last verified list (kept across runs)
    uint64_t requiredBytes = 0;             // the game's size by that list (kept across runs)
    int filesUpdated = 0;                   // files the download stage has placed
    bool listVerified = false;              // this run's list passed its signature check
    uint32_t errorTick = 0;                 // GetTickCount when the error was reported
    uint32_t newsRevision = 0;              // counts news publications; copies skip unchanged news
    std::vector<NewsItem> news[2];          // 0 Turkish, 1 English (kept across runs)
    bool runActive = false;                 // a run's worker is still going (repair and retry wait for it)
    std::wstring host;                      // the download server the engine talks to
    uint32_t retryAt = 0;                   // tick of the automatic retry after a connection error; 0 none
};

struct UpdaterConfig {
    std::wstring host;                        // the compiled-in host unless "QORVANE_SUNUCU" names another
    std::wstring basePath = L"/qorvane/pc/";  // every object's path starts here, ending in "/"
    uint16_t port = 443;
    bool useHttps = true;
    int connectionCount = 6;                  // parallel transfers of the download stage, 1 to 16
};

// WinHTTP time-outs of a run's session in milliseconds. The launcher always uses these values; tests
// shorten them so that a stalled server surfaces in seconds rather than a minute.
struct SessionTimeouts {
    int resolveMs = 15000;
    int connectMs = 15000;
    int sendMs = 30000;
    int receiveMs = 60000;
};

// The last point the download speed was sampled at.
struct SpeedSample {
    uint32_t tick = 0;
    uint64_t bytes = 0;
};

struct Updater {
    Updater();
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    std::wstring rootFolder;      // the game folder; set by configureRun while no run is active
    bool skipSelfUpdate = false;  // this process never replaces the launcher (restarted, install mode)
    bool logEnabled = false;      // the current run writes the log (check-only runs do not)
    UpdaterConfig config;         // the server and the connection count
    SessionTimeouts timeouts;     // applied when a run's session opens

    std::mutex statusMutex;   // guards status and speedSample; taken only by the operations below
    StatusSnapshot status;    // what the window is shown
    SpeedSample speedSample;  // the speed sampler's last point

    std::atomic<bool> stopRequested{false};  // set by stopRun; every step looks at it within 100 ms
    std::atomic<bool> workerRunning{false};  // a worker thread is inside its run
    std::thread workerThread;                // the last run's worker, joined (or detached) before the next
    UniqueInternet session;                  // the run's WinHTTP session, open while its worker runs
};

// Status operations: each takes statusMutex for its own duration and nothing else.
// A new run: Connecting, with the last verified list's figures and the news kept.
void beginRunStatus(Updater& u);
// A stage (scan or download) over filesTotal files of bytesTotal bytes, with its counters at zero.
void beginStage(Updater& u, UpdatePhase phase, int filesTotal, uint64_t bytesTotal);
// The file the stage is at and how many files it has reached; an empty path keeps the shown one.
void setCurrentFile(Updater& u, const std::wstring& path, int filesDone);
void setFilesUpdated(Updater& u, int files);
// Bytes done in the stage; while downloading, also a speed sample.
void reportProgress(Updater& u, uint64_t bytes);
// The same for a counter that several transfers share. It is read under the lock, so the last
// report always shows the latest count, whichever thread makes it.
void reportProgress(Updater& u, const std::atomic<uint64_t>& bytes);
void publishList(Updater& u, uint64_t version, uint64_t requiredBytes);
// language 0 Turkish, 1 English.
void publishNews(Updater& u, int language, std::vector<NewsItem> items);
void setPhase(Updater& u, UpdatePhase phase);
// Ready, with every byte of the last stage counted.
void finishRun(Updater& u);
// Writes the "HATA ..." log line first (outside the lock) with the step's own system error, then
// puts the status into Error with the step's path (or, for a step about no file, its detail) as the
// detail text.
void reportError(Updater& u, const StepResult& result);

StatusSnapshot copyStatus(Updater& u);
// Brings the window's copy up to date, with the run-active flag and the host; the news vectors are
// copied only when they changed since that copy was made.
void refreshStatus(Updater& u, StatusSnapshot& view);

// Folds the byte count at tick `now` into the smoothed speed: samples at least 500 ms apart, 0.6 of
// the old speed and 0.4 of the new rate; a smaller count restarts the sample and keeps the speed.
void sampleSpeed(SpeedSample& sample, double& bytesPerSecond, uint64_t bytes, uint32_t now);
