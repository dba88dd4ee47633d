#include "tests/support/folder_link.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

#include "base/handles.h"

namespace {

// The mount-point reparse buffer that junctions use.
bool makeJunction(const std::wstring& link, const std::wstring& target) {
    if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
    UniqueFile dir(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!dir) return false;
    std::wstring substitute = L"\\??\\" + target;
    USHORT subBytes = static_cast<USHORT>(substitute.size() * 2),
           printBytes = static_cast<USHORT>(target.size() * 2);
    std::vector<unsigned char> buffer(8 + 8 + subBytes + 2 + printBytes + 2);
    auto put16 = [&](size_t at, USHORT v) { memcpy(&buffer[at], &v, 2); };
    DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    memcpy(&buffer[0], &tag, 4);
    put16(4, static_cast<USHORT>(buffer.size() - 8));
    put16(8, 0);
    put16(10, subBytes);
    put16(12, static_cast<USHORT>(subBytes + 2));
    put16(14, printBytes);
    memcpy(&buffer[16], substitute.data(), subBytes);
    memcpy(&buffer[16 + subBytes + 2], target.data(), printBytes);
    DWORD returned = 0;
    return DeviceIoControl(dir.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                           static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr) != 0;
}

bool isFolderLink(const std::wstring& link) {
    DWORD attributes = GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Wine's own name of a path on the host, through its kernel32 export; empty elsewhere.
std::string unixName(const std::wstring& path) {
    using Converter = char*(__cdecl*)(const wchar_t*);
    auto convert = reinterpret_cast<Converter>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) return {};
    char* name = convert(path.c_str());
    if (!name) return {};
    std::string out = name;
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

// Wine starts host programs as well: "ln -s" makes the link Wine cannot make itself.
bool makeHostLink(const std::wstring& link, const std::wstring& target) {
    const std::string from = unixName(target), to = unixName(link);
    if (from.empty() || to.empty()) return false;
    std::wstring command = L"Z:\\bin\\ln -s \"" + std::wstring(from.begin(), from.end()) + L"\" \"" +
                           std::wstring(to.begin(), to.end()) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine's handle of a host process is signalled before the process is done: the link is waited for.
    for (int i = 0; i < 250 && !isFolderLink(link); ++i)
        Sleep(20);
    return isFolderLink(link);
}

}  // namespace

bool makeFolderLink(const std::wstring& link, const std::wstring& target) {
    if (makeJunction(link, target) && isFolderLink(link)) return true;
    RemoveDirectoryW(link.c_str());
    // Wine reports success here and creates nothing.
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        isFolderLink(link))
        return true;
    return makeHostLink(link, target) && isFolderLink(link);
}
