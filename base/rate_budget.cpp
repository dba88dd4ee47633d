#include "base/rate_budget.h"

#include <windows.h>

#include <algorithm>
#include <chrono>

namespace {

constexpr uint64_t kMicrosPerSecond = 1000000;
// How much of the rate may be read at once and collected while unused.
constexpr uint64_t kSliceMicros = 100000;

double sliceBytes(uint64_t bytesPerSecond) {
    return static_cast<double>(bytesPerSecond) * kSliceMicros / kMicrosPerSecond;
}

}  // namespace

uint32_t grantSize(uint64_t bytesPerSecond, uint32_t wanted) {
    double slice = std::max(sliceBytes(bytesPerSecond), 512.0);
    return static_cast<uint32_t>(std::min<double>(wanted, slice));
}

uint32_t takeBytesAt(RateBudget& budget, uint32_t wanted, uint64_t nowMicros, uint64_t& waitMicros) {
    const uint32_t grant = grantSize(budget.bytesPerSecond, wanted);
    const double rate = static_cast<double>(budget.bytesPerSecond);
    std::lock_guard<std::mutex> lock(budget.lock);
    if (!budget.started) {
        budget.started = true;
        budget.lastMicros = nowMicros;
    }
    if (nowMicros > budget.lastMicros) {
        budget.tokens += rate * static_cast<double>(nowMicros - budget.lastMicros) / kMicrosPerSecond;
        budget.tokens = std::min(budget.tokens, std::max(sliceBytes(budget.bytesPerSecond), 512.0));
        budget.lastMicros = nowMicros;
    }
    budget.tokens -= grant;
    waitMicros =
        budget.tokens >= 0 ? 0 : static_cast<uint64_t>(-budget.tokens * kMicrosPerSecond / rate + 0.999);
    return grant;
}

void returnBytes(RateBudget& budget, uint32_t unused) {
    if (unused == 0) return;
    std::lock_guard<std::mutex> lock(budget.lock);
    budget.tokens += unused;
}

uint32_t takeBytes(RateBudget& budget, uint32_t wanted) {
    const uint64_t now = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                   std::chrono::steady_clock::now().time_since_epoch())
                                                   .count());
    uint64_t waitMicros = 0;
    const uint32_t grant = takeBytesAt(budget, wanted, now, waitMicros);
    if (waitMicros == 0) return budget.stop && budget.stop->requested() ? 0 : grant;
    // Rounded up to whole milliseconds: a wait a little long is made up by the next take, one too
    // short would read ahead of the rate.
    const uint32_t waitMs = static_cast<uint32_t>(std::min<uint64_t>((waitMicros + 999) / 1000, 60000));
    if (!budget.stop) {
        Sleep(waitMs);
        return grant;
    }
    return budget.stop->wait(waitMs) ? 0 : grant;
}
