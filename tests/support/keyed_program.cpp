#include "tests/support/keyed_program.h"

#include <gtest/gtest.h>

#include "base/file.h"
#include "build_config.h"
#include "tests/support/built_program.h"
#include "tools/list_signing.h"

DWORD setProgramKeySet(const std::wstring& path, const KeySet& keys) {
    std::string text;
    for (const PublicKey& key : keys)
        text += (text.empty() ? "" : ",") + keyHex(key);
    HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
    if (!update) return GetLastError();
    // The build writes the resource in the neutral language; replacing that one leaves one set.
    if (!UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(QORVANE_KEY_SET_RESOURCE),
                         MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), text.data(), static_cast<DWORD>(text.size()))) {
        DWORD error = GetLastError();
        EndUpdateResourceW(update, TRUE);
        return error;
    }
    return EndUpdateResourceW(update, FALSE) ? 0 : GetLastError();
}

void writeKeyedProgram(const std::wstring& target, const KeySet& keys) {
    std::wstring base = builtProgramPath(L"tests\\fixtures\\Qorvane.exe");
    createFolderTree(target.substr(0, target.find_last_of(L'\\')));
    ASSERT_TRUE(CopyFileW(base.c_str(), target.c_str(), FALSE)) << GetLastError();
    ASSERT_EQ(setProgramKeySet(target, keys), 0u);
}

KeySet freshKeySet(SigningKey* signingKey) {
    SigningKey key;
    EXPECT_FALSE(generateSigningKey(key).failed());
    PublicKey publicKey;
    publicKeyBytes(key, publicKey.data());
    if (signingKey) *signingKey = key;
    return {publicKey};
}
