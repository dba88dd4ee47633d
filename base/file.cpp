#include "base/file.h"

#include <algorithm>
#include <cstring>

#include "base/handles.h"
#include "base/names.h"

namespace {
// WriteFile and ReadFile take 32-bit lengths; large files go in blocks.
constexpr size_t kBlock = 1u << 24;
}  // namespace

bool readWholeFile(const std::wstring& path, std::string& bytes, uint64_t maxBytes, DWORD* error) {
    bytes.clear();
    DWORD failure = 0;
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size))
        failure = lastErrorOr(ERROR_READ_FAULT);
    else if (static_cast<uint64_t>(size.QuadPart) > maxBytes)
        failure = ERROR_FILE_TOO_LARGE;
    else
        bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (failure == 0 && done < bytes.size()) {
        DWORD want = static_cast<DWORD>(std::min(bytes.size() - done, kBlock));
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr))
            failure = lastErrorOr(ERROR_READ_FAULT);
        else if (got == 0)
            failure = ERROR_HANDLE_EOF;  // the file shrank while it was read
        done += got;
    }
    if (failure == 0) return true;
    bytes.clear();  // half a file is not the file
    if (error) *error = failure;
    return false;
}

DWORD writeFlushedFile(const std::wstring& tempPath, std::string_view bytes) {
    SetFileAttributesW(tempPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    UniqueFile file(CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return lastErrorOr();
    DWORD error = 0;
    size_t done = 0;
    while (error == 0 && done < bytes.size()) {
        DWORD want = static_cast<DWORD>(std::min(bytes.size() - done, kBlock));
        DWORD wrote = 0;
        if (!WriteFile(file.get(), bytes.data() + done, want, &wrote, nullptr))
            error = lastErrorOr();
        else if (wrote == 0)
            error = ERROR_WRITE_FAULT;  // a short write without an error number (a full disk under Wine)
        done += wrote;
    }
    // Without the flush a power cut may leave the new name over zero-filled content.
    if (error == 0 && !FlushFileBuffers(file.get())) error = lastErrorOr();
    file.reset();
    if (error != 0) DeleteFileW(tempPath.c_str());
    return error;
}

DWORD moveFileDurably(const std::wstring& from, const std::wstring& target) {
    if (MoveFileExW(from.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return lastErrorOr();
}

DWORD renameOpenFile(HANDLE file, const std::wstring& target) {
    // The structure ends in the name; the system reads FileNameLength bytes of it.
    const size_t nameBytes = target.size() * sizeof(wchar_t);
    std::string buffer(sizeof(FILE_RENAME_INFO) + nameBytes, '\0');
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    memcpy(info->FileName, target.data(), nameBytes);
    if (!SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())))
        return lastErrorOr();
    // What MOVEFILE_WRITE_THROUGH gives a move by name: the new name is on the disk before anyone
    // is told the file is in place.
    return FlushFileBuffers(file) ? 0 : lastErrorOr();
}

DWORD deleteOpenFile(UniqueFile& file) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    DWORD error =
        SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition)
            ? 0
            : lastErrorOr();
    file.reset();
    return error;
}

bool holdFileStamp(HANDLE file, uint64_t& size, uint64_t& lastWrite) {
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) return false;
    // Zero in the other fields leaves them as they are; a time set explicitly is not updated again
    // by this handle's writes or its closing.
    FILE_BASIC_INFO hold{};
    hold.LastWriteTime = basic.LastWriteTime;
    SetFileInformationByHandle(file, FileBasicInfo, &hold, sizeof hold);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return false;
    size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    lastWrite = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                info.ftLastWriteTime.dwLowDateTime;
    return true;
}

DWORD flushFile(const std::wstring& path) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return lastErrorOr();
    return FlushFileBuffers(file.get()) ? 0 : lastErrorOr();
}

DWORD replaceFileDurably(const std::wstring& target, std::string_view bytes, const wchar_t* tempSuffix) {
    std::wstring temp = target + tempSuffix;
    if (DWORD error = writeFlushedFile(temp, bytes)) return error;
    DWORD error = moveFileDurably(temp, target);
    if (error != 0) DeleteFileW(temp.c_str());
    return error;
}

DWORD copyFileDurably(const std::wstring& source, const std::wstring& target, const wchar_t* tempSuffix) {
    std::wstring temp = target + tempSuffix;
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileW(source.c_str(), temp.c_str(), FALSE)) return lastErrorOr();
    // The copy carries the source's attributes; a read-only one could be neither flushed nor replaced.
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    DWORD error = flushFile(temp);
    if (error == 0) error = moveFileDurably(temp, target);
    if (error != 0) DeleteFileW(temp.c_str());
    return error;
}

bool createFolderTree(const std::wstring& path) {
    // Nearly always the parents exist already; one call then settles it instead of one per level,
    // which matters where every call is a round trip (one per downloaded file, one per log line).
    if (CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    }
    for (size_t i = 3; i < path.size(); ++i) {
        if (path[i] == L'\\' || path[i] == L'/') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring joinPath(const std::wstring& folder, std::wstring_view relative) {
    std::wstring out = folder;
    if (!out.empty() && out.back() != L'\\' && out.back() != L'/') out += L'\\';
    for (wchar_t c : relative)
        out += (c == L'/') ? L'\\' : c;
    return out;
}

std::wstring fullPath(const std::wstring& root, std::wstring_view relative) {
    // CreateDirectoryW stops 12 characters short of MAX_PATH; below that a path, its ".indir" or
    // ".yeni" twin and its parent folder all fit.
    constexpr size_t kLongFrom = MAX_PATH - 12;
    std::wstring joined = joinPath(root, relative);
    if (joined.size() < kLongFrom || joined.rfind(L"\\\\?\\", 0) == 0 || joined.rfind(L"\\\\.\\", 0) == 0)
        return joined;
    // The prefix turns off the system's own clean-up of the path: it gets it here instead.
    DWORD need = GetFullPathNameW(joined.c_str(), 0, nullptr, nullptr);
    std::wstring full(need, L'\0');
    DWORD length = need ? GetFullPathNameW(joined.c_str(), need, full.data(), nullptr) : 0;
    if (length == 0 || length >= need) return joined;
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring stateFolderPath(const std::wstring& root) {
    return fullPath(root, kProtectionFolderName);
}

std::wstring stateFilePath(const std::wstring& root, std::wstring_view fileName) {
    return fullPath(root, std::wstring(kProtectionFolderName) + L"/" + std::wstring(fileName));
}

bool pathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool fileStamp(const std::wstring& path, uint64_t& size, uint64_t& lastWrite, bool* isFolder) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    lastWrite = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                data.ftLastWriteTime.dwLowDateTime;
    if (isFolder) *isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

bool fileSize(const std::wstring& path, uint64_t& size) {
    uint64_t lastWrite = 0;
    bool folder = false;
    return fileStamp(path, size, lastWrite, &folder) && !folder;
}
