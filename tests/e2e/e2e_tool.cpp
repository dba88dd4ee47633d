// Test helper for the end-to-end key tests, standing in for what the product never does:
//   qv_e2e_tool anahtarlar PROGRAM HEX[,HEX...]     the program's embedded key set becomes these keys
//   qv_e2e_tool imzala KEY_FILE LIST SIGNATURE     signs LIST with the key file, as a tree published by
//                                                 other means than the publisher would be
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/file.h"
#include "base/text.h"
#include "tests/support/keyed_program.h"
#include "tools/list_signing.h"

int wmain(int argc, wchar_t** argv) {
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"anahtarlar" && argc == 4) {
        KeySet keys;
        if (!parseKeySet(toUtf8(argv[3]), keys)) {
            fwprintf(stderr, L"not a key set: %ls\n", argv[3]);
            return 2;
        }
        DWORD error = setProgramKeySet(argv[2], keys);
        if (error) fwprintf(stderr, L"cannot set the key set of %ls: %lu\n", argv[2], error);
        return error ? 1 : 0;
    }
    if (command == L"imzala" && argc == 5) {
        SigningKey key;
        SystemError problem = readSigningKeyFile(argv[2], key);
        std::string list, signature;
        if (!problem.failed() && !readWholeFile(argv[3], list, 67108864))
            problem = SystemError{ERROR_READ_FAULT, std::wstring(L"cannot read ") + argv[3]};
        if (!problem.failed()) problem = signList(key, list, signature);
        if (!problem.failed() && writeFlushedFile(argv[4], signature) != 0)
            problem = SystemError{ERROR_WRITE_FAULT, std::wstring(L"cannot write ") + argv[4]};
        if (problem.failed()) {
            fwprintf(stderr, L"signing failed: %ls\n", problem.what.c_str());
            return 1;
        }
        return 0;
    }
    fwprintf(stderr, L"usage: qv_e2e_tool anahtarlar PROGRAM HEX[,HEX...] | imzala KEY_FILE LIST SIGNATURE\n");
    return 2;
}
