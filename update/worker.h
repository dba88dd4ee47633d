// The worker thread's life: configuration from the environment, starting and stopping a run, and
// what the worker does around one run (log start line, WinHTTP session, run driver).
#pragma once

#include <cstdint>
#include <string>

struct Updater;
struct UpdaterConfig;

// UI thread only, while no run is active: the game folder, whether this process may replace the
// launcher, and the environment's server and connection count.
void configureRun(Updater& updater, const std::wstring& folder, bool skipSelfUpdate);
// Starts a run on a new worker thread; ignored while one is active.
void startRun(Updater& updater, bool fullScan, bool checkOnly);
// Asks the worker to stop and waits at most timeoutMs; a worker stuck in a network call is detached.
void stopRun(Updater& updater, uint32_t timeoutMs);
// Reads "QORVANE_SUNUCU" and "QORVANE_ISCI" into config; bad values leave it as it was.
void readEnvironment(UpdaterConfig& config);
// The worker thread's body; startRun runs it on a new thread.
void runWorker(Updater& updater, bool fullScan, bool checkOnly);
