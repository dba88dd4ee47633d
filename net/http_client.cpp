#include "net/http_client.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>

#include "base/file.h"
#include "base/handles.h"
#include "base/sha256.h"

namespace {

constexpr DWORD kReadBlock = 262144;
// How long short reads may wait in the block before the sink sees them.
constexpr ULONGLONG kGatherMs = 100;

struct alignas(32) ReadBlock {
    unsigned char bytes[kReadBlock];
};

// The Content-Length header, when the response has one.
bool declaredLength(HINTERNET request, uint64_t& length) {
    wchar_t text[32] = {};
    DWORD size = sizeof text;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return false;
    wchar_t* end = nullptr;
    length = wcstoull(text, &end, 10);
    return end != text && *end == L'\0';
}

// The stall rule counted in consecutive windows: a window that ends with fewer bytes than the rule
// asks for ends the transfer. A read returns at the latest when the receive time-out (at most one
// window) passes, so a server that drips a byte now and then is cut off within two windows, and one
// that sends nothing at all within one.
struct StallWatch {
    uint32_t windowMs = 0;  // 0: no rule
    uint32_t minBytes = 0;
    ULONGLONG windowStart = GetTickCount64();
    uint64_t windowBytes = 0;

    // After each read of `got` bytes: true when the window that just ended fell short.
    bool stalledAfter(DWORD got) {
        if (windowMs == 0) return false;
        windowBytes += got;
        ULONGLONG now = GetTickCount64();
        if (now - windowStart < windowMs) return false;
        if (windowBytes < minBytes) return true;
        windowStart = now;
        windowBytes = 0;
        return false;
    }
};

int receiveLimitMs(const SessionTimeouts& timeouts) {
    int window = static_cast<int>(timeouts.stallWindowMs);
    if (window <= 0) return timeouts.receiveMs;
    return timeouts.receiveMs <= 0 ? window : std::min(timeouts.receiveMs, window);
}

// Reads the whole body into the sink.
// asked: the bytes of the range requested, 0 for a whole object.
HttpResult readBody(HINTERNET request, int status, uint64_t asked, HttpSink sink, void* sinkContext,
                    RateBudget* budget, const SessionTimeouts& timeouts) {
    // Not zeroed: only bytes that WinHttpReadData wrote are ever passed on.
    std::unique_ptr<ReadBlock> block(new ReadBlock);
    uint64_t total = 0;
    uint64_t declared = 0;
    bool hasLength = declaredLength(request, declared);
    StallWatch watch{timeouts.stallWindowMs, timeouts.stallMinBytes};
    // Short reads are gathered into the block before the sink sees them: each block costs the sink a
    // write, a hash update and a progress report, and a fast transfer arrives in many short reads.
    // A block goes out when it is full, when the body ends or reaches its declared length, or once
    // it has waited kGatherMs, so progress keeps moving on a slow line.
    DWORD filled = 0;
    ULONGLONG gatherStart = 0;
    auto deliver = [&]() {
        DWORD length = filled;
        filled = 0;
        return !sink || length == 0 || sink(sinkContext, block->bytes, length, total);
    };
    for (;;) {
        // Only what has arrived is read: Wine's WinHttpReadData waits until the whole buffer is
        // filled, which a server that trickles keeps from ever happening, so the stall rule would
        // never get to look. Windows returns what is there either way.
        DWORD available = 0;
        DWORD got = 0;
        // Time spent waiting for the speed budget is the launcher's own doing, not the server's:
        // the stall rule does not count it.
        const ULONGLONG budgetWaitStart = GetTickCount64();
        const DWORD room = kReadBlock - filled;
        const DWORD granted = budget ? takeBytes(*budget, room) : room;
        if (granted == 0) return HttpResult{status, 0, true};
        if (budget) watch.windowStart += GetTickCount64() - budgetWaitStart;
        if (!WinHttpQueryDataAvailable(request, &available) ||
            (available > 0 &&
             !WinHttpReadData(request, block->bytes + filled, std::min(available, granted), &got))) {
            DWORD error = lastErrorOr(ERROR_WINHTTP_CONNECTION_ERROR);
            // A read that waited out the time-out received nothing for a whole window.
            bool timedOut = error == ERROR_WINHTTP_TIMEOUT || error == WSAETIMEDOUT;
            return HttpResult{0, error, false, timedOut && watch.windowMs != 0};
        }
        if (budget) returnBytes(*budget, granted - got);
        // A connection that closes before the promised length ends the read with 0 bytes and no
        // error under Wine; Windows fails the read with a connection error, which is what this
        // broken transfer reports on both.
        if (got == 0) {
            if (hasLength && total != declared) return HttpResult{0, ERROR_WINHTTP_CONNECTION_ERROR};
            return deliver() ? HttpResult{status} : HttpResult{status, 0, true};
        }
        const ULONGLONG now = GetTickCount64();
        if (filled == 0) gatherStart = now;
        total += got;
        filled += got;
        // The body asked for (or, for a whole object, the declared one) goes out as soon as it is
        // complete, so whatever a server sends past it is a block of its own for the sink to judge.
        const uint64_t promised = asked ? asked : (hasLength ? declared : 0);
        const bool promisedIn = promised != 0 && total >= promised;
        if ((filled == kReadBlock || promisedIn || now - gatherStart >= kGatherMs) && !deliver())
            return HttpResult{status, 0, true};
        if (watch.stalledAfter(got)) return HttpResult{0, ERROR_WINHTTP_TIMEOUT, false, true};
    }
}

std::wstring headerText(HINTERNET request, DWORD query, const wchar_t* name = WINHTTP_HEADER_NAME_BY_INDEX) {
    wchar_t text[512] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (!WinHttpQueryHeaders(request, query, name, text, &size, WINHTTP_NO_HEADER_INDEX)) return {};
    return std::wstring(text, size / sizeof(wchar_t));
}

void readHeaders(HINTERNET request, ResponseHeaders& headers) {
    headers.cacheControl = headerText(request, WINHTTP_QUERY_CACHE_CONTROL);
    headers.expires = headerText(request, WINHTTP_QUERY_EXPIRES);
    headers.date = headerText(request, WINHTTP_QUERY_DATE);
    headers.age = headerText(request, WINHTTP_QUERY_AGE);
    headers.pragma = headerText(request, WINHTTP_QUERY_PRAGMA);
    headers.acceptRanges = headerText(request, WINHTTP_QUERY_ACCEPT_RANGES);
    headers.contentRange = headerText(request, WINHTTP_QUERY_CONTENT_RANGE);
    headers.xCache = headerText(request, WINHTTP_QUERY_CUSTOM, L"X-Cache");
    headers.contentLength = headerText(request, WINHTTP_QUERY_CONTENT_LENGTH);
}

HINTERNET connectToServer(const HttpSession& session, DWORD& error) {
    if (!session.handle) {
        error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    HINTERNET connection =
        WinHttpConnect(session.handle.get(), session.server.host.c_str(), session.server.port, 0);
    if (!connection) error = lastErrorOr(ERROR_WINHTTP_CANNOT_CONNECT);
    return connection;
}

}  // namespace

DWORD openSession(HttpSession& session, const ServerAddress& server, const SessionTimeouts& timeouts) {
    const wchar_t* agent = L"QorvaneLauncher/1.0";
    UniqueInternet s(WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0));
    // Systems before Windows 8.1 (and Wine) do not know the automatic proxy type.
    if (!s)
        s.reset(WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0));
    if (!s) return lastErrorOr(ERROR_WINHTTP_INTERNAL_ERROR);
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(s.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;  // TLS 1.3 unknown to this system
        WinHttpSetOption(s.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    }
    const int receiveMs = receiveLimitMs(timeouts);
    WinHttpSetTimeouts(s.get(), timeouts.resolveMs, timeouts.connectMs, timeouts.sendMs, receiveMs);
    // The wait for the response's headers has a limit of its own (90 s by default): a server that
    // accepts the request and then says nothing has stalled as surely as one that stops mid-body.
    DWORD headersMs = static_cast<DWORD>(receiveMs);
    WinHttpSetOption(s.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersMs, sizeof headersMs);
    DWORD connections = 16;
    WinHttpSetOption(s.get(), WINHTTP_OPTION_MAX_CONNS_PER_SERVER, &connections, sizeof connections);
    WinHttpSetOption(s.get(), WINHTTP_OPTION_MAX_CONNS_PER_1_0_SERVER, &connections, sizeof connections);
    DWORD http2 = 0;  // HTTP/1.1 only: one range per connection, which is what the downloader plans for
    WinHttpSetOption(s.get(), WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL, &http2, sizeof http2);
    session.handle = std::move(s);
    session.server = server;
    session.timeouts = timeouts;
    return 0;
}

void closeSession(HttpSession& session) {
    session.handle.reset();
}

UniqueInternet openConnection(const HttpSession& session) {
    DWORD ignored = 0;
    return UniqueInternet(connectToServer(session, ignored));
}

HttpResult httpGet(const HttpSession& session, HINTERNET connection, const std::wstring& relativePath,
                   HttpSink sink, void* sinkContext, uint64_t rangeStart, uint64_t rangeLength,
                   RateBudget* budget, ResponseHeaders* headers) {
    UniqueInternet ownConnection;
    DWORD error = 0;
    if (!connection) {
        ownConnection.reset(connectToServer(session, error));
        if (!ownConnection) return HttpResult{0, error};
        connection = ownConnection.get();
    }
    std::wstring object = session.server.basePath + relativePath;
    UniqueInternet request(WinHttpOpenRequest(connection, L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              session.server.useHttps ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return HttpResult{0, lastErrorOr(ERROR_WINHTTP_INTERNAL_ERROR)};

    wchar_t header[96] = {};
    if (rangeLength != 0) {
        char narrow[96];
        snprintf(narrow, sizeof narrow, "Range: bytes=%llu-%llu", static_cast<unsigned long long>(rangeStart),
                 static_cast<unsigned long long>(rangeStart + rangeLength - 1));
        for (size_t i = 0; narrow[i] && i + 1 < 96; ++i)
            header[i] = static_cast<wchar_t>(narrow[i]);
    }
    if (!WinHttpSendRequest(request.get(), rangeLength ? header : WINHTTP_NO_ADDITIONAL_HEADERS,
                            rangeLength ? static_cast<DWORD>(-1) : 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return HttpResult{0, lastErrorOr(ERROR_WINHTTP_CONNECTION_ERROR)};

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return HttpResult{0, lastErrorOr(ERROR_WINHTTP_INVALID_SERVER_RESPONSE)};
    if (headers) readHeaders(request.get(), *headers);
    int expected = rangeLength ? 206 : 200;
    // The caller must never mistake a whole file or an error page for the bytes it asked for.
    if (static_cast<int>(status) != expected) return HttpResult{static_cast<int>(status)};
    return readBody(request.get(), expected, rangeLength, sink, sinkContext, budget, session.timeouts);
}

bool collectBody(void* context, const uint8_t* data, size_t length, uint64_t total) {
    auto* collector = static_cast<BodyCollector*>(context);
    if (collector->stop && collector->stop->requested()) return false;
    if (collector->target->size() + length > collector->limit) return false;
    collector->target->append(reinterpret_cast<const char*>(data), length);
    return true;
}

bool parseServerUrl(const std::wstring& url, ServerAddress& server) {
    wchar_t host[255] = {};
    wchar_t path[511] = {};
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 255;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 511;
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;
    server.host.assign(host, parts.dwHostNameLength);
    server.port = parts.nPort;
    server.useHttps = parts.nScheme == INTERNET_SCHEME_HTTPS;
    server.basePath.assign(path, parts.dwUrlPathLength);
    if (server.basePath.empty() || server.basePath.back() != L'/') server.basePath += L'/';
    return true;
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
