#include "tools/tool_files.h"

#include <windows.h>

#include <algorithm>

#include "update/handles.h"
#include "update/update_log.h"

bool readSmallFile(const std::wstring& path, std::string& bytes, uint64_t maxBytes) {
    bytes.clear();
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) > maxBytes) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

bool createFolders(const std::wstring& path) {
    createFolderPrefixes(path);
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool writeStagedFile(const std::wstring& path, std::string_view bytes) {
    std::wstring staged = path + L".gecici";
    UniqueFile file(CreateFileW(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        DWORD wrote = 0;
        ok = WriteFile(file.get(), bytes.data() + done, want, &wrote, nullptr) && wrote == want;
        done += wrote;
    }
    ok = ok && FlushFileBuffers(file.get());
    file.reset();
    if (!ok) DeleteFileW(staged.c_str());
    return ok;
}

bool promoteStagedFile(const std::wstring& path) {
    std::wstring staged = path + L".gecici";
    return MoveFileExW(staged.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

void discardStagedFile(const std::wstring& path) {
    DeleteFileW((path + L".gecici").c_str());
}

bool writeFileReplacing(const std::wstring& path, std::string_view bytes) {
    if (!writeStagedFile(path, bytes)) return false;
    if (promoteStagedFile(path)) return true;
    discardStagedFile(path);
    return false;
}

bool writeNewFile(const std::wstring& path, std::string_view bytes) {
    UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD wrote = 0;
    bool ok = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
              wrote == bytes.size() && FlushFileBuffers(file.get());
    file.reset();
    if (!ok) DeleteFileW(path.c_str());
    return ok;
}

bool fileSize(const std::wstring& path, uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

std::wstring joinPath(const std::wstring& folder, std::wstring_view relative) {
    std::wstring out = folder;
    if (!out.empty() && out.back() != L'\\' && out.back() != L'/') out += L'\\';
    for (wchar_t c : relative)
        out += (c == L'/') ? L'\\' : c;
    return out;
}

std::wstring errorText(unsigned long code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text + L" (" + std::to_wstring(code) + L")";
}
