#include "update/run_control.h"

#include "base/names.h"
#include "base/process.h"
#include "update/worker.h"

namespace {

// A self-updated executable is in place; the new process takes over with "--guncellendi".
bool restartLauncher(const RunOptions& options) {
    std::wstring arguments = options.passThroughArgs;
    if (!arguments.empty()) arguments += L" ";
    arguments += kAfterSelfUpdateOption;
    return startProcess(options.launcherExePath, arguments, options.launcherFolder) == 0;
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
        if (!control.restartHandled) {
            control.restartHandled = true;
            if (restartLauncher(control.options)) return RunEvent::Restarted;
            // The new executable is in place but would not start: carry on with this process, and
            // never try to replace the executable again in it.
            configureRun(updater, control.options.launcherFolder, true);
            control.fallbackPending = true;
        }
        // The fallback run is refused while the self-updating run is still finishing.
        if (control.fallbackPending && !updater.workerRunning) {
            control.fallbackPending = false;
            startRun(control.updater, false, false);
        }
    }

    if (status.phase == UpdatePhase::Error && status.errorCode == ErrorKind::Connection) {
        status.retryAt = status.errorTick + kConnectionRetryMs;
        // Tick differences are unsigned, so the wrap of GetTickCount is harmless.
        if (!updater.workerRunning && now - status.errorTick >= kConnectionRetryMs)
            startRun(control.updater, false, control.options.installMode);
    }
    return RunEvent::None;
}

void endRuns(RunControl& control, uint32_t timeoutMs) {
    stopRun(control.updater, timeoutMs);
}
