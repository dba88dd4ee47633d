// Signing on a machine that never sees the game build: the build machine prepares the objects and
// the list ("hazirla", a publish with prepareOnly), the signing machine signs only that list
// ("imzala"), and the build machine checks the signature with the keys of the launcher the list
// publishes and puts the list into place in the publish's own order ("yerlestir").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/key_set.h"
#include "tools/list_signing.h"
#include "tools/publisher.h"

// What the signing machine shows before it signs.
struct PreparedListSummary {
    uint64_t version = 0;
    int files = 0;
    uint64_t bytes = 0;
    bool namesLauncher = false;
    KeySet launcherKeys;  // from the list's "#anahtar" lines
};

// False with a message when the text is no list the launcher would read, or a key line is damaged.
bool readPreparedList(std::string_view list, PreparedListSummary& summary, std::wstring& error);

// Why the key must not sign this list (empty: it may): the development key without permission, or
// a key the published launcher does not carry, which would take every player's launcher with it.
std::wstring signingRefusal(const PreparedListSummary& summary, const PublicKey& signingKey,
                            bool allowDevelopmentKey);

struct PlaceOptions {
    std::wstring serverFolder;
    std::wstring signaturePath;  // empty: "hazirlik/manifest.sig" in the target
    KeySet keysWithoutLauncher;  // the keys for a list that publishes no launcher
    bool allowDevelopmentKey = false;
    bool allowLowerVersion = false;
};

// Checks the prepared list's signature with the keys of the launcher it publishes (read from its
// object in the target), that every object it names is in place with its size and that its version
// is not below the live one, then places news, list and signature as a publish does and clears
// "hazirlik". The result's version, files and bytes describe the placed list.
PublishResult placeSignedList(const PlaceOptions& options);
