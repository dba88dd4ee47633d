#include "install/game_launch.h"

#include <bcrypt.h>
#include <shellapi.h>

#include <vector>

#include "base/file.h"
#include "base/names.h"
#include "base/process.h"
#include "base/sha256.h"
#include "base/text.h"

namespace {

// ERROR_ELEVATION_REQUIRED; not every SDK's headers define it.
constexpr DWORD kElevationRequired = 740;

extern "C" ULONG WINAPI RtlNtStatusToDosError(LONG status);

}  // namespace

long systemRandomBytes(unsigned char* bytes, unsigned long count) {
    return BCryptGenRandom(nullptr, bytes, count, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
}

LaunchResult launchGame(HWND ownerWindow, const std::wstring& gameFolder) {
    return launchGame(ownerWindow, gameFolder, systemRandomBytes);
}

LaunchResult launchGame(HWND ownerWindow, const std::wstring& gameFolder, RandomBytesFn randomBytes) {
    LaunchResult result;
    const std::wstring gameExe = joinPath(gameFolder, kGameFileName);
    if (GetFileAttributesW(gameExe.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // Nothing is drawn or set: the caller downloads the file again and tries later.
        result.errorCode = ERROR_FILE_NOT_FOUND;
        return result;
    }

    // A token of zeros, or of whatever the buffer held, would be one every start could guess: when
    // the generator fails the game is not started at all.
    unsigned char bytes[8] = {};
    const long status = randomBytes(bytes, sizeof(bytes));
    if (status < 0) {
        result.errorCode = RtlNtStatusToDosError(status);
        if (result.errorCode == 0 || result.errorCode == ERROR_MR_MID_NOT_FOUND) result.errorCode = ERROR_GEN_FAILURE;
        return result;
    }
    const std::wstring token = fromUtf8(toHex(bytes, sizeof(bytes)));
    // The child inherits the launcher's environment; the launcher closes right after, so the
    // variable is never removed.
    SetEnvironmentVariableW(L"QORVANE_BELGE", token.c_str());
    const std::wstring arguments = std::wstring(kGameTokenOption) + L" " + token;

    result.errorCode = startProcess(gameExe, arguments, gameFolder);
    if (result.errorCode == 0) {
        result.started = true;
        return result;
    }
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
