// How often a step is tried and how long it waits between tries: one policy type for every retry
// loop, set per run (tests shorten the pauses), and the one loop that runs a step under it. The
// pauses block on a stop signal, so a stop ends them at once.
#pragma once

#include <cstdint>
#include <vector>

#include "base/stop_signal.h"

struct RetryPolicy {
    int attempts = 1;
    // The pause after failed attempt n (1-based) is pausesMs[n - 1]; none where the list ends, so a
    // pause after the last attempt delays only the report of the failure.
    std::vector<uint32_t> pausesMs;
};

// The pause after failed attempt n; 0 where the policy has none.
uint32_t pauseAfter(const RetryPolicy& policy, int attempt);

// Calls attempt(n) for n = 1 up to policy.attempts; attempt returns true when its try failed in a
// way worth repeating. Stops before a try once stop is requested, and after a try that needs no
// repeat; between tries waits the policy's pause on stop. Returns the number of tries made.
template <typename Attempt>
int runAttempts(const RetryPolicy& policy, const StopSignal& stop, Attempt&& attempt) {
    int made = 0;
    while (made < policy.attempts && !stop.requested()) {
        ++made;
        if (!attempt(made)) break;
        if (stop.wait(pauseAfter(policy, made))) break;
    }
    return made;
}
