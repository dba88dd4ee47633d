#include "update/manifest_fetch.h"

#include <cstring>

#include "base/file.h"
#include "base/handles.h"
#include "base/sha256.h"
#include "update/http_client.h"
#include "update/key_set.h"
#include "update/manifest.h"
#include "update/updater.h"

namespace {

constexpr int kAttempts = 2;
constexpr int kRetryPauseSteps = 20;  // 2 s in 100 ms steps

// One GET of name + query into target; only a complete 200 body counts.
HttpResult fetchDocument(Updater& u, const wchar_t* name, const std::wstring& query, std::string& target) {
    target.clear();
    BodyCollector collector{&target, &u};
    return httpGet(u, nullptr, name + query, collectBody, &collector, 0, 0);
}

// What an operator needs to tell a firewall from a missing file: which document failed, or that the
// server's name did not resolve, and the server's answer when one came.
StepResult unavailable(const Updater& u, const wchar_t* what, const HttpResult& got) {
    StepResult result{StepOutcome::Unavailable, got.systemError, got.status};
    if (got.systemError == ERROR_WINHTTP_NAME_NOT_RESOLVED) {
        result.detail = L"sunucu adi cozulemedi: " + u.config.host;
    } else {
        result.detail = std::wstring(what) + L" alinamadi";
        if (got.status != 0 && got.sinkRefused)
            result.detail += L": 32 MiB sinirini asiyor";
        else if (got.status != 0)
            result.detail += L": HTTP " + std::to_wstring(got.status);
    }
    return result;
}

// Why a fetched pair is not usable, or Done. The system errors are the ones Windows uses for the
// same findings, so that the log line never reads as success.
StepResult checkList(const std::string& listBytes, const std::string& signatureBytes, uint64_t minimumVersion,
                     Manifest& parsed) {
    if (!verifySignature(listBytes, signatureBytes))
        return StepResult{StepOutcome::Rejected, static_cast<DWORD>(NTE_BAD_SIGNATURE), 0, {},
                          L"imza dogrulanamadi: liste bu launcher'in anahtarlariyla imzalanmamis"};
    if (!parseManifest(listBytes, parsed))
        return StepResult{StepOutcome::Rejected, ERROR_INVALID_DATA, 0, {},
                          L"liste bicimi gecersiz: baslik ya da dosya kaydi yok"};
    if (parsed.version < minimumVersion)
        return StepResult{StepOutcome::Rejected, ERROR_REVISION_MISMATCH, 0, {},
                          L"eski liste: surum " + std::to_wstring(parsed.version) + L", bu klasor surum " +
                              std::to_wstring(minimumVersion) + L" listesini dogrulamisti"};
    return StepResult{};
}

}  // namespace

bool verifySignature(const std::string& listBytes, const std::string& signatureBytes) {
    return verifyingKey(ownKeySet(), listBytes, signatureBytes) != nullptr;
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

StepResult fetchManifest(Updater& u, Manifest& manifest, std::string& listBytes, std::string& signatureBytes,
                         uint64_t minimumVersion) {
    for (int attempt = 1;; ++attempt) {
        std::wstring query = makeCacheBuster();
        HttpResult got = fetchDocument(u, L"manifest.txt", query, listBytes);
        if (!got.delivered(200)) return unavailable(u, L"liste manifest.txt", got);
        got = fetchDocument(u, L"manifest.sig", query, signatureBytes);
        if (!got.delivered(200)) return unavailable(u, L"imza manifest.sig", got);
        // Parse into a scratch list so that the caller's Manifest only ever holds a verified list.
        Manifest parsed;
        StepResult checked = checkList(listBytes, signatureBytes, minimumVersion, parsed);
        if (checked.ok()) {
            manifest = std::move(parsed);
            return checked;
        }
        if (u.stopRequested || attempt >= kAttempts) return checked;
        // A list and signature caught in the middle of a publish usually agree a moment later, and an
        // edge cache that served an old list may serve the new one to the next query.
        for (int step = 0; step < kRetryPauseSteps && !u.stopRequested; ++step)
            Sleep(100);
        if (u.stopRequested) return checked;
    }
}

bool readVerifiedListCopy(const std::wstring& rootFolder, Manifest& manifest) {
    constexpr uint64_t kListCopyLimit = 33554431;
    std::string list, signature;
    return readWholeFile(stateFilePath(rootFolder, L"manifest.txt"), list, kListCopyLimit) &&
           readWholeFile(stateFilePath(rootFolder, L"manifest.sig"), signature, 4096) &&
           verifySignature(list, signature) && parseManifest(list, manifest);
}
