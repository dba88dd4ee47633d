#include "base/stop_signal.h"

#include <windows.h>

StopSignal::StopSignal(const StopSignal* parent)
    : parent_(parent), event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void StopSignal::request() {
    flag_.store(true);
    if (event_) SetEvent(event_.get());
}

void StopSignal::clear() {
    flag_.store(false);
    if (event_) ResetEvent(event_.get());
}

bool StopSignal::requested() const {
    return flag_.load() || (parent_ && parent_->requested());
}

bool StopSignal::wait(uint32_t timeoutMs) const {
    HANDLE events[MAXIMUM_WAIT_OBJECTS];
    DWORD count = 0;
    bool everyEvent = true;
    for (const StopSignal* signal = this; signal; signal = signal->parent_) {
        if (!signal->event_ || count == MAXIMUM_WAIT_OBJECTS) {
            everyEvent = false;
            break;
        }
        events[count++] = signal->event_.get();
    }
    // A request sets its flag before its event, so one that lands between this look and the wait
    // below still ends the wait at once.
    if (requested()) return true;
    if (everyEvent) {
        WaitForMultipleObjects(count, events, FALSE, timeoutMs);
        return requested();
    }
    // The system refused an event: short sleeps that look at the flags instead.
    for (uint32_t waited = 0; waited < timeoutMs && !requested(); waited += 20)
        Sleep(timeoutMs - waited < 20 ? timeoutMs - waited : 20);
    return requested();
}
