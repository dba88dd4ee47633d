// Files another program holds for a moment, such as a virus scanner reading a file the launcher has
// just written: the sharing and lock errors that are waited out with growing pauses before they
// count as the game holding the file. The game itself holding it is told at once, without waiting.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "base/retry.h"
#include "base/stop_signal.h"

struct UpdateLog;

// Where the waits happen and what they watch: the pauses between tries, the stop that ends them, the
// log that names each wait, and the game's program, whose running process ends the waiting at once.
struct HeldFileWait {
    const RetryPolicy& policy;
    const StopSignal& stop;
    UpdateLog& log;
    std::wstring gameProgram;
};

enum class HoldKind {
    Probe,  // opening a file to learn whether another program has it open
    Move,   // moving a verified file over it, which its holder can refuse with access denied too
};

[[nodiscard]] bool isHoldError(DWORD error, HoldKind kind);

struct HeldOutcome {
    DWORD error = 0;           // the last try's error; 0 when it succeeded
    bool gameRunning = false;  // the game's program was running when a try was refused
    bool stopped = false;      // a stop ended the waiting while the file was still held
    int waits = 0;             // pauses taken
};

// Tries step (0 or a system error) until it succeeds, fails in a way that is no hold, the game is
// found running, the stop is requested or the policy's tries are spent.
HeldOutcome retryWhileHeld(const HeldFileWait& wait, HoldKind kind, const std::wstring& listedPath,
                           const std::function<DWORD()>& step);
