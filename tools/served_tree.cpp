#include "tools/served_tree.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>
#include <cwctype>
#include <set>

#include "base/names.h"
#include "base/path_identity.h"
#include "base/sha256.h"
#include "base/text.h"
#include "protocol/manifest.h"
#include "protocol/object_path.h"

namespace {

constexpr size_t kListLimit = 33554431;       // the launcher's limit for the list
constexpr size_t kLauncherLimit = 268435455;  // a launcher program is a few MiB; read whole for its keys

std::wstring lowered(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// The value of a "name=value" directive of Cache-Control; -1 when absent.
long long directiveSeconds(const std::wstring& cacheControl, const std::wstring& name) {
    size_t at = 0;
    while ((at = cacheControl.find(name + L"=", at)) != std::wstring::npos) {
        // A whole directive, not the tail of another one ("s-maxage" holds "maxage").
        if (at == 0 || cacheControl[at - 1] == L',' || cacheControl[at - 1] == L' ') {
            size_t digits = at + name.size() + 1;
            if (digits < cacheControl.size() && cacheControl[digits] == L'"') ++digits;
            return static_cast<long long>(wcstoull(cacheControl.c_str() + digits, nullptr, 10));
        }
        at += name.size();
    }
    return -1;
}

bool hasDirective(const std::wstring& cacheControl, const std::wstring& name) {
    size_t at = 0;
    while ((at = cacheControl.find(name, at)) != std::wstring::npos) {
        size_t end = at + name.size();
        bool startOk = at == 0 || cacheControl[at - 1] == L',' || cacheControl[at - 1] == L' ';
        bool endOk = end == cacheControl.size() || cacheControl[end] == L',' || cacheControl[end] == L' ' ||
                     cacheControl[end] == L'=';
        if (startOk && endOk) return true;
        at = end;
    }
    return false;
}

// An HTTP date ("Tue, 08 Dec 2026 20:00:00 GMT"); anything else (Expires: 0, -1) is no date.
bool httpTime(const std::wstring& text, ULONGLONG& ticks) {
    SYSTEMTIME time{};
    FILETIME file{};
    if (text.size() < 20 || text.find(L"GMT") == std::wstring::npos ||
        !WinHttpTimeToSystemTime(text.c_str(), &time) || !SystemTimeToFileTime(&time, &file))
        return false;
    ticks = (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
    return true;
}

// WinHTTP's errors have no system message text; the ones an operator meets get a word.
std::wstring transportProblem(DWORD code) {
    switch (code) {
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
            return L"ad cozulemedi (host name not resolved)";
        case ERROR_WINHTTP_CANNOT_CONNECT:
            return L"baglanilamadi (cannot connect)";
        case ERROR_WINHTTP_TIMEOUT:
        case WSAETIMEDOUT:
            return L"zaman asimi (timed out)";
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
            return L"TLS ya da sertifika reddedildi (TLS or certificate refused)";
        case ERROR_WINHTTP_CONNECTION_ERROR:
            return L"baglanti koptu (connection broken)";
        default:
            return L"hata (error)";
    }
}

std::wstring statusText(const HttpResult& got) {
    if (got.status != 0) return L"HTTP " + std::to_wstring(got.status);
    std::wstring detail = systemErrorText(got.systemError);  // " (12029)" when the system has no text
    if (!detail.empty() && detail.front() == L' ') detail.erase(0, 1);
    return transportProblem(got.systemError) + L" " + detail;
}

// Requests of one thread: the shared session, a connection of its own.
struct Fetcher {
    const HttpSession& session;
    UniqueInternet connection;

    // One try, as a report must show what the server did: a retry would also feed a sink that
    // already took part of a body. WinHTTP keeps and renews the sockets below the connection.
    HttpResult get(const std::wstring& path, HttpSink sink, void* context, uint64_t start, uint64_t length,
                   ResponseHeaders* headers) {
        if (!connection) connection = openConnection(session);
        return httpGet(session, connection.get(), path, sink, context, start, length, nullptr, headers);
    }

    // A document that changes in place, with the query the launcher adds; false when it did not
    // arrive (missing: a 404).
    bool document(const std::wstring& name, std::string& bytes, size_t limit, bool& missing,
                  VerifyReport& report) {
        BodyCollector collector{&bytes, nullptr, limit};
        ResponseHeaders headers;
        HttpResult got = get(name + makeCacheBuster(), collectBody, &collector, 0, 0, &headers);
        missing = got.status == 404 || got.status == 410;
        if (got.status == 200) {
            CacheFinding finding = changingDocumentCaching(name, headers);
            if (!finding.problem.empty()) report.problems.push_back(finding.problem);
            if (!finding.warning.empty()) report.warnings.push_back(finding.warning);
        }
        if (got.delivered(200)) return true;
        if (!missing) {
            report.problems.push_back(
                name + L" alinamadi (cannot be fetched): " +
                (got.sinkRefused ? std::wstring(L"cok buyuk (too large)") : statusText(got)));
        }
        return false;
    }
};

struct HashingSink {
    Sha256 hash;
    uint64_t bytes = 0;
};

bool hashBody(void* context, const uint8_t* data, size_t length, uint64_t) {
    auto* sink = static_cast<HashingSink*>(context);
    sink->hash.add(data, length);
    sink->bytes += length;
    return true;
}

// The total after the "/" of "bytes a-b/total"; false when the header has none.
bool rangeTotal(const std::wstring& contentRange, uint64_t& total) {
    size_t slash = contentRange.rfind(L'/');
    if (slash == std::wstring::npos || slash + 1 >= contentRange.size() || contentRange[slash + 1] == L'*')
        return false;
    total = wcstoull(contentRange.c_str() + slash + 1, nullptr, 10);
    return true;
}

// The checks of one object, by one thread: findings go to the object's own slot, so that the
// report lists them in the list's order whatever thread finished first.
struct ObjectCheck {
    Fetcher& fetcher;
    std::vector<std::wstring>* problems = nullptr;  // the slot of the object being checked
    bool fullHash = false;
    std::atomic<bool>& rangeProbed;
    std::atomic<bool>& rangesIgnored;

    void missing(const std::wstring& relative, const ManifestEntry& entry) {
        problems->push_back(L"nesne eksik (missing object) " + relative + L" for " + entry.path);
    }
    void wrongSize(const std::wstring& relative, const ManifestEntry& entry, const std::wstring& served) {
        problems->push_back(L"nesne boyutu yanlis (wrong object size) " + relative + L": " + served +
                            L" != " + std::to_wstring(entry.size) + L" for " + entry.path);
    }
    void failed(const std::wstring& relative, const ManifestEntry& entry, const HttpResult& got) {
        if (got.status == 404 || got.status == 410)
            missing(relative, entry);
        else
            problems->push_back(L"nesne alinamadi (cannot fetch object) " + relative + L": " +
                                statusText(got) + L" for " + entry.path);
    }

    // Its last byte: the answer's Content-Range names the size the server holds, and a 200 instead
    // of 206 shows that the server ignores ranges.
    void probe(const std::wstring& relative, const ManifestEntry& entry) {
        ResponseHeaders headers;
        HttpResult got = fetcher.get(relative, nullptr, nullptr, entry.size - 1, 1, &headers);
        uint64_t total = 0;
        if (got.status == 206) {
            if (rangeTotal(headers.contentRange, total) && total != entry.size)
                wrongSize(relative, entry, std::to_wstring(total));
        } else if (got.status == 200) {
            rangesIgnored = true;
            if (!headers.contentLength.empty() && parseDecimal(toUtf8(headers.contentLength)) != entry.size)
                wrongSize(relative, entry, headers.contentLength);
        } else if (got.status == 416) {
            wrongSize(relative, entry,
                      rangeTotal(headers.contentRange, total) ? std::to_wstring(total)
                                                              : std::wstring(L"daha kucuk (smaller)"));
        } else {
            failed(relative, entry, got);
        }
    }

    void whole(const std::wstring& relative, const ManifestEntry& entry) {
        HashingSink sink;
        HttpResult got = fetcher.get(relative, hashBody, &sink, 0, 0, nullptr);
        if (!got.delivered(200)) return failed(relative, entry, got);
        if (sink.bytes != entry.size) return wrongSize(relative, entry, std::to_wstring(sink.bytes));
        if (sink.hash.finishHex() != entry.hash)
            problems->push_back(L"nesne ozeti yanlis (wrong object hash) " + relative + L" for " +
                                entry.path);
    }

    // --tam asks one range anyway, of the first non-empty object, to learn whether ranges work.
    void check(const ManifestEntry& entry) {
        const std::wstring relative = objectPath(entry.hash);
        if (fullHash || entry.size == 0) whole(relative, entry);
        if (entry.size > 0 && (!fullHash || !rangeProbed.exchange(true))) probe(relative, entry);
    }
};

// Connections at once: one request at a time would make a large game's check take as long as the
// round trips add up to.
constexpr size_t kCheckThreads = 8;

// Every distinct object (the same content under several names is one), in the list's order.
void checkObjects(const HttpSession& session, const Manifest& manifest, bool fullHash, VerifyReport& report,
                  VerifyProgressFn progress, void* context) {
    std::vector<const ManifestEntry*> objects;
    std::set<std::string> seen;
    for (const ManifestEntry& entry : manifest.entries)
        if (seen.insert(entry.hash).second) objects.push_back(&entry);
    std::vector<std::vector<std::wstring>> findings(objects.size());
    std::atomic<size_t> next{0};
    std::atomic<bool> rangeProbed{false}, rangesIgnored{false};
    std::mutex progressLock;
    int done = 0;
    auto work = [&] {
        Fetcher fetcher{session, {}};
        ObjectCheck check{fetcher, nullptr, fullHash, rangeProbed, rangesIgnored};
        for (size_t i = next++; i < objects.size(); i = next++) {
            check.problems = &findings[i];
            check.check(*objects[i]);
            std::lock_guard<std::mutex> hold(progressLock);
            ++done;
            if (progress) progress(context, done, static_cast<int>(objects.size()));
        }
    };
    std::vector<std::thread> threads;
    for (size_t i = 1; i < std::min(kCheckThreads, objects.size()); ++i)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
    for (std::vector<std::wstring>& found : findings)
        report.problems.insert(report.problems.end(), found.begin(), found.end());
    report.objectsChecked = static_cast<int>(objects.size());
    if (rangesIgnored)
        report.warnings.push_back(
            L"sunucu aralik isteklerine (Range) 206 yerine 200 ile tum dosyayi veriyor: 32 MiB'den buyuk "
            L"dosyalar paralel parcalar yerine tek akista iner (the server answers range requests with "
            L"the whole file: files over 32 MiB download as one stream instead of parallel ranges)");
}

void checkServedLauncher(Fetcher& fetcher, const Manifest& manifest, const std::string& list,
                         const std::string& signature, VerifyReport& report) {
    auto found = manifest.pathIndex.find(pathKey(kLauncherFileName));
    if (found == manifest.pathIndex.end()) return;
    std::string image;
    BodyCollector collector{&image, nullptr, kLauncherLimit};
    HttpResult got =
        fetcher.get(objectPath(manifest.entries[found->second].hash), collectBody, &collector, 0, 0, nullptr);
    if (!got.delivered(200)) return;  // reported with the objects
    KeySet launcherKeys;
    DWORD error = 0;
    const bool read = readImageKeySet(reinterpret_cast<const unsigned char*>(image.data()), image.size(),
                                      launcherKeys, &error);
    checkLauncherKeys(read, launcherKeys, error, list, signature, report);
}

}  // namespace

CacheFinding changingDocumentCaching(const std::wstring& name, const ResponseHeaders& headers) {
    CacheFinding finding;
    const std::wstring cacheControl = lowered(headers.cacheControl);
    const std::wstring seen = L" (Cache-Control: \"" + headers.cacheControl + L"\", Age: \"" + headers.age +
                              L"\", X-Cache: \"" + headers.xCache + L"\")";
    const bool answeredByCache = (!headers.age.empty() && wcstoull(headers.age.c_str(), nullptr, 10) > 0) ||
                                 lowered(headers.xCache).find(L"hit") != std::wstring::npos;
    if (answeredByCache)
        finding.problem = name +
                          L" yeni bir ?r= sorgusuna ragmen onbellekten geldi: onbellek sorguyu yok sayiyor, "
                          L"oyuncular eski bir kopyasini alabilir (came from a cache although its ?r= query "
                          L"was new: the cache ignores the query string, players can get an old copy)" +
                          seen;
    bool forbidden = hasDirective(cacheControl, L"no-store") || hasDirective(cacheControl, L"no-cache");
    if (!forbidden) {
        long long seconds = directiveSeconds(cacheControl, L"s-maxage");
        if (seconds < 0) seconds = directiveSeconds(cacheControl, L"max-age");
        if (seconds == 0) {
            forbidden = true;
        } else if (seconds < 0 && !headers.expires.empty()) {
            // An Expires that does not parse means "already expired".
            ULONGLONG expires = 0, now = 0;
            forbidden = !httpTime(headers.expires, expires) || !httpTime(headers.date, now) || expires <= now;
        }
    }
    if (!forbidden)
        finding.warning = name +
                          L" onbelleklenebilir; sunucu \"Cache-Control: no-store\" gondermeli (can be "
                          L"cached; the server should send \"Cache-Control: no-store\")" +
                          seen;
    return finding;
}

VerifyReport verifyServedTree(const ServedCheckOptions& options, VerifyProgressFn progress, void* context) {
    VerifyReport report;
    ServerAddress server;
    const std::wstring scheme = lowered(options.url.substr(0, options.url.find(L':')));
    if ((scheme != L"http" && scheme != L"https") || !parseServerUrl(options.url, server) ||
        server.host.empty()) {
        report.problems.push_back(
            L"adres http:// ya da https:// ile baslayan bir URL olmali (the address must "
            L"be an http:// or https:// URL): " +
            options.url);
        return report;
    }
    HttpSession session;
    if (DWORD error = openSession(session, server, options.timeouts)) {
        report.problems.push_back(L"HTTP oturumu acilamadi (cannot open an HTTP session): " +
                                  systemErrorText(error));
        return report;
    }
    Fetcher fetcher{session, {}};
    std::string list, signature;
    bool missing = false;
    if (!fetcher.document(kListFileName, list, kListLimit, missing, report)) {
        if (missing) report.problems.push_back(L"manifest.txt yok (missing)");
        return report;
    }
    const bool signatureRead = fetcher.document(kSignatureFileName, signature, 4096, missing, report);
    Manifest manifest;
    if (!checkListDocuments(list, signatureRead ? &signature : nullptr, options.keys, manifest, report))
        return report;
    checkObjects(session, manifest, options.fullHash, report, progress, context);
    checkServedLauncher(fetcher, manifest, list, signature, report);
    for (const wchar_t* name : kNewsFileNames) {
        std::string bytes;
        if (fetcher.document(name, bytes, kListLimit, missing, report))
            checkNewsDocument(name, &bytes, report);
        else if (missing)
            checkNewsDocument(name, nullptr, report);
    }
    fetcher.connection.reset();
    closeSession(session);
    return report;
}
