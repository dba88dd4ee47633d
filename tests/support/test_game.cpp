#include "tests/support/test_game.h"

#include <windows.h>

#include "tests/support/temp_folder.h"
#include "base/text.h"

std::wstring testGamePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self = path;
    return self.substr(0, self.find_last_of(L'\\')) + L"\\fixtures\\Qorvane.exe";
}

bool installTestGame(const std::wstring& folder, const std::wstring& name) {
    return CopyFileW(testGamePath().c_str(), (folder + L"\\" + name).c_str(), FALSE) != 0;
}

std::map<std::string, std::wstring> waitForGameRecord(const std::wstring& folder) {
    const std::wstring path = folder + L"\\oyun_kaydi.txt";
    for (int i = 0; i < 300 && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    std::map<std::string, std::wstring> record;
    const std::string text = readFileBytes(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t eq = line.find('=');
        if (eq != std::string::npos) record[line.substr(0, eq)] = fromUtf8(line.substr(eq + 1));
        start = end + 1;
    }
    DeleteFileW(path.c_str());
    return record;
}
