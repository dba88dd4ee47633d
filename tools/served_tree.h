// Checking a published tree where players get it: over HTTP(S) from the origin or a CDN, with the
// launcher's own requests (the list, its signature and the news behind a fresh cache-busting query,
// objects by their address), and the caching and byte-range answers that decide what players get.
#pragma once

#include <string>

#include "net/http_client.h"
#include "protocol/key_set.h"
#include "tools/tree_verify.h"

struct ServedCheckOptions {
    std::wstring url;       // the base URL the launcher uses, e.g. "https://host/qorvane/pc/"
    KeySet keys;            // the keys the list's signature must match
    bool fullHash = false;  // download and hash every object instead of asking for its last byte
    SessionTimeouts timeouts;
};

// Problems, notes and warnings as the local check gives them; an unusable URL or a server that
// cannot be reached is one problem.
VerifyReport verifyServedTree(const ServedCheckOptions& options, VerifyProgressFn progress = nullptr,
                              void* context = nullptr);

// What the response headers of a document that changes in place (list, signature, news), fetched
// with a query no cache has seen, say about caches on the way: a problem when a cache answered it
// anyway (it ignores the query, so players can get an old list), a warning when the headers let a
// cache keep it. Both empty when the server forbids caching as docs/server.md sets it up.
struct CacheFinding {
    std::wstring problem;
    std::wstring warning;
};
CacheFinding changingDocumentCaching(const std::wstring& name, const ResponseHeaders& headers);
