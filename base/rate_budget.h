// One byte budget shared by several transfers: a token bucket that fills at a fixed rate. Each read
// takes its bytes before it is made and waits off any debt, so the transfers together never run
// ahead of the rate, however many there are and whichever of them happens to be fastest.
#pragma once

#include <cstdint>
#include <mutex>

#include "base/stop_signal.h"

struct RateBudget {
    RateBudget(uint64_t rateBytesPerSecond, const StopSignal* stopSignal)
        : bytesPerSecond(rateBytesPerSecond), stop(stopSignal) {}
    RateBudget(const RateBudget&) = delete;
    RateBudget& operator=(const RateBudget&) = delete;

    const uint64_t bytesPerSecond;  // above 0
    const StopSignal* stop;         // ends a wait for the budget at once; may be null
    std::mutex lock;                // guards what follows
    double tokens = 0;              // bytes that may be read now; negative: owed
    uint64_t lastMicros = 0;        // when the tokens were last filled up
    bool started = false;
};

// The most one read may take: 100 ms worth of the rate (at least 512 bytes, at most `wanted`), so
// that even a low rate is met over short spans and not in bursts of whole read blocks.
[[nodiscard]] uint32_t grantSize(uint64_t bytesPerSecond, uint32_t wanted);

// Takes a read's bytes at time nowMicros: returns how many it may read and sets waitMicros to how long
// it must wait before reading them (0 when the budget had them). Unused bytes are given back with
// returnBytes. Tokens left unused collect for at most 100 ms of the rate: a pause is not made up by a
// burst afterwards.
uint32_t takeBytesAt(RateBudget& budget, uint32_t wanted, uint64_t nowMicros, uint64_t& waitMicros);
void returnBytes(RateBudget& budget, uint32_t unused);

// takeBytesAt on the steady clock, then the wait on the budget's stop signal; 0 when the stop came.
uint32_t takeBytes(RateBudget& budget, uint32_t wanted);
