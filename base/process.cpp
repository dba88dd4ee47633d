#include "base/process.h"

#include <vector>

std::wstring moduleFilePath() {
    wchar_t buffer[520] = {};
    DWORD n = GetModuleFileNameW(nullptr, buffer, 520);
    return std::wstring(buffer, n < 520 ? n : 519);
}

std::wstring folderOf(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(0, slash);
}

std::wstring quoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    // Backslashes count only before a double quote (and before the closing quote): those are
    // doubled, every other backslash stays single. This is the rule CommandLineToArgvW reads.
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
        } else {
            out.append(backslashes, L'\\');
        }
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

namespace {

DWORD createProcess(const std::wstring& exePath, const std::wstring& arguments,
                    const std::wstring& workingFolder, DWORD creationFlags, HANDLE* mainThread,
                    HeldProcess* held = nullptr) {
    std::wstring commandLine = L"\"" + exePath + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    // CreateProcessW may write into the command line, so it gets its own writable copy.
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exePath.c_str(), buffer.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &process)) {
        DWORD error = GetLastError();
        return error ? error : ERROR_INVALID_FUNCTION;
    }
    if (held) {
        held->process.reset(process.hProcess);
        held->mainThread.reset(process.hThread);
        held->id = process.dwProcessId;
        return 0;
    }
    if (mainThread)
        *mainThread = process.hThread;
    else
        CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

}  // namespace

DWORD startProcess(const std::wstring& exePath, const std::wstring& arguments,
                   const std::wstring& workingFolder, DWORD creationFlags) {
    return createProcess(exePath, arguments, workingFolder, creationFlags, nullptr);
}

DWORD startProcessSuspended(const std::wstring& exePath, const std::wstring& arguments,
                            const std::wstring& workingFolder, DWORD creationFlags, HANDLE* mainThread) {
    return createProcess(exePath, arguments, workingFolder, creationFlags | CREATE_SUSPENDED, mainThread);
}

DWORD startProcessHeld(const std::wstring& exePath, const std::wstring& arguments,
                       const std::wstring& workingFolder, HeldProcess& held) {
    return createProcess(exePath, arguments, workingFolder, CREATE_SUSPENDED, nullptr, &held);
}
