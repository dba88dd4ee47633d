// The hand-over to a self-updated launcher: the new executable is started, the old process waits at
// most kRestartWaitMs for its sign of life (its window exists and its first run began) and puts
// itself back under the launcher's name when none comes; the restarted launcher gives that sign;
// and ".eski" goes only once a launcher's run has reached Ready.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/handles.h"

inline constexpr uint32_t kRestartWaitMs = 15000;

// The event a restarted launcher sets, named by that process's id: only the process started for it
// can answer, and an old event of another start can never.
inline std::wstring startSignalName(DWORD processId) {
    return L"Local\\QorvaneLauncherBasladi." + std::to_wstring(processId);
}

// A restart under way, in the old process.
struct LauncherRestart {
    UniqueKernelHandle process;
    UniqueKernelHandle signal;
    uint32_t startedAt = 0;
    bool pending() const { return static_cast<bool>(process); }
};

enum class RestartState {
    Waiting,  // no sign yet, the wait not over
    Started,  // the new launcher gave its sign of life
    Failed,   // it ended, or gave no sign in time (it is ended then)
};

// Starts exePath with arguments in folder, with its signal ready before it runs. 0 or the error of
// the start; restart is pending afterwards only on success.
DWORD beginRestart(LauncherRestart& restart, const std::wstring& exePath, const std::wstring& arguments,
                   const std::wstring& folder, uint32_t now);
// Where the restart is at tick now; on Failed, why holds the reason for the log and the restart is
// no longer pending.
RestartState checkRestart(LauncherRestart& restart, uint32_t now, std::string& why);
// Puts the old launcher back after a failed restart: the new file under the launcher's name moves to
// ".yeni" (and goes when it can), ".eski" takes the name again. 0 or the error; when ".eski" is gone
// and the launcher's name is free, ERROR_FILE_NOT_FOUND.
DWORD restoreOldLauncher(const std::wstring& exePath);
// Gives this process's sign of life to the launcher that started it; nothing when none waits.
void announceStarted();
// Deletes exePath + ".eski"; true when it is gone (or never was there).
bool removeOldLauncher(const std::wstring& exePath);
