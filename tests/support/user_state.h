// The per-user places an install writes to (the desktop and Start-menu shortcuts, the uninstall
// entry), set aside for one test and put back afterwards, so that tests start from none of them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

struct UserInstallState {
    UserInstallState();
    ~UserInstallState();
    UserInstallState(const UserInstallState&) = delete;
    UserInstallState& operator=(const UserInstallState&) = delete;

    std::wstring desktopLink;
    std::wstring programsLink;

   private:
    std::wstring backupFolder_;
    bool hadKey_ = false;
};

bool keyExists(const wchar_t* subKey);
bool fileExists(const std::wstring& path);
// Waits (bounded) for path to disappear; the detached removal waits about two seconds first.
bool waitUntilGone(const std::wstring& path, DWORD timeoutMs = 10000);

// One value of the uninstall entry as stored.
struct RegistryValue {
    bool present = false;
    DWORD type = 0;
    DWORD size = 0;
    std::wstring text;  // REG_SZ data up to its first null
    DWORD number = 0;   // REG_DWORD data
};
RegistryValue readUninstallValue(const wchar_t* name);
void writeUninstallValue(const wchar_t* name, const std::wstring& text);

// Sets or clears one environment variable (inherited by started processes) and restores it.
struct EnvironmentOverride {
    EnvironmentOverride(const wchar_t* name, const wchar_t* value);
    ~EnvironmentOverride();
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;
    const wchar_t* name;
    std::optional<std::wstring> saved;
};
