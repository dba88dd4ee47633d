#include "tests/support/dev_key.h"

#include <gtest/gtest.h>

#include "tests/support/loopback_server.h"
#include "tests/support/source_path.h"
#include "base/text.h"

const SigningKey& devSigningKey() {
    static const SigningKey key = [] {
        SigningKey k;
        std::wstring error;
        EXPECT_TRUE(readSigningKeyFile(sourcePath("keys/dev-private-key.txt"), k, error)) << toUtf8(error);
        return k;
    }();
    return key;
}

std::string devSign(std::string_view listBytes) {
    std::string signature;
    std::wstring error;
    EXPECT_TRUE(signList(devSigningKey(), listBytes, signature, error));
    return signature;
}

void serveSignedList(LoopbackServer& server, const std::string& listBytes, const std::string& basePath) {
    server.addFile(basePath + "manifest.txt", listBytes);
    server.addFile(basePath + "manifest.sig", devSign(listBytes));
}
