#include "app/startup.h"

#include <windows.h>
#include <shellapi.h>

#include "base/file.h"
#include "base/names.h"
#include "base/process.h"

namespace {
bool equalsNoCase(const std::wstring& a, const wchar_t* b) {
    return lstrcmpiW(a.c_str(), b) == 0;
}
}  // namespace

CommandLine parseArguments(const std::vector<std::wstring>& args) {
    CommandLine cl;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        if (equalsNoCase(a, L"--kaldir")) {
            cl.uninstall = true;
        } else if (equalsNoCase(a, L"--sessiz")) {
            cl.silent = true;
        } else if (equalsNoCase(a, L"--guncellendi")) {
            cl.afterSelfUpdate = true;
        } else if (equalsNoCase(a, L"--onizleme") && i + 1 < args.size()) {
            cl.preview = true;
            cl.previewFolder = args[++i];
        } else {
            if (!cl.passThroughArgs.empty()) cl.passThroughArgs += L' ';
            cl.passThroughArgs += quoteArgument(a);
        }
    }
    return cl;
}

std::vector<std::wstring> processArguments() {
    std::vector<std::wstring> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i)
        args.emplace_back(argv[i]);
    LocalFree(argv);
    return args;
}

bool isGameInstalled(const std::wstring& folder) {
    return pathExists(folder + L"\\koruma\\kurulum.txt") || pathExists(joinPath(folder, kGameFileName));
}

bool detectUiLanguage(const std::wstring& folder, int& language) {
    std::wstring path = folder + L"\\pack\\dil.cfg";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < 67108864;
    std::string bytes;
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ok = bytes.empty() ||
             (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
              read == bytes.size());
    }
    CloseHandle(file);
    if (!ok || bytes.size() < 2) return false;
    std::string head = bytes.substr(0, 2);
    if (head == "en" || head == "EN") {
        language = 1;
        return true;
    }
    if (head == "tr" || head == "TR") {
        language = 0;
        return true;
    }
    return false;
}

int defaultUiLanguage() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == 0x1F ? 0 : 1;
}

int startupUiLanguage(const std::wstring& folder) {
    int language = 0;
    return detectUiLanguage(folder, language) ? language : defaultUiLanguage();
}

void cleanupAfterSelfUpdate(const std::wstring& exePath, int attempts, unsigned sleepMs) {
    std::wstring old = exePath + L".eski";
    // A read-only launcher stays read-only through the rename, and DeleteFileW refuses read-only files.
    SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_NORMAL);
    // The previous process may still be ending and holding its image; give it about three seconds.
    for (int i = 0; i < attempts && pathExists(old) && !DeleteFileW(old.c_str()); ++i)
        Sleep(sleepMs);
    DeleteFileW((exePath + L".yeni").c_str());
}
