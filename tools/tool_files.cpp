#include "tools/tool_files.h"

#include <windows.h>

#include "base/file.h"
#include "base/handles.h"

namespace {
constexpr wchar_t kStagedSuffix[] = L".gecici";

bool failWith(DWORD error) {
    SetLastError(error);
    return error == 0;
}
}  // namespace

bool writeStagedFile(const std::wstring& path, std::string_view bytes) {
    return failWith(writeFlushedFile(path + kStagedSuffix, bytes));
}

bool promoteStagedFile(const std::wstring& path) {
    return failWith(moveFileDurably(path + kStagedSuffix, path));
}

void discardStagedFile(const std::wstring& path) {
    DeleteFileW((path + kStagedSuffix).c_str());
}

bool writeFileReplacing(const std::wstring& path, std::string_view bytes) {
    return failWith(replaceFileDurably(path, bytes, kStagedSuffix));
}

bool writeNewFile(const std::wstring& path, std::string_view bytes) {
    UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD wrote = 0;
    bool ok = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
              wrote == bytes.size() && FlushFileBuffers(file.get());
    DWORD error = ok ? 0 : lastErrorOr();
    file.reset();
    if (!ok) DeleteFileW(path.c_str());
    return failWith(error);
}
