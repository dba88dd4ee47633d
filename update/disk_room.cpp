#include "update/disk_room.h"

#include <windows.h>

#include <set>

#include "base/path_identity.h"
#include "base/text.h"
#include "protocol/manifest.h"
#include "update/update_log.h"

uint64_t bytesToWrite(const Manifest& manifest, const std::vector<uint32_t>& indices) {
    std::set<std::wstring> counted;
    uint64_t total = 0;
    for (uint32_t index : indices) {
        if (index >= manifest.entries.size()) continue;
        const ManifestEntry& entry = manifest.entries[index];
        if (!counted.insert(pathKey(entry.path)).second) continue;
        // Saturates: a list may name sizes whose sum no drive could hold, and that must not wrap.
        total = entry.size > UINT64_MAX - total ? UINT64_MAX : total + entry.size;
    }
    return total;
}

bool freeBytesOf(const std::wstring& folder, uint64_t& freeBytes, unsigned long& error) {
    ULARGE_INTEGER available{};
    // The caller's share, not the drive's total free space: quotas apply to what the launcher writes.
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
        error = GetLastError();
        return false;
    }
    freeBytes = available.QuadPart;
    error = 0;
    return true;
}

StepResult compareRoom(uint64_t needed, uint64_t freeBytes, const std::wstring& folder) {
    if (needed <= freeBytes) return StepResult{};
    StepResult result{StepOutcome::NoRoom, ERROR_DISK_FULL, 0, std::wstring(), folder};
    result.bytesNeeded = needed;
    result.bytesFree = freeBytes;
    return result;
}

StepResult checkRoomFor(const std::wstring& rootFolder, UpdateLog& log, const Manifest& manifest,
                        const std::vector<uint32_t>& indices) {
    const uint64_t needed = bytesToWrite(manifest, indices);
    uint64_t freeBytes = 0;
    unsigned long error = 0;
    if (!freeBytesOf(rootFolder, freeBytes, error)) {
        logLine(log, "bos alan okunamadi (%lu), indirme yine de basliyor", error);
        return StepResult{};
    }
    StepResult result = compareRoom(needed, freeBytes, rootFolder);
    if (!result.ok())
        logLine(log, "diskte yer yok: gerekli %llu bayt, bos %llu bayt",
                static_cast<unsigned long long>(needed), static_cast<unsigned long long>(freeBytes));
    return result;
}
