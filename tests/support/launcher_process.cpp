#include "tests/support/launcher_process.h"

#include "base/file.h"
#include "base/process.h"
#include "base/text.h"
#include "install/install_location.h"

namespace {
std::wstring imageOf(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return {};
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    QueryFullProcessImageNameW(process, 0, path, &size);
    CloseHandle(process);
    return path;
}

struct WindowSearch {
    const wchar_t* className;
    const std::wstring* exePath;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<WindowSearch*>(param);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (IsWindowVisible(window) && lstrcmpW(name, s->className) == 0 &&
        lstrcmpiW(imageOf(process).c_str(), s->exePath->c_str()) == 0) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

std::wstring builtLauncher() {
    return parentFolder(parentFolder(moduleFilePath())) + L"\\Qorvane Launcher.exe";
}

bool haveDisplay() {
    wchar_t value[256];
    return GetEnvironmentVariableW(L"DISPLAY", value, 256) > 0;
}

HWND waitForWindow(const wchar_t* className, const std::wstring& exePath, DWORD timeoutMs) {
    WindowSearch search{className, &exePath, nullptr};
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(100);
    }
    return nullptr;
}

std::wstring messageBoxText(HWND box) {
    wchar_t text[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 1024);  // the message box's static text control
    return text;
}

Launcher::Launcher(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    // A start can fail for a moment while the previous test's process still lets go of the file;
    // a few tries keep that from failing an unrelated test, and the error is kept for the message.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           parentFolder(exe).c_str(), &startup, &process)) {
            startError = 0;
            return;
        }
        startError = GetLastError();
        process = {};
        Sleep(200);
    }
}

Launcher::~Launcher() {
    if (process.hProcess && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(process.hProcess, 99);
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
}

bool Launcher::endsWithin(DWORD ms) const {
    return process.hProcess && WaitForSingleObject(process.hProcess, ms) == WAIT_OBJECT_0;
}

DWORD Launcher::exitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process.hProcess) GetExitCodeProcess(process.hProcess, &code);
    return code;
}
