#include "tests/support/temp_folder.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "base/names.h"
#include "base/path_identity.h"

void removeTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            bool isLink = data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isLink) {
                removeTree(child);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryW(child.c_str());
            } else {
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wchar_t name[64];
    swprintf(name, 64, L"qvtest_%lu_%d_%lu", GetCurrentProcessId(), counter++, GetTickCount());
    path = std::wstring(temp) + name;
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    CreateDirectoryW(path.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    removeTree(path);
    // A folder an update run worked in leaves its version floor with the account: never reused by
    // a later test, it would only pile up.
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kVersionFloorKey, folderKey(path).c_str());
}

std::wstring TempFolder::file(const std::wstring& relative) const {
    std::wstring out = path + L"\\" + relative;
    for (wchar_t& c : out) {
        if (c == L'/') c = L'\\';
    }
    return out;
}

std::string readFileBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
        bytes.append(buffer, n);
    CloseHandle(h);
    return bytes;
}

void writeFileBytes(const std::wstring& path, const std::string& bytes) {
    for (size_t i = 3; i < path.size(); ++i) {
        if (path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
    HANDLE h =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD n = 0;
    if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(h);
}

void TempFolder::write(const std::wstring& relative, const std::string& bytes) const {
    writeFileBytes(file(relative), bytes);
}

std::string TempFolder::read(const std::wstring& relative) const {
    return readFileBytes(file(relative));
}

bool TempFolder::exists(const std::wstring& relative) const {
    return GetFileAttributesW(file(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}
