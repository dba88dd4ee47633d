#include "update/updater.h"

#include "base/text.h"
#include "build_config.h"
#include "update/update_log.h"

Updater::Updater() {
    config.host = QORVANE_DEFAULT_HOST;
    config.port = QORVANE_DEFAULT_PORT;
    config.basePath = QORVANE_DEFAULT_BASE_PATH;
}

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

void beginRunStatus(Updater& u) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    StatusSnapshot fresh;
    fresh.manifestVersion = u.status.manifestVersion;
    fresh.requiredBytes = u.status.requiredBytes;
    fresh.newsRevision = u.status.newsRevision;
    fresh.news[0] = std::move(u.status.news[0]);
    fresh.news[1] = std::move(u.status.news[1]);
    fresh.phase = UpdatePhase::Connecting;
    u.status = std::move(fresh);
}

void beginStage(Updater& u, UpdatePhase phase, int filesTotal, uint64_t bytesTotal) {
    uint32_t now = GetTickCount();
    std::lock_guard<std::mutex> lock(u.statusMutex);
    StatusSnapshot& s = u.status;
    s.phase = phase;
    s.errorCode = ErrorKind::None;
    s.filesDone = 0;
    s.filesTotal = filesTotal;
    s.bytesDone = 0;
    s.bytesTotal = bytesTotal;
    s.bytesPerSecond = 0;
    s.filesUpdated = 0;
    u.speedSample = SpeedSample{now, 0};
}

void setCurrentFile(Updater& u, const std::wstring& path, int filesDone) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    if (!path.empty()) u.status.detailText = path;
    u.status.filesDone = filesDone;
}

void setFilesUpdated(Updater& u, int files) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    u.status.filesUpdated = files;
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

namespace {

void setBytesDoneLocked(Updater& u, uint64_t bytes) {
    u.status.bytesDone = bytes;
    if (u.status.phase == UpdatePhase::Downloading)
        sampleSpeed(u.speedSample, u.status.bytesPerSecond, bytes, GetTickCount());
}

}  // namespace

void reportProgress(Updater& u, uint64_t bytes) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    setBytesDoneLocked(u, bytes);
}

void reportProgress(Updater& u, const std::atomic<uint64_t>& bytes) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    setBytesDoneLocked(u, bytes.load());
}

void publishList(Updater& u, uint64_t version, uint64_t requiredBytes) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    u.status.manifestVersion = version;
    u.status.requiredBytes = requiredBytes;
    u.status.listVerified = true;
}

void publishNews(Updater& u, int language, std::vector<NewsItem> items) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    u.status.news[language == 1 ? 1 : 0] = std::move(items);
    ++u.status.newsRevision;
}

void setPhase(Updater& u, UpdatePhase phase) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    u.status.phase = phase;
    u.status.errorCode = ErrorKind::None;
}

void finishRun(Updater& u) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    u.status.bytesDone = u.status.bytesTotal;
    u.status.phase = UpdatePhase::Ready;
    u.status.errorCode = ErrorKind::None;
}

void reportError(Updater& u, const StepResult& result) {
    ErrorKind kind = errorKindOf(result.outcome);
    const std::wstring& detail = result.path.empty() ? result.detail : result.path;
    logLine(u, "HATA %d %s (son sistem hatasi %lu)", static_cast<int>(kind), toUtf8(detail).c_str(),
            static_cast<unsigned long>(result.systemError));
    uint32_t tick = GetTickCount();
    std::lock_guard<std::mutex> lock(u.statusMutex);
    u.status.phase = UpdatePhase::Error;
    u.status.errorCode = kind;
    u.status.detailText = detail;
    u.status.errorTick = tick;
}

StatusSnapshot copyStatus(Updater& u) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    return u.status;
}

void refreshStatus(Updater& u, StatusSnapshot& view) {
    bool active = u.workerRunning.load();
    std::lock_guard<std::mutex> lock(u.statusMutex);
    StatusSnapshot& s = u.status;
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
    view.runActive = active;
    view.host = u.config.host;
}
