// The one routine through which a program talks to a download server: a WinHTTP session with the
// launcher's proxy, TLS, time-out and connection options, and a synchronous GET below the server's
// base path, whole or as a byte range, streamed to a sink in blocks of at most 256 KiB.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>

#include "base/handles.h"
#include "base/stop_signal.h"

// Where the published tree is served.
struct ServerAddress {
    std::wstring host;
    std::wstring basePath = L"/qorvane/pc/";  // every object's path starts here, ending in "/"
    uint16_t port = 443;
    bool useHttps = true;
};

// WinHTTP time-outs of a session in milliseconds. The launcher always uses these values; tests
// shorten them so that a stalled server surfaces in seconds rather than a minute.
struct SessionTimeouts {
    int resolveMs = 15000;
    int connectMs = 15000;
    int sendMs = 30000;
    int receiveMs = 60000;
};

// An open WinHTTP session and the server its requests go to; shared by every thread of a run.
struct HttpSession {
    UniqueInternet handle;
    ServerAddress server;
};

// (context, block, block length, bytes received so far in this request) -> false aborts the body.
using HttpSink = bool (*)(void* context, const uint8_t* data, size_t length, uint64_t total);

// How one request ended.
struct [[nodiscard]] HttpResult {
    int status = 0;            // the response's status; 0 when none arrived or the body broke off
    DWORD systemError = 0;     // the failed WinHTTP call's error; 0 when no call failed
    bool sinkRefused = false;  // the sink refused a block, so the body was cut off there

    // The expected status arrived and the sink took the whole body.
    bool delivered(int expected) const { return status == expected && !sinkRefused; }
};

// Opens session.handle for `server`; 0, or WinHttpOpen's error when no session could be opened.
[[nodiscard]] DWORD openSession(HttpSession& session, const ServerAddress& server,
                                const SessionTimeouts& timeouts);
void closeSession(HttpSession& session);

// A connection to the session's server; empty on failure.
[[nodiscard]] UniqueInternet openConnection(const HttpSession& session);

// rangeLength 0 requests the whole object (no Range header, 200 expected); otherwise 206 is
// expected. Only the expected status has its body read: any other one (a 200 to a range request
// included) comes back before a byte of the body reaches the sink. Without a connection the
// request opens its own.
[[nodiscard]] HttpResult httpGet(const HttpSession& session, HINTERNET connection,
                                 const std::wstring& relativePath, HttpSink sink, void* sinkContext,
                                 uint64_t rangeStart, uint64_t rangeLength);

// Sink for small documents: appends to *target; refuses bodies longer than limit (by default
// those of 32 MiB or more) and, when given a stop signal, stop requests.
struct BodyCollector {
    std::string* target;
    const StopSignal* stop = nullptr;
    size_t limit = 33554431;
};
bool collectBody(void* context, const uint8_t* data, size_t length, uint64_t total);

// Splits a server URL into host, port, scheme and base path (ending in "/"); false, with `server`
// as it was, for a URL that does not parse.
[[nodiscard]] bool parseServerUrl(const std::wstring& url, ServerAddress& server);
// "?r=" and 16 random hexadecimal digits: a query that no cache on the way has seen before.
[[nodiscard]] std::wstring makeCacheBuster();
