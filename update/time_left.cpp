#include "update/time_left.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMinuteRanks = 59;      // ranks 1..59 are seconds
constexpr double kMostSeconds = 1e9;  // a trickle must not overflow the rank

}  // namespace

void startTimeLeft(TimeLeftGauge& gauge, uint32_t now) {
    gauge = TimeLeftGauge{now, now, 0};
}

int timeLeftRank(double seconds) {
    seconds = std::min(std::max(seconds, 0.0), kMostSeconds);
    if (seconds < 59.5) return std::max(1, static_cast<int>(std::floor(seconds + 0.5)));
    return kMinuteRanks + std::max(1, static_cast<int>(std::floor(seconds / 60 + 0.5)));
}

uint32_t rankSeconds(int rank) {
    if (rank <= 0) return 0;
    if (rank <= kMinuteRanks) return static_cast<uint32_t>(rank);
    return static_cast<uint32_t>(rank - kMinuteRanks) * 60;
}

uint32_t stepTimeLeft(TimeLeftGauge& gauge, uint64_t bytesLeft, uint64_t bytesTotal, double bytesPerSecond,
                      uint32_t now) {
    // Unsigned differences: the wrap of the tick count is harmless.
    if (bytesTotal == 0 || bytesPerSecond <= 0 || now - gauge.stageStart < kTimeLeftDelayMs) return 0;
    const int target = timeLeftRank(static_cast<double>(bytesLeft) / bytesPerSecond);
    if (gauge.shownRank == 0) {
        // The first value appears as it is: appearing is no jump.
        gauge.shownRank = target;
        gauge.lastStep = now;
    } else if (target != gauge.shownRank && now - gauge.lastStep >= 1000) {
        gauge.shownRank += target > gauge.shownRank ? 1 : -1;
        gauge.lastStep = now;
    }
    return rankSeconds(gauge.shownRank);
}
