#include "update/manifest_fetch.h"

#include <cstring>

#include "build_config.h"
#include "base/handles.h"
#include "base/sha256.h"
#include "update/http_client.h"
#include "update/manifest.h"
#include "update/updater.h"

namespace {

constexpr int kAttempts = 2;
constexpr int kRetryPauseSteps = 20;  // 2 s in 100 ms steps

struct CompiledKey {
    unsigned char bytes[64] = {};
    CompiledKey() {
        // The build checks that the option holds exactly 128 hex digits.
        static const char hex[] = QORVANE_PUBLIC_KEY_HEX;
        static_assert(sizeof hex == 129, "the public key must be 128 hexadecimal characters");
        fromHex(std::string_view(hex, 128), bytes, 64);
    }
};

// One GET of name + query into target; only a complete 200 body counts.
HttpResult fetchDocument(Updater& u, const wchar_t* name, const std::wstring& query, std::string& target) {
    target.clear();
    BodyCollector collector{&target, &u};
    return httpGet(u, nullptr, name + query, collectBody, &collector, 0, 0);
}

}  // namespace

const unsigned char* compiledPublicKey() {
    static const CompiledKey key;
    return key.bytes;
}

bool verifySignatureWithKey(const std::string& listBytes, const std::string& signatureBytes,
                            const unsigned char publicKey[64]) {
    // Only the raw r||s form is accepted; a DER-wrapped signature never reaches CNG.
    if (signatureBytes.size() != 64) return false;
    unsigned char digest[32];
    sha256Digest(listBytes, digest);
    UniqueAlgorithm algorithm;
    if (BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0)
        return false;
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    memcpy(blob, &header, sizeof header);
    memcpy(blob + sizeof header, publicKey, 64);
    UniqueKey key;
    if (BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, key.put(), blob, sizeof blob,
                            0) < 0)
        return false;
    unsigned char signature[64];
    memcpy(signature, signatureBytes.data(), 64);
    return BCryptVerifySignature(key.get(), nullptr, digest, 32, signature, 64, 0) >= 0;
}

bool verifySignature(const std::string& listBytes, const std::string& signatureBytes) {
    return verifySignatureWithKey(listBytes, signatureBytes, compiledPublicKey());
}

std::wstring makeCacheBuster() {
    unsigned char bytes[8] = {};
    if (BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0) {
        DWORD fallback = GetTickCount() ^ (GetCurrentProcessId() << 16);
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<unsigned char>(fallback >> (8 * i));
        memset(bytes + 4, 0, 4);
    }
    std::string hex = toHex(bytes, sizeof bytes);
    return L"?r=" + std::wstring(hex.begin(), hex.end());
}

std::wstring objectPath(const std::string& hash) {
    std::wstring wide(hash.begin(), hash.end());
    return L"obj/" + wide.substr(0, 2) + L"/" + wide;
}

StepResult fetchManifest(Updater& u, Manifest& manifest, std::string& listBytes, std::string& signatureBytes) {
    const StepResult rejected{StepOutcome::Rejected};
    for (int attempt = 1;; ++attempt) {
        std::wstring query = makeCacheBuster();
        HttpResult got = fetchDocument(u, L"manifest.txt", query, listBytes);
        if (got.delivered(200)) got = fetchDocument(u, L"manifest.sig", query, signatureBytes);
        if (!got.delivered(200)) return StepResult{StepOutcome::Unavailable, got.systemError, got.status};
        // Parse into a scratch list so that the caller's Manifest only ever holds a verified list.
        Manifest parsed;
        if (verifySignature(listBytes, signatureBytes) && parseManifest(listBytes, parsed)) {
            manifest = std::move(parsed);
            return StepResult{};
        }
        if (u.stopRequested || attempt >= kAttempts) return rejected;
        // A list and signature caught in the middle of a publish usually agree a moment later.
        for (int step = 0; step < kRetryPauseSteps && !u.stopRequested; ++step)
            Sleep(100);
        if (u.stopRequested) return rejected;
    }
}
