// What the window's UI Automation side keeps between frames: the provider a client has asked for
// (none until one does), and what was last announced to clients, and when.
#pragma once

#include <cstdint>
#include <string>

struct AutomationRoot;  // the window's provider, owned through one COM reference (uia_provider.cpp)

struct AutomationState {
    AutomationRoot* root = nullptr;
    std::wstring announcedHeadline;
    uint32_t headlineAt = 0;
    int announcedPercent = -1;
    uint32_t percentAt = 0;
};

struct Announcements {
    bool headline = false;
    bool progress = false;
};

// Which changes to announce now: a headline or progress percentage differing from the last one
// announced, each at most once a second (the latest value wins after the pause). What it returns
// counts as announced.
Announcements takeAnnouncements(AutomationState& state, const std::wstring& headline, int percent,
                                uint32_t now);
