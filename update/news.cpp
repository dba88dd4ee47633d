#include "update/news.h"

#include "base/names.h"
#include "net/http_client.h"
#include "update/live_status.h"

void fetchNews(const HttpSession& session, const StopSignal& stop, LiveStatus& status) {
    for (int index = 0; index < 2; ++index) {
        if (stop.requested()) return;
        std::string body;
        // One byte past the limit is enough to know the body is too long; the rest is never fetched.
        BodyCollector collector{&body, &stop, kMaxNewsBytes + 1};
        // A failed fetch keeps the previous run's items: stale news beats an empty panel.
        HttpResult got = httpGet(session, nullptr, kNewsFileNames[index] + makeCacheBuster(), collectBody,
                                 &collector, 0, 0);
        if (got.delivered(200)) {
            publishNews(status, index, parseNews(body));
        } else if (got.sinkRefused && !stop.requested()) {
            publishNews(status, index, {});  // an oversized file is no news, not a failed fetch
        }
    }
}
