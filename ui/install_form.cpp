#include "ui/install_form.h"

#include "install/install_location.h"

void refreshFreeSpace(InstallForm& form, uint32_t now) {
    form.freeBytes = freeSpaceAt(form.folder);
    form.freeBytesCheckedAt = now;
}

void refreshFreeSpaceWhenDue(InstallForm& form, uint32_t now) {
    // Tick differences are unsigned, so the wrap of the tick count is harmless.
    if (now - form.freeBytesCheckedAt > kFreeSpaceRefreshMs) refreshFreeSpace(form, now);
}
