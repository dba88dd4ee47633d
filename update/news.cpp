#include "update/news.h"

#include "update/http_client.h"
#include "update/manifest_fetch.h"
#include "base/text.h"
#include "update/updater.h"

namespace {

constexpr size_t kMaxItems = 3;
const wchar_t* const kNewsFiles[2] = {L"haberler_tr.txt", L"haberler_en.txt"};

}  // namespace

std::vector<NewsItem> parseNews(std::string_view bytes) {
    std::vector<NewsItem> items;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    forEachLine(bytes, [&](std::string_view line) {
        size_t bar = line.find('|');
        if (line.empty() || line[0] == '#' || bar == std::string_view::npos) return true;
        items.push_back({fromUtf8(line.substr(0, bar)), fromUtf8(line.substr(bar + 1))});
        return items.size() < kMaxItems;
    });
    return items;
}

void fetchNews(Updater& u) {
    for (int index = 0; index < 2; ++index) {
        if (u.stopRequested) return;
        std::string body;
        BodyCollector collector{&body, &u};
        // A failed fetch keeps the previous run's items: stale news beats an empty panel.
        HttpResult got = httpGet(u, nullptr, kNewsFiles[index] + makeCacheBuster(), collectBody, &collector, 0, 0);
        if (got.delivered(200)) publishNews(u, index, parseNews(body));
    }
}
