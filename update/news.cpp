#include "update/news.h"

#include "base/names.h"
#include "update/http_client.h"
#include "update/manifest_fetch.h"
#include "update/updater.h"

void fetchNews(Updater& u) {
    for (int index = 0; index < 2; ++index) {
        if (u.stopRequested) return;
        std::string body;
        // One byte past the limit is enough to know the body is too long; the rest is never fetched.
        BodyCollector collector{&body, &u, kMaxNewsBytes + 1};
        // A failed fetch keeps the previous run's items: stale news beats an empty panel.
        HttpResult got = httpGet(u, nullptr, kNewsFileNames[index] + makeCacheBuster(), collectBody, &collector, 0, 0);
        if (got.delivered(200)) {
            publishNews(u, index, parseNews(body));
        } else if (got.sinkRefused && !u.stopRequested) {
            publishNews(u, index, {});  // an oversized file is no news, not a failed fetch
        }
    }
}
