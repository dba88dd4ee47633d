// The one routine through which the engine talks to the download server: a synchronous GET below
// basePath, whole or as a byte range, streamed to a sink in blocks of at most 256 KiB.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>

struct Updater;

// (context, block, block length, bytes received so far in this request) -> false aborts the body.
using HttpSink = bool (*)(void* context, const uint8_t* data, size_t length, uint64_t total);

// 200/206 body fully delivered; another status: body not read; 0 transport failure; -1 sink refused.
// rangeLength 0 requests the whole object (no Range header, 200 expected); otherwise 206 is expected.
int httpGet(Updater& u, HINTERNET connection, const std::wstring& relativePath, HttpSink sink, void* sinkContext,
        uint64_t rangeStart, uint64_t rangeLength);

// The run's WinHTTP session with its proxy, TLS, time-out and connection options in u.session; false
// when no session could be opened. The worker opens it around each run; tests open it to call get().
bool openSession(Updater& u);
void closeSession(Updater& u);

// A connection to the configured host and port on the run's session; null on failure.
HINTERNET openConnection(Updater& u);

// Sink for small documents: appends to *target; refuses bodies of 32 MiB or more and stop requests.
struct BodyCollector {
    std::string* target;
    Updater* updater;
};
bool collectBody(void* context, const uint8_t* data, size_t length, uint64_t total);
