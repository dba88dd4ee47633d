// This process and the processes it starts: the running executable's path, the folder part of a
// path, command-line quoting, and starting another program without waiting for it.
#pragma once

#include <windows.h>

#include <string>

#include "base/handles.h"

std::wstring moduleFilePath();                    // the running executable (520 characters at most)
std::wstring folderOf(const std::wstring& path);  // up to, not including, the last backslash
// Quotes one argument so that CommandLineToArgvW reads it back unchanged.
std::wstring quoteArgument(const std::wstring& arg);
// Starts exePath (quoted as the command line's first word) with arguments in workingFolder (the
// caller's own when empty) and never waits. 0 or CreateProcessW's error.
DWORD startProcess(const std::wstring& exePath, const std::wstring& arguments,
                   const std::wstring& workingFolder, DWORD creationFlags = 0);
// The same, created suspended: nothing runs until *mainThread (set on success, the caller's to
// close) is resumed, so a caller knows the program started before it lets it act.
DWORD startProcessSuspended(const std::wstring& exePath, const std::wstring& arguments,
                            const std::wstring& workingFolder, DWORD creationFlags, HANDLE* mainThread);
// A program started suspended with the handles to watch it and let it run.
struct HeldProcess {
    UniqueKernelHandle process;
    UniqueKernelHandle mainThread;
    DWORD id = 0;
};
DWORD startProcessHeld(const std::wstring& exePath, const std::wstring& arguments,
                       const std::wstring& workingFolder, HeldProcess& held);
