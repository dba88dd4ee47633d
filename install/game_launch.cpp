#include "install/game_launch.h"

#include <bcrypt.h>
#include <shellapi.h>

#include <vector>

#include "update/hashing.h"
#include "update/text_encoding.h"

bool startProcess(const std::wstring& exePath, const std::wstring& arguments,
                  const std::wstring& workingFolder) {
    std::wstring commandLine = L"\"" + exePath + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    // CreateProcessW may write into the command line, so it gets its own writable copy.
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exePath.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &process)) {
        return false;  // the caller reads CreateProcessW's last error
    }
    // The launcher never waits for what it starts.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

namespace {

// ERROR_ELEVATION_REQUIRED; not every SDK's headers define it.
constexpr DWORD kElevationRequired = 740;

std::wstring newLaunchToken() {
    unsigned char bytes[8] = {};
    BCryptGenRandom(nullptr, bytes, sizeof(bytes), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    return fromUtf8(ToHex(bytes, sizeof(bytes)));
}

}  // namespace

LaunchResult launchGame(HWND ownerWindow, const std::wstring& gameFolder) {
    LaunchResult result;
    const std::wstring gameExe = gameFolder + L"\\Qorvane.exe";
    if (GetFileAttributesW(gameExe.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // Nothing is drawn or set: the caller downloads the file again and tries later.
        result.errorCode = ERROR_FILE_NOT_FOUND;
        return result;
    }

    const std::wstring token = newLaunchToken();
    // The child inherits the launcher's environment; the launcher closes right after, so the
    // variable is never removed.
    SetEnvironmentVariableW(L"QORVANE_BELGE", token.c_str());
    const std::wstring arguments = L"--qorvane-belge " + token;

    if (startProcess(gameExe, arguments, gameFolder)) {
        result.started = true;
        return result;
    }
    result.errorCode = GetLastError();
    if (result.errorCode != kElevationRequired) return result;

    // A game marked to run as administrator: only the shell can show the elevation prompt.
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = ownerWindow;
    info.lpVerb = L"open";
    info.lpFile = gameExe.c_str();
    info.lpParameters = arguments.c_str();
    info.lpDirectory = gameFolder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) {
        result.started = true;
        result.errorCode = 0;
        return result;
    }
    result.errorCode = GetLastError();  // 1223 when the user declined the prompt
    return result;
}
