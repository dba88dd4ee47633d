#include "tests/support/dev_key.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "tests/support/loopback_server.h"
#include "tests/support/source_path.h"

const SigningKey& devSigningKey() {
    static const SigningKey key = [] {
        SigningKey k;
        EXPECT_FALSE(readSigningKeyFile(sourcePath("keys/dev-private-key.txt"), k).failed());
        return k;
    }();
    return key;
}

std::string devSign(std::string_view listBytes) {
    std::string signature;
    EXPECT_FALSE(signList(devSigningKey(), listBytes, signature).failed());
    return signature;
}

void serveSignedList(LoopbackServer& server, const std::string& listBytes, const std::string& basePath) {
    server.addFile(basePath + "manifest.txt", listBytes);
    server.addFile(basePath + "manifest.sig", devSign(listBytes));
}
