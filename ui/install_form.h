// The install screen's form: the chosen folder with the free space on its drive, the two shortcut
// choices, and whether the install is under way.
#pragma once

#include <cstdint>
#include <string>

struct InstallForm {
    std::wstring folder;
    bool desktopShortcut = true;
    bool startMenuShortcut = true;
    uint64_t freeBytes = 0;           // on the folder's drive (its nearest existing part); 0 unknown
    uint32_t freeBytesCheckedAt = 0;  // tick of the last measurement
    bool installing = false;          // the install runs on the UI thread; the form is frozen
};

// The free space is measured again this long after the last measurement.
inline constexpr uint32_t kFreeSpaceRefreshMs = 3000;

void refreshFreeSpace(InstallForm& form, uint32_t now);
// refreshFreeSpace when more than kFreeSpaceRefreshMs have passed since the last one.
void refreshFreeSpaceWhenDue(InstallForm& form, uint32_t now);
