// Checking a published server tree the way the launcher will read it: the signature against a set of
// public keys, the list through the launcher's own parser and path rule, every object's size and
// hash, and whether the launcher the tree publishes can verify the list that names it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/key_set.h"

struct [[nodiscard]] VerifyReport {
    std::vector<std::wstring> problems;  // each one makes the tree unusable or a file unobtainable
    std::vector<std::wstring> notes;     // worth knowing, harmless to the launcher
    uint64_t version = 0;
    int files = 0;
    uint64_t bytes = 0;
    int objectsChecked = 0;
    int indexesChecked = 0;  // chunk indexes found sound (a mismatch with their file is a problem)
    bool signatureVerified = false;
    PublicKey signingKey{};  // the key of the set that verified the signature
    bool ok() const { return problems.empty(); }
};

// (context, objects checked, objects total) after each object.
using VerifyProgressFn = void (*)(void* context, int done, int total);

VerifyReport verifyPublishedTree(const std::wstring& serverFolder, const KeySet& keys,
                                 VerifyProgressFn progress = nullptr, void* context = nullptr);

// The finding about a launcher whose embedded keys (launcherKeys) cannot verify a list signed with
// signingKey: players' launchers would replace themselves with it and reject every later list, so
// the publisher refuses it and the verifier reports it. Names both sides.
std::wstring launcherKeyMismatch(const KeySet& launcherKeys, const std::wstring& signingKeyText);
