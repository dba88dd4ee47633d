// The news files the publisher writes and the launcher shows: one "date|title" line per item, read
// with the bounds that keep unsigned text from the server harmless on the screen.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct NewsItem {
    std::wstring date;
    std::wstring title;
};

// News come unsigned from the download server, so what reaches the screen is bounded: a body over
// kMaxNewsBytes counts as no news, dates and titles are cut to a few screen widths, and control,
// direction-mark, bidi override and isolate characters (which could reorder or hide the text around
// them) and line and paragraph separators are dropped.
constexpr size_t kMaxNewsBytes = 65536;
constexpr size_t kMaxNewsDateLength = 16;
constexpr size_t kMaxNewsTitleLength = 200;

// At most three items; "#" lines, lines without "|" and a UTF-8 byte-order mark are skipped.
std::vector<NewsItem> parseNews(std::string_view bytes);
