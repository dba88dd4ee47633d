// Speed cap benchmark, driven by bench/speed_cap_bench.sh:
//
//   speed_cap_bench.exe <server URL with base path> <empty install folder> <cap in KiB/s> [connections]
//
// One full update run of the engine with "QORVANE_HIZ" set to the cap. The bytes the download stage
// has received are sampled every 50 ms from the status it publishes; every 10 s window of the stage
// (moved on in 0.5 s steps) gives an average, and the lowest and the highest are compared with the
// cap (the goal: both within 5 %). Every figure is printed as "figure: <name> <value>".
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/file.h"
#include "update/updater.h"
#include "update/worker.h"

namespace {

double now() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void figure(const char* name, double value) {
    std::printf("figure: %s %.3f\n", name, value);
}

struct Sample {
    double at;
    uint64_t bytes;
};

// The stage's received bytes over time, from its first sample in Downloading to its last.
void watchStage(Updater& updater, std::atomic<bool>& done, std::vector<Sample>& samples) {
    while (!done.load()) {
        StatusSnapshot s = copyStatus(updater.status);
        if (s.phase == UpdatePhase::Downloading)
            samples.push_back({now(), s.bytesDone});
        else if (!samples.empty())
            return;
        Sleep(50);
    }
}

// The bytes at time t, read between the two samples around it.
double bytesAt(const std::vector<Sample>& samples, double t) {
    auto after = std::lower_bound(samples.begin(), samples.end(), t,
                                  [](const Sample& s, double at) { return s.at < at; });
    if (after == samples.begin()) return static_cast<double>(samples.front().bytes);
    if (after == samples.end()) return static_cast<double>(samples.back().bytes);
    const Sample& a = *(after - 1);
    const Sample& b = *after;
    double share = (t - a.at) / (b.at - a.at);
    return static_cast<double>(a.bytes) +
           share * (static_cast<double>(b.bytes) - static_cast<double>(a.bytes));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: speed_cap_bench.exe <server URL> <empty folder> <cap KiB/s> [connections]\n");
        return 2;
    }
    SetEnvironmentVariableW(L"QORVANE_SUNUCU", argv[1]);
    SetEnvironmentVariableW(L"QORVANE_HIZ", argv[3]);
    if (argc > 4) SetEnvironmentVariableW(L"QORVANE_ISCI", argv[4]);
    const double cap = _wtof(argv[3]) * 1024;
    static_cast<void>(createFolderTree(argv[2]));
    static Updater u;  // the launcher keeps it for the whole process too
    configureRun(u, argv[2], true);
    beginRunStatus(u.status);
    u.workerRunning = true;
    std::atomic<bool> done{false};
    std::vector<Sample> samples;
    samples.reserve(100000);
    std::thread watcher(watchStage, std::ref(u), std::ref(done), std::ref(samples));
    runWorker(u, false, false);
    done = true;
    watcher.join();
    StatusSnapshot s = copyStatus(u.status);
    std::printf("phase %d (6 = ready), error %d, %llu bytes, cap %.0f KiB/s, %d connections\n",
                static_cast<int>(s.phase), static_cast<int>(s.errorCode),
                static_cast<unsigned long long>(s.bytesTotal), cap / 1024, u.config.connectionCount);
    if (samples.size() < 2) return 1;
    const double start = samples.front().at, end = samples.back().at;
    figure("stage_seconds", end - start);
    figure("average_kib_per_second", (samples.back().bytes - samples.front().bytes) / (end - start) / 1024);
    if (cap <= 0) return s.phase == UpdatePhase::Ready ? 0 : 1;  // the reference run without a cap
    double lowest = 1e300, highest = 0;
    int windows = 0;
    for (double t = start; t + 10 <= end; t += 0.5) {
        double average = (bytesAt(samples, t + 10) - bytesAt(samples, t)) / 10;
        lowest = std::min(lowest, average);
        highest = std::max(highest, average);
        ++windows;
    }
    figure("windows", windows);
    if (windows == 0) return 1;
    figure("lowest_window_kib_per_second", lowest / 1024);
    figure("highest_window_kib_per_second", highest / 1024);
    figure("lowest_to_cap", lowest / cap);
    figure("highest_to_cap", highest / cap);
    bool within = lowest >= cap * 0.95 && highest <= cap * 1.05;
    std::printf("every 10 s window within 5 %% of the cap: %s\n", within ? "yes" : "NO");
    return s.phase == UpdatePhase::Ready ? 0 : 1;
}
