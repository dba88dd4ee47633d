// How a step that calls the system failed: the failed call's error code (0: nothing failed) and
// what failed, where the code alone does not say it (a path, a step, the operator's message). The
// one error type of the installer, the game launch and the publisher; the update engine's
// StepResult carries the same code.
#pragma once

#include <windows.h>

#include <string>

struct [[nodiscard]] SystemError {
    DWORD code = 0;
    std::wstring what;

    bool failed() const { return code != 0; }
};

// The error code for a failed NTSTATUS (CNG, the native calls); ERROR_GEN_FAILURE when the system
// knows no better one.
[[nodiscard]] DWORD errorFromStatus(long status);
