// The committed development key for tests: signing lists the way the publisher does, and putting a
// signed list on the loopback server where the launcher looks for it.
#pragma once

#include <string>
#include <string_view>

#include "tools/list_signing.h"

class LoopbackServer;

// keys/dev-private-key.txt of the source tree; a failed read fails the calling test.
const SigningKey& devSigningKey();
// 64-byte raw signature of the list with the development key.
std::string devSign(std::string_view listBytes);
// basePath + "manifest.txt" and "manifest.sig" (signed with the development key).
void serveSignedList(LoopbackServer& server, const std::string& listBytes,
                     const std::string& basePath = "/qorvane/pc/");
