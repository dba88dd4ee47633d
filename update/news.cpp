#include "update/news.h"

#include "update/http_client.h"
#include "update/manifest_fetch.h"
#include "base/text.h"

namespace {

constexpr size_t kMaxItems = 3;
const wchar_t* const kNewsFiles[2] = {L"haberler_tr.txt", L"haberler_en.txt"};

}  // namespace

std::vector<NewsItem> parseNews(std::string_view bytes) {
    std::vector<NewsItem> items;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    size_t position = 0;
    while (position < bytes.size() && items.size() < kMaxItems) {
        size_t end = bytes.find('\n', position);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(position, end - position);
        position = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;
        size_t bar = line.find('|');
        if (bar == std::string_view::npos) continue;
        items.push_back({fromUtf8(line.substr(0, bar)), fromUtf8(line.substr(bar + 1))});
    }
    return items;
}

void fetchNews(Updater& u) {
    for (int index = 0; index < 2; ++index) {
        if (u.stopRequested) return;
        std::string body;
        BodyCollector collector{&body, &u};
        // A failed fetch keeps the previous run's items: stale news beats an empty panel.
        if (httpGet(u, nullptr, kNewsFiles[index] + makeCacheBuster(), collectBody, &collector, 0, 0) != 200)
            continue;
        std::vector<NewsItem> items = parseNews(body);
        std::lock_guard<std::mutex> lock(u.statusMutex);
        u.status.news[index] = std::move(items);
    }
}
