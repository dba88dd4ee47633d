// The built launcher as a separate process under test: where it is, its windows and message boxes,
// and a handle that never leaves it running after a test.
#pragma once

#include <windows.h>

#include <string>

// "Qorvane Launcher.exe" at the top of the build folder, beside the tests folder.
std::wstring builtLauncher();
// Windows can be made only with an X display under Wine.
bool haveDisplay();
// A visible top-level window of the class whose process runs exePath; null after the time-out.
HWND waitForWindow(const wchar_t* className, const std::wstring& exePath, DWORD timeoutMs = 30000);
// The text of a message box.
std::wstring messageBoxText(HWND box);

struct Launcher {
    explicit Launcher(const std::wstring& exe, const std::wstring& arguments = L"");
    ~Launcher();
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;
    bool endsWithin(DWORD ms) const;
    DWORD exitCode() const;
    PROCESS_INFORMATION process = {};
    DWORD startError = 0;  // CreateProcessW's error when the launcher could not be started
};
