#include "tools/tool_files.h"

#include "base/file.h"
#include "base/handles.h"
#include "base/names.h"

DWORD writeStagedFile(const std::wstring& path, std::string_view bytes) {
    return writeFlushedFile(path + kStagedSuffix, bytes);
}

DWORD promoteStagedFile(const std::wstring& path) {
    return moveFileDurably(path + kStagedSuffix, path);
}

void discardStagedFile(const std::wstring& path) {
    DeleteFileW((path + kStagedSuffix).c_str());
}

DWORD writeFileReplacing(const std::wstring& path, std::string_view bytes) {
    return replaceFileDurably(path, bytes, kStagedSuffix);
}

DWORD writeNewFile(const std::wstring& path, std::string_view bytes, SECURITY_ATTRIBUTES* security) {
    UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return lastErrorOr();
    DWORD wrote = 0;
    DWORD error = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr))
        error = lastErrorOr();
    else if (wrote != bytes.size())
        error = ERROR_WRITE_FAULT;
    else if (!FlushFileBuffers(file.get()))
        error = lastErrorOr();
    file.reset();
    if (error != 0) DeleteFileW(path.c_str());
    return error;
}
