#include "tests/support/user_state.h"

#include <objbase.h>

#include "install/installer.h"
#include "tests/support/temp_folder.h"

namespace {
const wchar_t* const kBackupKey = L"Software\\QorvaneTestBackup";

void moveAside(const std::wstring& link, const std::wstring& backup) {
    if (!link.empty()) MoveFileExW(link.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING);
}
void putBack(const std::wstring& link, const std::wstring& backup) {
    if (link.empty()) return;
    DeleteFileW(link.c_str());
    MoveFileExW(backup.c_str(), link.c_str(), MOVEFILE_REPLACE_EXISTING);
}
}  // namespace

bool keyExists(const wchar_t* subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool waitUntilGone(const std::wstring& path, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        if (!fileExists(path)) return true;
        Sleep(100);
    }
    return !fileExists(path);
}

UserInstallState::UserInstallState() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    desktopLink = shortcutPath(true);
    programsLink = shortcutPath(false);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    backupFolder_ = std::wstring(temp) + L"qvtest_user_state_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(backupFolder_.c_str(), nullptr);
    moveAside(desktopLink, backupFolder_ + L"\\desktop.lnk");
    moveAside(programsLink, backupFolder_ + L"\\programs.lnk");

    hadKey_ = keyExists(kUninstallKey);
    if (hadKey_) {
        HKEY source = nullptr, backup = nullptr;
        RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, &source);
        RegCreateKeyExW(HKEY_CURRENT_USER, kBackupKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &backup,
                        nullptr);
        RegCopyTreeW(source, nullptr, backup);
        RegCloseKey(source);
        RegCloseKey(backup);
        RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
    }
}

UserInstallState::~UserInstallState() {
    putBack(desktopLink, backupFolder_ + L"\\desktop.lnk");
    putBack(programsLink, backupFolder_ + L"\\programs.lnk");
    removeTree(backupFolder_);
    RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
    if (hadKey_) {
        HKEY source = nullptr, target = nullptr;
        RegOpenKeyExW(HKEY_CURRENT_USER, kBackupKey, 0, KEY_READ, &source);
        RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target,
                        nullptr);
        RegCopyTreeW(source, nullptr, target);
        RegCloseKey(source);
        RegCloseKey(target);
        RegDeleteTreeW(HKEY_CURRENT_USER, kBackupKey);
    }
}

RegistryValue readUninstallValue(const wchar_t* name) {
    RegistryValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
    BYTE data[2048] = {};
    DWORD size = sizeof data;
    if (RegQueryValueExW(key, name, nullptr, &value.type, data, &size) == ERROR_SUCCESS) {
        value.present = true;
        value.size = size;
        if (value.type == REG_SZ) value.text = reinterpret_cast<const wchar_t*>(data);
        if (value.type == REG_DWORD && size == sizeof(DWORD))
            value.number = *reinterpret_cast<const DWORD*>(data);
    }
    RegCloseKey(key);
    return value;
}

void writeUninstallValue(const wchar_t* name, const std::wstring& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

EnvironmentOverride::EnvironmentOverride(const wchar_t* name, const wchar_t* value) : name(name) {
    std::wstring buffer(32768, L'\0');
    DWORD length = GetEnvironmentVariableW(name, buffer.data(), 32768);
    if (length > 0 && length < 32768) saved = buffer.substr(0, length);
    SetEnvironmentVariableW(name, value);
}

EnvironmentOverride::~EnvironmentOverride() {
    SetEnvironmentVariableW(name, saved ? saved->c_str() : nullptr);
}
