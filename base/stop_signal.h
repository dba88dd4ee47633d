// A stop request that every wait blocks on: a manual-reset event, so that a pause ends the moment a
// stop is asked for instead of at its next poll, and a flag for the checks between buffers. A
// signal may follow a parent (a stage's own abort under the run's stop): it counts as stopped once
// either is, and its waits end on either.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/handles.h"

class StopSignal {
   public:
    explicit StopSignal(const StopSignal* parent = nullptr);
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void request();
    // Only while nothing waits on it, such as before a new run starts.
    void clear();
    bool requested() const;
    // Blocks up to timeoutMs or until a stop; true when stopped.
    bool wait(uint32_t timeoutMs) const;

   private:
    const StopSignal* parent_;
    std::atomic<bool> flag_{false};
    UniqueKernelHandle event_;
};
