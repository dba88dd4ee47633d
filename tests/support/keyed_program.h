// Programs that carry a chosen list-signing key set, the way the build embeds it: a copy of a built
// program whose key set resource is replaced. They stand in for launchers built with other keys.
#pragma once

#include <windows.h>

#include <string>

#include "protocol/key_set.h"

// Replaces (or adds) the key set resource of the program at path. 0 or the system error.
DWORD setProgramKeySet(const std::wstring& path, const KeySet& keys);
// A copy of the small test game program at target, carrying keys. Fails the calling test when it
// cannot be made.
void writeKeyedProgram(const std::wstring& target, const KeySet& keys);
// A key set of one freshly generated key, with its private half in *signingKey when given.
struct SigningKey;
KeySet freshKeySet(SigningKey* signingKey = nullptr);
