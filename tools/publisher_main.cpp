// Entry of qorvane-yayinci.exe; everything else lives in the qv_tools library so the tests reach it.
#include <string>
#include <vector>

#include "base/dll_search.h"
#include "tools/publisher_cli.h"

int wmain(int argc, wchar_t** argv) {
    restrictDllSearch();
    std::vector<std::wstring> args(argv + 1, argv + argc);
    return static_cast<int>(runPublisher(args));
}
