// The time left of a download as the window shows it: from the smoothed speed, in whole seconds below
// a minute and whole minutes above, hidden during the stage's first 10 s and while the total is
// unknown, and moving by at most one step (a second or a minute) each second, so it never jumps.
#pragma once

#include <cstdint>

struct TimeLeftGauge {
    uint32_t stageStart = 0;  // tick the download stage began
    uint32_t lastStep = 0;    // tick the shown value last changed
    int shownRank = 0;        // 0 nothing shown yet; 1..59 seconds; 60 + m - 1 for m minutes
};

inline constexpr uint32_t kTimeLeftDelayMs = 10000;

void startTimeLeft(TimeLeftGauge& gauge, uint32_t now);
// The estimate's rank: seconds rounded to the nearest (at least 1) below 59.5 s, else minutes
// rounded to the nearest (at least 1).
[[nodiscard]] int timeLeftRank(double seconds);
// The seconds a rank stands for: 1..59, or a whole number of minutes times 60.
[[nodiscard]] uint32_t rankSeconds(int rank);
// The value to show at tick now, in seconds on the grid above; 0 when it is hidden.
uint32_t stepTimeLeft(TimeLeftGauge& gauge, uint64_t bytesLeft, uint64_t bytesTotal, double bytesPerSecond,
                      uint32_t now);
