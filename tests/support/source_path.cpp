#include "tests/support/source_path.h"

std::wstring windowsPathOf(const std::string& path) {
    std::wstring out;
    if (!path.empty() && path[0] == '/') out = L"Z:";
    for (char c : path)
        out += (c == '/') ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

std::wstring sourcePath(const std::string& relative) {
    return windowsPathOf(std::string(QV_SOURCE_DIR) + "/" + relative);
}
