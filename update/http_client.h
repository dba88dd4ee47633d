// The one routine through which the engine talks to the download server: a synchronous GET below
// basePath, whole or as a byte range, streamed to a sink in blocks of at most 256 KiB.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>

#include "base/handles.h"
#include "update/step_result.h"

struct Updater;

// (context, block, block length, bytes received so far in this request) -> false aborts the body.
using HttpSink = bool (*)(void* context, const uint8_t* data, size_t length, uint64_t total);

// How one request ended.
struct HttpResult {
    int status = 0;            // the response's status; 0 when none arrived or the body broke off
    DWORD systemError = 0;     // the failed WinHTTP call's error; 0 when no call failed
    bool sinkRefused = false;  // the sink refused a block, so the body was cut off there

    // The expected status arrived and the sink took the whole body.
    bool delivered(int expected) const { return status == expected && !sinkRefused; }
};

// rangeLength 0 requests the whole object (no Range header, 200 expected); otherwise 206 is
// expected. Only the expected status has its body read: any other one (a 200 to a range request
// included) comes back before a byte of the body reaches the sink.
HttpResult httpGet(Updater& u, HINTERNET connection, const std::wstring& relativePath, HttpSink sink,
                   void* sinkContext, uint64_t rangeStart, uint64_t rangeLength);

// The run's WinHTTP session with its proxy, TLS, time-out and connection options in u.session;
// Unavailable with WinHttpOpen's error when none could be opened. The worker opens it around each
// run; tests open it to call httpGet.
StepResult openSession(Updater& u);
void closeSession(Updater& u);

// A connection to the configured host and port on the run's session; empty on failure.
UniqueInternet openConnection(Updater& u);

// Sink for small documents: appends to *target; refuses bodies longer than limit (by default
// those of 32 MiB or more) and stop requests.
struct BodyCollector {
    std::string* target;
    Updater* updater;
    size_t limit = 33554431;
};
bool collectBody(void* context, const uint8_t* data, size_t length, uint64_t total);
