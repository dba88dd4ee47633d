// Checking a published server tree the way the launcher will read it: the signature against a set of
// public keys, the list through the launcher's own parser and path rule, every object's size and
// hash, and whether the launcher the tree publishes can verify the list that names it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/key_set.h"
#include "protocol/manifest.h"

struct [[nodiscard]] VerifyReport {
    std::vector<std::wstring> problems;  // each one makes the tree unusable or a file unobtainable
    std::vector<std::wstring> notes;     // worth knowing, harmless to the launcher
    std::vector<std::wstring> warnings;  // what players feel though the launcher copes (a server's caching)
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

// The checks of a list and its signature (nullptr: none) wherever they were read from: the signature
// against the keys, the launcher's parser, every record line. False when the list is no list.
bool checkListDocuments(const std::string& list, const std::string* signature, const KeySet& keys,
                        Manifest& manifest, VerifyReport& report);
// One news file's bytes (nullptr: the tree has none).
void checkNewsDocument(const wchar_t* name, const std::string* bytes, VerifyReport& report);
// The keys read from the published launcher (keysRead false: readError says why none) must verify
// the list, or players' launchers would replace themselves with one that rejects every later list.
void checkLauncherKeys(bool keysRead, const KeySet& launcherKeys, DWORD readError, const std::string& list,
                       const std::string& signature, VerifyReport& report);

// The finding about a launcher whose embedded keys (launcherKeys) cannot verify a list signed with
// signingKey: players' launchers would replace themselves with it and reject every later list, so
// the publisher refuses it and the verifier reports it. Names both sides.
std::wstring launcherKeyMismatch(const KeySet& launcherKeys, const std::wstring& signingKeyText);
