#include "tests/support/command_line.h"

#include <windows.h>
#include <shellapi.h>

std::vector<std::wstring> splitLikeWindows(const std::wstring& argumentText) {
    std::wstring commandLine = L"\"C:\\Qorvane\\Qorvane Launcher.exe\" " + argumentText;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(commandLine.c_str(), &count);
    std::vector<std::wstring> out;
    for (int i = 1; i < count; ++i)
        out.emplace_back(argv[i]);
    LocalFree(argv);
    return out;
}
