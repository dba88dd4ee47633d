#include "update/live_status.h"

#include <windows.h>

#include "base/text.h"
#include "update/update_log.h"

ErrorKind errorKindOf(StepOutcome outcome) {
    switch (outcome) {
        case StepOutcome::Done:
        case StepOutcome::Unchanged:
        case StepOutcome::Stopped:
            return ErrorKind::None;
        case StepOutcome::Unavailable:
            return ErrorKind::Connection;
        case StepOutcome::Rejected:
            return ErrorKind::ListRejected;
        case StepOutcome::WriteFailed:
            return ErrorKind::FileWrite;
        case StepOutcome::Locked:
            return ErrorKind::FileLocked;
        case StepOutcome::DiskFull:
            return ErrorKind::DiskFull;
        case StepOutcome::Mismatch:
        case StepOutcome::RangeIgnored:
        case StepOutcome::Failed:
            break;
    }
    return ErrorKind::DownloadFailed;
}

void beginRunStatus(LiveStatus& status) {
    std::lock_guard<std::mutex> lock(status.mutex_);
    StatusSnapshot& s = status.status_;
    StatusSnapshot fresh;
    fresh.manifestVersion = s.manifestVersion;
    fresh.requiredBytes = s.requiredBytes;
    fresh.newsRevision = s.newsRevision;
    fresh.news[0] = std::move(s.news[0]);
    fresh.news[1] = std::move(s.news[1]);
    fresh.phase = UpdatePhase::Connecting;
    s = std::move(fresh);
}

void beginStage(LiveStatus& status, UpdatePhase phase, int filesTotal, uint64_t bytesTotal, uint32_t now) {
    std::lock_guard<std::mutex> lock(status.mutex_);
    StatusSnapshot& s = status.status_;
    s.phase = phase;
    s.errorCode = ErrorKind::None;
    s.filesDone = 0;
    s.filesTotal = filesTotal;
    s.bytesDone = 0;
    s.bytesTotal = bytesTotal;
    s.bytesPerSecond = 0;
    s.filesUpdated = 0;
    status.speedSample_ = SpeedSample{now, 0};
}

void beginStage(LiveStatus& status, UpdatePhase phase, int filesTotal, uint64_t bytesTotal) {
    beginStage(status, phase, filesTotal, bytesTotal, GetTickCount());
}

void setCurrentFile(LiveStatus& status, const std::wstring& path, int filesDone) {
    std::lock_guard<std::mutex> lock(status.mutex_);
    if (!path.empty()) status.status_.detailText = path;
    status.status_.filesDone = filesDone;
}

void setFilesUpdated(LiveStatus& status, int files) {
    std::lock_guard<std::mutex> lock(status.mutex_);
    status.status_.filesUpdated = files;
}

void sampleSpeed(SpeedSample& sample, double& bytesPerSecond, uint64_t bytes, uint32_t now) {
    if (bytes < sample.bytes) {
        // A smaller value is a restart (a failed attempt's bytes were taken back, or a late report).
        sample = SpeedSample{now, bytes};
        return;
    }
    uint32_t elapsed = now - sample.tick;  // unsigned: the wrap of GetTickCount is harmless
    if (elapsed < 500) return;
    double rate = static_cast<double>(bytes - sample.bytes) * 1000.0 / elapsed;
    bytesPerSecond = bytesPerSecond <= 0 ? rate : bytesPerSecond * 0.6 + rate * 0.4;
    sample = SpeedSample{now, bytes};
}

void reportProgressAt(LiveStatus& status, uint64_t bytes, uint32_t now) {
    std::lock_guard<std::mutex> lock(status.mutex_);
    StatusSnapshot& s = status.status_;
    s.bytesDone = bytes;
    if (s.phase == UpdatePhase::Downloading) sampleSpeed(status.speedSample_, s.bytesPerSecond, bytes, now);
}

void reportProgress(LiveStatus& status, uint64_t bytes) {
    reportProgressAt(status, bytes, GetTickCount());
}

void reportProgress(LiveStatus& status, const std::atomic<uint64_t>& bytes) {
    uint32_t now = GetTickCount();
    std::lock_guard<std::mutex> lock(status.mutex_);
    StatusSnapshot& s = status.status_;
    s.bytesDone = bytes.load();
    if (s.phase == UpdatePhase::Downloading)
        sampleSpeed(status.speedSample_, s.bytesPerSecond, s.bytesDone, now);
}

void publishList(LiveStatus& status, uint64_t version, uint64_t requiredBytes) {
    std::lock_guard<std::mutex> lock(status.mutex_);
    status.status_.manifestVersion = version;
    status.status_.requiredBytes = requiredBytes;
    status.status_.listVerified = true;
}

void publishNews(LiveStatus& status, int language, std::vector<NewsItem> items) {
    std::lock_guard<std::mutex> lock(status.mutex_);
    status.status_.news[language == 1 ? 1 : 0] = std::move(items);
    ++status.status_.newsRevision;
}

void setPhase(LiveStatus& status, UpdatePhase phase) {
    std::lock_guard<std::mutex> lock(status.mutex_);
    status.status_.phase = phase;
    status.status_.errorCode = ErrorKind::None;
}

void finishRun(LiveStatus& status) {
    std::lock_guard<std::mutex> lock(status.mutex_);
    StatusSnapshot& s = status.status_;
    s.bytesDone = s.bytesTotal;
    s.phase = UpdatePhase::Ready;
    s.errorCode = ErrorKind::None;
}

void reportError(LiveStatus& status, UpdateLog& log, const StepResult& result) {
    ErrorKind kind = errorKindOf(result.outcome);
    const std::wstring& detail = result.path.empty() ? result.detail : result.path;
    logLine(log, "HATA %d %s (son sistem hatasi %lu)", static_cast<int>(kind), toUtf8(detail).c_str(),
            static_cast<unsigned long>(result.systemError));
    uint32_t tick = GetTickCount();
    std::lock_guard<std::mutex> lock(status.mutex_);
    StatusSnapshot& s = status.status_;
    s.phase = UpdatePhase::Error;
    s.errorCode = kind;
    s.detailText = detail;
    s.errorTick = tick;
}

StatusSnapshot copyStatus(const LiveStatus& status) {
    std::lock_guard<std::mutex> lock(status.mutex_);
    return status.status_;
}

void refreshStatus(LiveStatus& status, StatusSnapshot& view) {
    std::lock_guard<std::mutex> lock(status.mutex_);
    StatusSnapshot& s = status.status_;
    bool newsChanged = view.newsRevision != s.newsRevision;
    std::vector<NewsItem> news[2];
    for (int i = 0; i < 2; ++i)
        news[i] = newsChanged ? s.news[i] : std::move(view.news[i]);
    // Everything else is copied with the engine's news parked, so no vector of them is copied.
    std::vector<NewsItem> parked[2] = {std::move(s.news[0]), std::move(s.news[1])};
    view = s;
    for (int i = 0; i < 2; ++i) {
        s.news[i] = std::move(parked[i]);
        view.news[i] = std::move(news[i]);
    }
}
