#include "base/contained_path.h"

#include "base/file.h"
#include "base/handles.h"

namespace {

std::wstring withBackslashes(std::wstring_view relative) {
    std::wstring out(relative);
    for (wchar_t& c : out)
        if (c == L'/') c = L'\\';
    while (!out.empty() && out.back() == L'\\')
        out.pop_back();
    return out;
}

std::wstring expectedPath(const ContainedRoot& root, std::wstring_view relative) {
    std::wstring tail = withBackslashes(relative);
    if (tail.empty()) return root.resolved;
    std::wstring out = root.resolved;
    if (out.back() != L'\\') out += L'\\';
    return out + tail;
}

UniqueFile openFolder(const std::wstring& path) {
    return UniqueFile(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace

std::wstring finalPathOf(HANDLE handle, DWORD* error) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            if (error) *error = lastErrorOr(ERROR_INVALID_HANDLE);
            return {};
        }
        bool fits = length < path.size();
        path.resize(length);
        if (fits) break;
    }
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        path = L"\\" + path.substr(7);
    else if (path.rfind(L"\\\\?\\", 0) == 0)
        path = path.substr(4);
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

std::wstring finalPathOf(const std::wstring& path) {
    UniqueFile handle = openFolder(path);
    return handle ? finalPathOf(handle.get()) : std::wstring();
}

bool isSamePath(std::wstring_view a, std::wstring_view b) {
    // Ordinal, through the system's case table: a language's rules (the Turkish i) are not the file
    // system's.
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

ContainedRoot resolveRoot(const std::wstring& folder) {
    return ContainedRoot{folder, finalPathOf(folder)};
}

std::wstring exactPath(const std::wstring& root, std::wstring_view relative) {
    // The system cleans up the root once; the relative part keeps every character as found on disk.
    DWORD need = GetFullPathNameW(root.c_str(), 0, nullptr, nullptr);
    std::wstring absolute(need, L'\0');
    DWORD length = need ? GetFullPathNameW(root.c_str(), need, absolute.data(), nullptr) : 0;
    if (length == 0 || length >= need) return joinPath(root, relative);
    absolute.resize(length);
    while (absolute.size() > 3 && absolute.back() == L'\\')
        absolute.pop_back();
    const std::wstring tail = withBackslashes(relative);
    if (!tail.empty()) {
        if (absolute.back() != L'\\') absolute += L'\\';
        absolute += tail;
    }
    if (absolute.rfind(L"\\\\?\\", 0) == 0) return absolute;
    if (absolute.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + absolute.substr(2);
    return L"\\\\?\\" + absolute;
}

namespace {

// Each part of a folder from the root down exists and is no reparse point.
bool partsArePlain(const ContainedRoot& root, std::wstring_view relativeFolder) {
    const std::wstring tail = withBackslashes(relativeFolder);
    if (tail.empty()) return true;  // the root itself may be a link
    for (size_t end = 0; end != std::wstring::npos;) {
        end = tail.find(L'\\', end + 1);
        const DWORD attributes =
            GetFileAttributesW(exactPath(root.folder, std::wstring_view(tail).substr(0, end)).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
    }
    return true;
}

// The folder part of a relative path ("" at the top), and of a final path.
std::wstring_view folderPart(std::wstring_view path) {
    size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring_view::npos ? std::wstring_view() : path.substr(0, slash);
}

// The handle's final path (or, for a file, its folder) against the folder expected.
bool reachesFolder(const ContainedRoot& root, std::wstring_view relativeFolder, HANDLE handle, bool isFile) {
    if (root.resolved.empty()) return false;
    DWORD error = 0;
    const std::wstring reached = finalPathOf(handle, &error);
    if (!reached.empty())
        return isSamePath(isFile ? folderPart(reached) : std::wstring_view(reached),
                          expectedPath(root, relativeFolder));
    // Wine names no path longer than MAX_PATH by its handle (ERROR_MORE_DATA whatever the buffer).
    return error == ERROR_MORE_DATA && partsArePlain(root, relativeFolder);
}

}  // namespace

bool isFolderReachedPlainly(const ContainedRoot& root, std::wstring_view relativeFolder, HANDLE handle) {
    return reachesFolder(root, relativeFolder, handle, false);
}

bool isFileReachedPlainly(const ContainedRoot& root, std::wstring_view relativeFile, HANDLE handle) {
    return reachesFolder(root, folderPart(relativeFile), handle, true);
}

bool isPlainFolder(const ContainedRoot& root, std::wstring_view relativeFolder) {
    UniqueFile folder = openFolder(exactPath(root.folder, relativeFolder));
    return folder && isFolderReachedPlainly(root, relativeFolder, folder.get());
}

DWORD createFolderBelow(const ContainedRoot& root, std::wstring_view relativeFolder) {
    // Nearly always the folder is there already: one look settles it.
    if (isPlainFolder(root, relativeFolder)) return 0;
    const std::wstring relative = withBackslashes(relativeFolder);
    for (size_t end = 0; end != std::wstring::npos;) {
        end = relative.find(L'\\', end + 1);
        std::wstring_view level = std::wstring_view(relative).substr(0, end);
        if (level.empty()) continue;
        const std::wstring path = exactPath(root.folder, level);
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return lastErrorOr();
        UniqueFile made = openFolder(path);
        if (!made) return lastErrorOr();
        if (!isFolderReachedPlainly(root, level, made.get())) return kLinkOnTheWay;
    }
    return isPlainFolder(root, relativeFolder) ? 0 : kLinkOnTheWay;
}

DWORD deleteFileBelow(const ContainedRoot& root, std::wstring_view relative) {
    // Without backup semantics a folder does not open; with the reparse flag a link opens as itself.
    UniqueFile file(CreateFileW(exactPath(root.folder, relative).c_str(),
                                DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return lastErrorOr();
    if (!isFileReachedPlainly(root, relative, file.get())) return kLinkOnTheWay;
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        // The system refuses to delete a read-only file; zero times leave them as they are.
        FILE_BASIC_INFO writable{};
        writable.FileAttributes = basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
        if (writable.FileAttributes == 0) writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(file.get(), FileBasicInfo, &writable, sizeof writable);
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition))
        return lastErrorOr();
    return 0;
}
