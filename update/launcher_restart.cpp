#include "update/launcher_restart.h"

#include "base/file.h"
#include "base/names.h"
#include "base/process.h"

DWORD beginRestart(LauncherRestart& restart, const std::wstring& exePath, const std::wstring& arguments,
                   const std::wstring& folder, uint32_t now) {
    restart = LauncherRestart{};
    HeldProcess held;
    if (DWORD error = startProcessHeld(exePath, arguments, folder, held)) return error;
    // Made before the new process runs a single instruction: it can never look for it too early.
    UniqueKernelHandle signal(CreateEventW(nullptr, TRUE, FALSE, startSignalName(held.id).c_str()));
    if (!signal) {
        DWORD error = lastErrorOr(ERROR_INVALID_HANDLE);
        TerminateProcess(held.process.get(), 1);
        return error;
    }
    ResumeThread(held.mainThread.get());
    restart.process = std::move(held.process);
    restart.signal = std::move(signal);
    restart.startedAt = now;
    return 0;
}

RestartState checkRestart(LauncherRestart& restart, uint32_t now, std::string& why) {
    if (!restart.pending()) return RestartState::Failed;
    if (WaitForSingleObject(restart.signal.get(), 0) == WAIT_OBJECT_0) {
        restart = LauncherRestart{};
        return RestartState::Started;
    }
    if (WaitForSingleObject(restart.process.get(), 0) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(restart.process.get(), &code);
        why = "yeni launcher isaret vermeden kapandi (cikis kodu " + std::to_string(code) + ")";
        restart = LauncherRestart{};
        return RestartState::Failed;
    }
    // Tick differences are unsigned, so the wrap of GetTickCount is harmless.
    if (now - restart.startedAt < kRestartWaitMs) return RestartState::Waiting;
    why = "yeni launcher " + std::to_string(kRestartWaitMs / 1000) + " sn icinde isaret vermedi";
    // A hung launcher must not run on beside the one that takes over again, nor hold its file.
    TerminateProcess(restart.process.get(), 1);
    WaitForSingleObject(restart.process.get(), 5000);
    restart = LauncherRestart{};
    return RestartState::Failed;
}

DWORD restoreOldLauncher(const std::wstring& exePath) {
    const std::wstring oldPath = exePath + kOldFileSuffix;
    const std::wstring newPath = exePath + kNewFileSuffix;
    if (!pathExists(oldPath)) return ERROR_FILE_NOT_FOUND;
    if (pathExists(exePath)) {
        // A running image may be renamed, not deleted: the failed build steps aside first.
        SetFileAttributesW(newPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(newPath.c_str());
        if (!MoveFileExW(exePath.c_str(), newPath.c_str(), MOVEFILE_REPLACE_EXISTING)) return lastErrorOr();
    }
    if (!MoveFileExW(oldPath.c_str(), exePath.c_str(), MOVEFILE_WRITE_THROUGH)) {
        DWORD error = lastErrorOr();
        MoveFileExW(newPath.c_str(), exePath.c_str(), 0);  // never leave the name empty
        return error;
    }
    SetFileAttributesW(newPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(newPath.c_str());  // the next start deletes it when it is still held now
    return 0;
}

void announceStarted() {
    UniqueKernelHandle signal(
        OpenEventW(EVENT_MODIFY_STATE, FALSE, startSignalName(GetCurrentProcessId()).c_str()));
    if (signal) SetEvent(signal.get());
}

bool removeOldLauncher(const std::wstring& exePath) {
    const std::wstring oldPath = exePath + kOldFileSuffix;
    // A read-only launcher stays read-only through the rename, and DeleteFileW refuses read-only files.
    SetFileAttributesW(oldPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(oldPath.c_str()) || !pathExists(oldPath);
}
