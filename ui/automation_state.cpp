#include "ui/automation_state.h"

namespace {

constexpr uint32_t kAnnouncePauseMs = 1000;

// The first announcement is never held back; later ones wait for the pause since the previous.
bool due(bool announcedBefore, uint32_t lastAt, uint32_t now) {
    return !announcedBefore || now - lastAt >= kAnnouncePauseMs;
}

}  // namespace

Announcements takeAnnouncements(AutomationState& state, const std::wstring& headline, int percent,
                                uint32_t now) {
    Announcements out;
    if (headline != state.announcedHeadline && due(state.headlineAt != 0, state.headlineAt, now)) {
        out.headline = true;
        state.announcedHeadline = headline;
        state.headlineAt = now != 0 ? now : 1;
    }
    if (percent != state.announcedPercent && due(state.percentAt != 0, state.percentAt, now)) {
        out.progress = true;
        state.announcedPercent = percent;
        state.percentAt = now != 0 ? now : 1;
    }
    return out;
}
