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

}  // namespace

long systemRandomBytes(unsigned char* bytes, unsigned long count) {
    return BCryptGenRandom(nullptr, bytes, count, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
}

SystemError launchGame(HWND ownerWindow, const std::wstring& gameFolder) {
    return launchGame(ownerWindow, gameFolder, systemRandomBytes);
}

SystemError launchGame(HWND ownerWindow, const std::wstring& gameFolder, RandomBytesFn randomBytes) {
    const std::wstring gameExe = joinPath(gameFolder, kGameFileName);
    // Nothing is drawn or set: the caller downloads the file again and tries later.
    if (GetFileAttributesW(gameExe.c_str()) == INVALID_FILE_ATTRIBUTES)
        return SystemError{ERROR_FILE_NOT_FOUND};

    // A token of zeros, or of whatever the buffer held, would be one every start could guess: when
    // the generator fails the game is not started at all.
    unsigned char bytes[8] = {};
    const long status = randomBytes(bytes, sizeof(bytes));
    if (status < 0) return SystemError{errorFromStatus(status)};
    const std::wstring token = fromUtf8(toHex(bytes, sizeof(bytes)));
    // The child inherits the launcher's environment; the launcher closes right after, so the
    // variable is never removed.
    SetEnvironmentVariableW(L"QORVANE_BELGE", token.c_str());
    const std::wstring arguments = std::wstring(kGameTokenOption) + L" " + token;

    DWORD started = startProcess(gameExe, arguments, gameFolder);
    if (started != kElevationRequired) return SystemError{started};

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
    if (ShellExecuteExW(&info)) return SystemError{};
    return SystemError{lastErrorOr(ERROR_GEN_FAILURE)};  // 1223 when the user declined the prompt
}
