#include "update/manifest_fetch.h"

#include "base/names.h"
#include "net/http_client.h"
#include "protocol/key_set.h"
#include "protocol/manifest.h"

namespace {

// One GET of name + query into target; only a complete 200 body counts.
HttpResult fetchDocument(const HttpSession& session, const StopSignal& stop, const wchar_t* name,
                         const std::wstring& query, std::string& target) {
    target.clear();
    BodyCollector collector{&target, &stop};
    return httpGet(session, nullptr, name + query, collectBody, &collector, 0, 0);
}

// What an operator needs to tell a firewall from a missing file: which document failed, or that the
// server's name did not resolve, and the server's answer when one came.
StepResult unavailable(const HttpSession& session, const wchar_t* what, const HttpResult& got) {
    StepResult result{StepOutcome::Unavailable, got.systemError, got.status};
    if (got.systemError == ERROR_WINHTTP_NAME_NOT_RESOLVED) {
        result.detail = L"sunucu adi cozulemedi: " + session.server.host;
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
        return StepResult{StepOutcome::Rejected,
                          static_cast<DWORD>(NTE_BAD_SIGNATURE),
                          0,
                          {},
                          L"imza dogrulanamadi: liste bu launcher'in anahtarlariyla imzalanmamis"};
    if (!parseManifest(listBytes, parsed))
        return StepResult{StepOutcome::Rejected,
                          ERROR_INVALID_DATA,
                          0,
                          {},
                          L"liste bicimi gecersiz: baslik ya da dosya kaydi yok"};
    if (parsed.version < minimumVersion)
        return StepResult{StepOutcome::Rejected,
                          ERROR_REVISION_MISMATCH,
                          0,
                          {},
                          L"eski liste: surum " + std::to_wstring(parsed.version) + L", bu klasor surum " +
                              std::to_wstring(minimumVersion) + L" listesini dogrulamisti"};
    return StepResult{};
}

}  // namespace

StepResult fetchManifest(const HttpSession& session, const RetryPolicy& attempts, const StopSignal& stop,
                         Manifest& manifest, std::string& listBytes, std::string& signatureBytes,
                         uint64_t minimumVersion) {
    StepResult result{StepOutcome::Stopped};
    // A list and signature caught in the middle of a publish usually agree a moment later, and an
    // edge cache that served an old list may serve the new one to the next query: a rejected pair is
    // fetched again; a failed transfer is not.
    runAttempts(attempts, stop, [&](int) {
        std::wstring query = makeCacheBuster();
        HttpResult got = fetchDocument(session, stop, kListFileName, query, listBytes);
        if (!got.delivered(200)) {
            result = unavailable(session, L"liste manifest.txt", got);
            return false;
        }
        got = fetchDocument(session, stop, kSignatureFileName, query, signatureBytes);
        if (!got.delivered(200)) {
            result = unavailable(session, L"imza manifest.sig", got);
            return false;
        }
        // Parse into a scratch list so that the caller's Manifest only ever holds a verified list.
        Manifest parsed;
        result = checkList(listBytes, signatureBytes, minimumVersion, parsed);
        if (!result.ok()) return true;
        manifest = std::move(parsed);
        return false;
    });
    return result;
}
