// The update engine as its owner holds it: the settings of the next run, and the parts a run is made
// of (the log, the live status, the stop signal, the WinHTTP session, the worker thread), each its
// own object. Stages take only the parts they use.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "base/retry.h"
#include "base/stop_signal.h"
#include "net/http_client.h"
#include "update/live_status.h"
#include "update/run_services.h"
#include "update/update_log.h"

// How often each kind of transfer is tried, and the pauses between the tries.
struct RetryRules {
    RetryPolicy list{2, {2000}};                   // the list and its signature, when they do not verify
    RetryPolicy wholeFile{3, {1000, 2000, 3000}};  // a file in one stream (the last pause precedes the error)
    RetryPolicy range{3, {1000, 2000, 3000}};      // one 16 MiB range of a split file
    RetryPolicy selfUpdate{3, {}};                 // the launcher's own executable, without pauses
};

// What the next run is told: plain values, written on the UI thread while no run is active and read
// by the run's threads without a lock.
struct UpdaterConfig {
    std::wstring rootFolder;      // the game folder; every listed path is relative to it
    bool skipSelfUpdate = false;  // this process never replaces the launcher (restarted, install mode)
    ServerAddress server;         // the compiled-in host unless "QORVANE_SUNUCU" names another
    int connectionCount = 6;      // parallel transfers of the download stage, 1 to 16
    SessionTimeouts timeouts;     // applied when a run's session opens
    RetryRules retries;
};

struct Updater {
    Updater();
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    UpdaterConfig config;
    UpdateLog log;
    LiveStatus status;                       // what the window is shown
    StopSignal stop;                         // asks the run to end; every wait of the run blocks on it
    HttpSession session;                     // the run's WinHTTP session, open while its worker runs
    std::atomic<bool> workerRunning{false};  // a worker thread is inside its run
    std::thread workerThread;                // the last run's worker, joined (or detached) before the next
};

// The parts of the engine a run's stages share.
[[nodiscard]] RunServices runServices(Updater& updater);

// Brings the window's copy up to date, with the run-active flag and the host.
void refreshStatus(Updater& updater, StatusSnapshot& view);
