// The one owner of the update runs: it holds the start-up choices and the Updater, sets the game
// folder once, starts the first run and the runs the user asks for, and decides the automatic ones
// (restart of a self-updated launcher, the fallback run when that restart fails, the retry after a
// connection error). The window asks it once per tick and paints from the snapshot it returns.
#pragma once

#include <cstdint>
#include <string>

#include "update/updater.h"

// What the process was started as; fixed for its lifetime.
struct RunOptions {
    bool installMode = false;      // no game in the launcher's folder: check-only runs
    bool afterSelfUpdate = false;  // started with "--guncellendi"
    std::wstring launcherFolder;   // the game folder
    std::wstring launcherExePath;
    std::wstring passThroughArgs;  // handed on to a restarted launcher
};

enum class RunRequest {
    Retry,        // the primary button after an error
    Repair,       // a full scan that hashes every file
    RefetchGame,  // the game client was missing at launch: a new run downloads it again
};

enum class RunEvent {
    None,
    Restarted,  // the self-updated launcher was started: this process should close its window
};

struct RunControl {
    RunOptions options;
    Updater updater;
    bool restartHandled = false;   // the restart after a self-update was attempted once
    bool fallbackPending = false;  // that restart failed; a normal run is due once the worker ends
};

// Configures the engine for the launcher's folder and starts the first run (check-only in install
// mode, quick otherwise).
void beginRuns(RunControl& control, const RunOptions& options);
// Starts the asked run; false when a run is already active (requests are not queued).
bool requestRun(RunControl& control, RunRequest request);
// Refreshes the window's snapshot and performs the automatic actions due at tick `now`.
RunEvent tickRuns(RunControl& control, uint32_t now, StatusSnapshot& status);
// Asks the worker to stop and waits for it at most timeoutMs (the window is closing).
void endRuns(RunControl& control, uint32_t timeoutMs);

// The connection retry waits this long after the error was reported.
inline constexpr uint32_t kConnectionRetryMs = 5000;
