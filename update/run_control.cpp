#include "update/run_control.h"

#include "base/names.h"
#include "base/process.h"
#include "update/update_log.h"
#include "update/worker.h"

namespace {

std::wstring restartArguments(const RunOptions& options) {
    std::wstring arguments = options.passThroughArgs;
    if (!arguments.empty()) arguments += L" ";
    return arguments + kAfterSelfUpdateOption;
}

// The new launcher did not start properly: this process takes the launcher's name and the
// single-instance mutex back, and carries on as the running launcher, never replacing itself again.
void failRestart(RunControl& control, const std::string& why) {
    Updater& updater = control.updater;
    if (control.instanceMutex) WaitForSingleObject(control.instanceMutex, 0);
    if (DWORD error = restoreOldLauncher(control.options.launcherExePath))
        logLine(updater.log, "%s; eskisi geri konamadi (%lu)", why.c_str(),
                static_cast<unsigned long>(error));
    else
        logLine(updater.log, "%s; eskisi geri kondu, onunla devam", why.c_str());
    configureRun(updater, control.options.launcherFolder, true);
    control.fallbackPending = true;
}

// The new launcher is started once; the old process then waits for its sign of life.
RunEvent handleSelfUpdated(RunControl& control, uint32_t now) {
    if (!control.restartHandled) {
        control.restartHandled = true;
        // The new process waits for the mutex before it makes its window: it must be free first.
        if (control.instanceMutex) ReleaseMutex(control.instanceMutex);
        const RunOptions& options = control.options;
        if (DWORD error = beginRestart(control.restart, options.launcherExePath, restartArguments(options),
                                       options.launcherFolder, now))
            failRestart(control, "yeni launcher baslatilamadi (hata " + std::to_string(error) + ")");
    }
    if (control.restart.pending()) {
        std::string why;
        switch (checkRestart(control.restart, now, why)) {
            case RestartState::Started:
                return RunEvent::Restarted;
            case RestartState::Failed:
                failRestart(control, why);
                break;
            case RestartState::Waiting:
                break;
        }
    }
    return RunEvent::None;
}

}  // namespace

void beginRuns(RunControl& control, const RunOptions& options) {
    control.options = options;
    // An install-mode run only checks the list, so it must never replace the executable either.
    configureRun(control.updater, options.launcherFolder, options.installMode || options.afterSelfUpdate);
    startRun(control.updater, false, options.installMode);
}

bool requestRun(RunControl& control, RunRequest request) {
    if (control.updater.workerRunning) return false;
    startRun(control.updater, request == RunRequest::Repair, false);
    return true;
}

RunEvent tickRuns(RunControl& control, uint32_t now, StatusSnapshot& status) {
    Updater& updater = control.updater;
    refreshStatus(updater, status);
    status.retryAt = 0;

    if (status.phase == UpdatePhase::SelfUpdated) {
        if (handleSelfUpdated(control, now) == RunEvent::Restarted) return RunEvent::Restarted;
        // The fallback run is refused while the self-updating run is still finishing.
        if (control.fallbackPending && !updater.workerRunning) {
            control.fallbackPending = false;
            startRun(control.updater, false, false);
        }
    }

    // The launcher that replaced ".eski" has shown it works: the way back is no longer needed.
    if (status.phase == UpdatePhase::Ready && control.oldLauncherTries < kOldLauncherTries &&
        !control.options.launcherExePath.empty()) {
        ++control.oldLauncherTries;
        if (removeOldLauncher(control.options.launcherExePath)) control.oldLauncherTries = kOldLauncherTries;
    }

    if (status.phase == UpdatePhase::Error && status.errorCode == ErrorKind::Connection) {
        status.retryAt = status.errorTick + kConnectionRetryMs;
        // Tick differences are unsigned, so the wrap of GetTickCount is harmless.
        if (!updater.workerRunning && now - status.errorTick >= kConnectionRetryMs)
            startRun(control.updater, false, control.options.installMode);
    }
    return RunEvent::None;
}

void announceRunsBegun(const RunControl& control) {
    if (control.options.afterSelfUpdate) announceStarted();
}

void endRuns(RunControl& control, uint32_t timeoutMs) {
    stopRun(control.updater, timeoutMs);
}
