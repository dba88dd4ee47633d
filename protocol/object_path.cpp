#include "protocol/object_path.h"

std::wstring objectPath(std::string_view hash) {
    std::wstring wide(hash.begin(), hash.end());
    return L"obj/" + wide.substr(0, 2) + L"/" + wide;
}
