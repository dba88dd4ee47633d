#include "update/updater.h"

#include "build_config.h"
#include "base/text.h"
#include "update/update_log.h"

Updater::Updater() {
    config.host = QORVANE_DEFAULT_HOST;
}

std::wstring gameFilePath(const Updater& u, const std::wstring& relative) {
    std::wstring path = u.rootFolder + L"\\" + relative;
    for (size_t i = u.rootFolder.size(); i < path.size(); ++i)
        if (path[i] == L'/') path[i] = L'\\';
    return path;
}

void setPhase(Updater& u, UpdatePhase phase) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    u.status.phase = phase;
    u.status.errorCode = ErrorKind::None;
}

void reportError(Updater& u, ErrorKind kind, const std::wstring& text) {
    // The system error must be read before anything (the log write included) can change it.
    DWORD lastError = GetLastError();
    logLine(u, "HATA %d %s (son sistem hatasi %lu)", static_cast<int>(kind), toUtf8(text).c_str(),
        static_cast<unsigned long>(lastError));
    uint32_t tick = GetTickCount();
    std::lock_guard<std::mutex> lock(u.statusMutex);
    u.status.phase = UpdatePhase::Error;
    u.status.errorCode = kind;
    u.status.detailText = text;
    u.status.errorTick = tick;
}

void sampleSpeedLocked(Updater& u, uint64_t bytes, uint32_t now) {
    if (bytes < u.lastSampleBytes) {
        // A smaller value is a restart (a failed attempt's bytes were taken back, or a late report).
        u.lastSampleBytes = bytes;
        u.lastSampleTick = now;
        return;
    }
    uint32_t elapsed = now - u.lastSampleTick;
    if (elapsed < 500) return;
    double rate = static_cast<double>(bytes - u.lastSampleBytes) * 1000.0 / elapsed;
    double& speed = u.status.bytesPerSecond;
    speed = speed <= 0 ? rate : speed * 0.6 + rate * 0.4;
    u.lastSampleBytes = bytes;
    u.lastSampleTick = now;
}

void reportProgress(Updater& u, uint64_t bytes) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    u.status.bytesDone = bytes;
    if (u.status.phase == UpdatePhase::Downloading) sampleSpeedLocked(u, bytes, GetTickCount());
}

StatusSnapshot copyStatus(Updater& u) {
    std::lock_guard<std::mutex> lock(u.statusMutex);
    return u.status;
}

void resetStatusForRun(Updater& u) {
    StatusSnapshot fresh;
    fresh.manifestVersion = u.status.manifestVersion;
    fresh.requiredBytes = u.status.requiredBytes;
    fresh.news[0] = std::move(u.status.news[0]);
    fresh.news[1] = std::move(u.status.news[1]);
    fresh.phase = UpdatePhase::Connecting;
    u.status = std::move(fresh);
}
