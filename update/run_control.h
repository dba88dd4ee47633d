// The one owner of the update runs: it holds the start-up choices and the Updater, sets the game
// folder once, starts the first run and the runs the user asks for, and decides the automatic ones
// (restart of a self-updated launcher and the wait for its sign of life, the old launcher put back
// and the fallback run when that restart fails, the retry after a connection error, the removal of
// ".eski" once a run is Ready). The window asks it once per tick and paints from the snapshot it
// returns.
#pragma once

#include <cstdint>
#include <string>

#include "update/launcher_restart.h"
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
    Restarted,  // the self-updated launcher has started properly: this process should close its window
};

struct RunControl {
    RunOptions options;
    Updater updater;
    // The entry's single-instance mutex, owned by this (the UI) thread: handed to the restarted
    // launcher, which waits for it, and taken back when that launcher fails. Null: none to hand over.
    HANDLE instanceMutex = nullptr;
    bool restartHandled = false;   // the restart after a self-update was attempted once
    LauncherRestart restart;       // that restart, while its sign of life is awaited
    bool fallbackPending = false;  // that restart failed; a normal run is due once the worker ends
    int oldLauncherTries = 0;      // removals of ".eski" tried since a run reached Ready
};

// Configures the engine for the launcher's folder and starts the first run (check-only in install
// mode, quick otherwise).
void beginRuns(RunControl& control, const RunOptions& options);
// Starts the asked run; false when a run is already active (requests are not queued).
bool requestRun(RunControl& control, RunRequest request);
// Refreshes the window's snapshot and performs the automatic actions due at tick `now`.
RunEvent tickRuns(RunControl& control, uint32_t now, StatusSnapshot& status);
// The window exists and the first run has begun: a restarted launcher tells the one that started it.
void announceRunsBegun(const RunControl& control);
// Asks the worker to stop and waits for it at most timeoutMs (the window is closing).
void endRuns(RunControl& control, uint32_t timeoutMs);

// The connection retry waits this long after the error was reported.
inline constexpr uint32_t kConnectionRetryMs = 5000;
// ".eski" may still be held by the old process as it ends: its removal is tried on this many ticks.
inline constexpr int kOldLauncherTries = 300;
