#include "install/installer.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <cwchar>

#include "app/startup.h"
#include "build_config.h"
#include "install/install_location.h"
#include "ui/text_table.h"
#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/process.h"
#include "base/text.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr DWORD kInstallRecordSize = sizeof kInstallRecord - 1;  // 26 bytes, no terminator
static_assert(sizeof kInstallRecord - 1 == 26);

void setString(HKEY key, const wchar_t* name, const std::wstring& value) {
    DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));  // the terminator counts
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
}
void setDword(HKEY key, const wchar_t* name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// 0 on success, else the system error; taken before the handle is closed, which may overwrite it.
DWORD writeInstallRecord(const std::wstring& folder) {
    UniqueFile file(CreateFileW((folder + L"\\koruma\\kurulum.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
    if (!file) return GetLastError();
    DWORD written = 0;
    if (!WriteFile(file.get(), kInstallRecord, kInstallRecordSize, &written, nullptr)) return GetLastError();
    // A short write leaves no error of its own.
    return written < kInstallRecordSize ? ERROR_WRITE_FAULT : ERROR_SUCCESS;
}

void registerUninstallEntry(const std::wstring& folder, const std::wstring& copyPath,
                            uint64_t requiredBytes) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    std::wstring quoted = L"\"" + copyPath + L"\"";
    setString(key, L"DisplayName", L"Qorvane");
    setString(key, L"DisplayIcon", copyPath + L",0");
    setString(key, L"DisplayVersion", QORVANE_VERSION_WTEXT);
    setString(key, L"Publisher", L"Qorvane");
    setString(key, L"URLInfoAbout", L"https://www.qorvane.com");
    setString(key, L"InstallLocation", folder);
    setString(key, L"UninstallString", quoted + L" --kaldir");
    setString(key, L"QuietUninstallString", quoted + L" --kaldir --sessiz");
    setDword(key, L"NoModify", 1);
    setDword(key, L"NoRepair", 1);
    // An unknown size (the list not yet verified) must not leave an earlier install's size behind.
    if (requiredBytes != 0) {
        setDword(key, L"EstimatedSize", static_cast<DWORD>(requiredBytes >> 10));
    } else {
        RegDeleteValueW(key, L"EstimatedSize");
    }
    RegCloseKey(key);
}
}  // namespace

std::wstring shortcutPath(bool desktop) {
    std::wstring folder = knownFolderPath(desktop ? FOLDERID_Desktop : FOLDERID_Programs);
    if (folder.empty()) return folder;
    return folder + L"\\Qorvane.lnk";
}

bool createShortcut(const std::wstring& linkPath, const std::wstring& targetPath,
                    const std::wstring& workingFolder) {
    if (linkPath.empty()) return false;
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))))
        return false;
    link->SetPath(targetPath.c_str());
    link->SetWorkingDirectory(workingFolder.c_str());
    link->SetIconLocation(targetPath.c_str(), 0);
    link->SetDescription(L"Qorvane");
    ComPtr<IPersistFile> file;
    if (FAILED(link.As(&file))) return false;
    return SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}

void writeGameLanguage(const std::wstring& folder, int language) {
    createFolderTree(folder + L"\\pack");
    UniqueFile file(CreateFileW((folder + L"\\pack\\dil.cfg").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
    if (!file) return;
    const char* code = language == English ? "en" : "tr";
    DWORD written = 0;
    WriteFile(file.get(), code, 2, &written, nullptr);
}

bool installLauncher(const std::wstring& sourceExe, const std::wstring& folder, bool desktopShortcut,
                     bool startMenuShortcut, uint64_t requiredBytes, std::wstring& errorText) {
    int created = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (created != ERROR_SUCCESS && created != ERROR_FILE_EXISTS && created != ERROR_ALREADY_EXISTS) {
        errorText = folder + L"\n" + systemErrorText(static_cast<unsigned long>(created));
        return false;
    }

    std::wstring copyPath = joinPath(folder, kLauncherFileName);
    bool runningFromTarget = !sourceExe.empty() && lstrcmpiW(sourceExe.c_str(), copyPath.c_str()) == 0;
    if (!runningFromTarget && !CopyFileW(sourceExe.c_str(), copyPath.c_str(), FALSE)) {
        errorText = copyPath + L"\n" + systemErrorText(GetLastError());
        return false;
    }

    createFolderTree(folder + L"\\koruma");
    if (DWORD error = writeInstallRecord(folder)) {
        errorText = folder + L"\\koruma\n" + systemErrorText(error);
        return false;
    }

    int language = 0;
    if (!detectUiLanguage(folder, language)) writeGameLanguage(folder, uiLanguage);

    if (desktopShortcut) createShortcut(shortcutPath(true), copyPath, folder);
    if (startMenuShortcut) createShortcut(shortcutPath(false), copyPath, folder);

    registerUninstallEntry(folder, copyPath, requiredBytes);
    return true;
}

bool installGame(const std::wstring& folder, bool desktopShortcut, bool startMenuShortcut,
                 uint64_t requiredBytes, std::wstring& errorText) {
    return installLauncher(moduleFilePath(), folder, desktopShortcut, startMenuShortcut, requiredBytes,
                           errorText);
}
