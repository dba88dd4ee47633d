#include "update/held_file.h"

#include "base/process.h"
#include "base/text.h"
#include "update/update_log.h"

bool isHoldError(DWORD error, HoldKind kind) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
    // Replacing a file that another handle keeps open without delete sharing is refused with access
    // denied; a probe's access denied is a read-only file or the folder's rights, never a holder.
    return kind == HoldKind::Move && error == ERROR_ACCESS_DENIED;
}

HeldOutcome retryWhileHeld(const HeldFileWait& wait, HoldKind kind, const std::wstring& listedPath,
                           const std::function<DWORD()>& step) {
    HeldOutcome outcome;
    outcome.error = ERROR_SHARING_VIOLATION;  // what a stop before the first try leaves
    bool tried = false;
    runAttempts(wait.policy, wait.stop, [&](int attempt) {
        tried = true;
        outcome.error = step();
        if (!isHoldError(outcome.error, kind)) return false;
        if (isProgramRunning(wait.gameProgram)) {
            outcome.gameRunning = true;
            logLine(wait.log, "oyun acik, dosya kullanimda: %s", toUtf8(listedPath).c_str());
            return false;
        }
        if (attempt >= wait.policy.attempts) {
            logLine(wait.log, "dosya hala kullanimda: %s (hata %lu)", toUtf8(listedPath).c_str(),
                    static_cast<unsigned long>(outcome.error));
            return false;
        }
        ++outcome.waits;
        logLine(wait.log, "dosya kullanimda (hata %lu): %s, %u ms bekleniyor (%d. bekleme)",
                static_cast<unsigned long>(outcome.error), toUtf8(listedPath).c_str(),
                pauseAfter(wait.policy, attempt), attempt);
        return true;
    });
    outcome.stopped =
        wait.stop.requested() && (!tried || isHoldError(outcome.error, kind)) && !outcome.gameRunning;
    return outcome;
}
