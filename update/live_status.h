// The engine's live status: what the window is shown, behind its own lock. Its fields are private to
// the named status operations below, the only writers; everyone else reads a copy.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/news_format.h"
#include "update/step_result.h"

struct UpdateLog;

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
[[nodiscard]] ErrorKind errorKindOf(StepOutcome outcome);

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

// The last point the download speed was sampled at.
struct SpeedSample {
    uint32_t tick = 0;
    uint64_t bytes = 0;
};

class LiveStatus {
   public:
    LiveStatus() = default;
    LiveStatus(const LiveStatus&) = delete;
    LiveStatus& operator=(const LiveStatus&) = delete;

   private:
    mutable std::mutex mutex_;  // taken only by the operations below, never around other work
    StatusSnapshot status_;
    SpeedSample speedSample_;

    friend void beginRunStatus(LiveStatus& status);
    friend void beginStage(LiveStatus& status, UpdatePhase phase, int filesTotal, uint64_t bytesTotal,
                           uint32_t now);
    friend void setCurrentFile(LiveStatus& status, const std::wstring& path, int filesDone);
    friend void setFilesUpdated(LiveStatus& status, int files);
    friend void reportProgressAt(LiveStatus& status, uint64_t bytes, uint32_t now);
    friend void reportProgress(LiveStatus& status, const std::atomic<uint64_t>& bytes);
    friend void publishList(LiveStatus& status, uint64_t version, uint64_t requiredBytes);
    friend void publishNews(LiveStatus& status, int language, std::vector<NewsItem> items);
    friend void setPhase(LiveStatus& status, UpdatePhase phase);
    friend void finishRun(LiveStatus& status);
    friend void reportError(LiveStatus& status, UpdateLog& log, const StepResult& result);
    friend StatusSnapshot copyStatus(const LiveStatus& status);
    friend void refreshStatus(LiveStatus& status, StatusSnapshot& view);
};

// Status operations: each takes the status lock for its own duration and nothing else.
// A new run: Connecting, with the last verified list's figures and the news kept.
void beginRunStatus(LiveStatus& status);
// A stage (scan or download) over filesTotal files of bytesTotal bytes, with its counters at zero
// and the speed sampled from tick `now` on.
void beginStage(LiveStatus& status, UpdatePhase phase, int filesTotal, uint64_t bytesTotal, uint32_t now);
void beginStage(LiveStatus& status, UpdatePhase phase, int filesTotal, uint64_t bytesTotal);
// The file the stage is at and how many files it has reached; an empty path keeps the shown one.
void setCurrentFile(LiveStatus& status, const std::wstring& path, int filesDone);
void setFilesUpdated(LiveStatus& status, int files);
// Bytes done in the stage; while downloading, also a speed sample at tick `now`.
void reportProgressAt(LiveStatus& status, uint64_t bytes, uint32_t now);
void reportProgress(LiveStatus& status, uint64_t bytes);
// The same for a counter that several transfers share. It is read under the lock, so the last
// report always shows the latest count, whichever thread makes it.
void reportProgress(LiveStatus& status, const std::atomic<uint64_t>& bytes);
void publishList(LiveStatus& status, uint64_t version, uint64_t requiredBytes);
// language 0 Turkish, 1 English.
void publishNews(LiveStatus& status, int language, std::vector<NewsItem> items);
void setPhase(LiveStatus& status, UpdatePhase phase);
// Ready, with every byte of the last stage counted.
void finishRun(LiveStatus& status);
// Writes the "HATA ..." log line first (outside the lock) with the step's own system error, then
// puts the status into Error with the step's path (or, for a step about no file, its detail) as the
// detail text. Only the run's driver and its worker report errors.
void reportError(LiveStatus& status, UpdateLog& log, const StepResult& result);

[[nodiscard]] StatusSnapshot copyStatus(const LiveStatus& status);
// Brings the window's copy up to date; the news vectors are copied only when they changed since
// that copy was made.
void refreshStatus(LiveStatus& status, StatusSnapshot& view);

// Folds the byte count at tick `now` into the smoothed speed: samples at least 500 ms apart, 0.6 of
// the old speed and 0.4 of the new rate; a smaller count restarts the sample and keeps the speed.
void sampleSpeed(SpeedSample& sample, double& bytesPerSecond, uint64_t bytes, uint32_t now);
