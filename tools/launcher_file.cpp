#include "tools/launcher_file.h"

#include <windows.h>

#include <cstring>

#include "base/handles.h"
#include "base/names.h"
#include "base/path_identity.h"

namespace {

template <typename T>
bool readAt(const unsigned char* bytes, size_t size, size_t offset, T& value) {
    if (offset > size || size - offset < sizeof(T)) return false;
    std::memcpy(&value, bytes + offset, sizeof(T));
    return true;
}

}  // namespace

bool isLauncherLookalike(std::wstring_view relativePath) {
    const std::wstring key = pathKey(relativePath);
    static const std::wstring launcher = pathKey(kLauncherFileName);
    static const std::wstring stem = pathKey(L"Qorvane Launcher");
    static const std::wstring extension = pathKey(L".exe");
    if (key == launcher || key.find(L'/') != std::wstring::npos) return false;
    return key.size() > stem.size() + extension.size() && key.compare(0, stem.size(), stem) == 0 &&
           key.compare(key.size() - extension.size(), extension.size(), extension) == 0;
}

CodeSignature codeSignatureOf(const std::wstring& path) {
    UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return CodeSignature::Unreadable;
    unsigned char header[4096];
    DWORD got = 0;
    if (!ReadFile(file.get(), header, sizeof(header), &got, nullptr)) return CodeSignature::Unreadable;
    // DOS header -> "PE\0\0" -> file header (20 bytes) -> optional header, whose data directories
    // start at 96 (PE32) or 112 (PE32+); the certificate table is directory 4.
    uint32_t peOffset = 0, peMagic = 0, directoryCount = 0, tableOffset = 0, tableSize = 0;
    uint16_t optionalMagic = 0;
    if (got < 64 || header[0] != 'M' || header[1] != 'Z' || !readAt(header, got, 0x3c, peOffset) ||
        !readAt(header, got, peOffset, peMagic) || peMagic != 0x00004550 ||
        !readAt(header, got, size_t(peOffset) + 24, optionalMagic))
        return CodeSignature::Unreadable;
    size_t optional = size_t(peOffset) + 24;
    size_t directories = optional + (optionalMagic == 0x20b ? 112 : optionalMagic == 0x10b ? 96 : 0);
    if (directories == optional || !readAt(header, got, directories - 4, directoryCount))
        return CodeSignature::Unreadable;
    if (directoryCount <= 4) return CodeSignature::Absent;
    if (!readAt(header, got, directories + 4 * 8, tableOffset) ||
        !readAt(header, got, directories + 4 * 8 + 4, tableSize))
        return CodeSignature::Unreadable;
    return tableOffset != 0 && tableSize != 0 ? CodeSignature::Present : CodeSignature::Absent;
}
