// Checking a published server tree the way the launcher will read it: the signature against a
// public key, the list through the launcher's own parser and path rule, every object's size and hash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct VerifyReport {
    std::vector<std::wstring> problems;  // each one makes the tree unusable or a file unobtainable
    std::vector<std::wstring> notes;     // worth knowing, harmless to the launcher
    uint64_t version = 0;
    int files = 0;
    uint64_t bytes = 0;
    int objectsChecked = 0;
    bool ok() const { return problems.empty(); }
};

// (context, objects checked, objects total) after each object.
using VerifyProgressFn = void (*)(void* context, int done, int total);

VerifyReport verifyPublishedTree(const std::wstring& serverFolder, const unsigned char publicKey[64],
                                 VerifyProgressFn progress = nullptr, void* context = nullptr);
