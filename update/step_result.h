// How one step of an update run ended (a transfer attempt, a range, a whole file, its commit, the
// self-update, the list fetch): one vocabulary for every stage, carrying the failed call's system
// error, the server's answer and the listed path or what else failed, so that the error report says
// what really failed.
#pragma once

#include <windows.h>

#include <string>

#include "base/file.h"

enum class StepOutcome {
    Done,          // the step did what it was asked
    Unchanged,     // nothing needed doing (the launcher already matches the list)
    Stopped,       // a stop request, or another transfer's failure, ended it: nothing to report
    Unavailable,   // no session or connection, a broken transfer, or an unexpected HTTP status
    Rejected,      // the list failed its signature or format check
    Mismatch,      // what arrived differs from the list in length or hash
    RangeIgnored,  // a range request was answered with the whole file
    WriteFailed,   // a file could not be created, written or moved
    Locked,        // the target is held by another program (the game is running)
    DiskFull,
    Failed,  // failed for good: every attempt of a transfer, or the run itself (out of memory)
};

struct [[nodiscard]] StepResult {
    StepOutcome outcome = StepOutcome::Done;
    DWORD systemError = 0;  // the failed call's error; 0 when nothing failed or the failure left none
    int httpStatus = 0;     // the last response's status; 0 when none arrived or the transfer broke off
    std::wstring path;      // the listed file the step was about; empty for the list and the session
    std::wstring detail;    // for a step about no listed file: what failed (a document, the server's
                            // name) or why the list was refused

    bool ok() const { return outcome == StepOutcome::Done; }
};

// A failed file operation: the two "disk is full" errors are DiskFull, every other one WriteFailed.
inline StepResult fileFailure(DWORD error, const std::wstring& path = std::wstring()) {
    return {isDiskFullError(error) ? StepOutcome::DiskFull : StepOutcome::WriteFailed, error, 0, path};
}
