// The two news files (Turkish and English), fetched once per run and never failing it.
#pragma once

#include <string_view>
#include <vector>

#include "update/updater.h"

// News come unsigned from the download server, so what reaches the screen is bounded: a body over
// kMaxNewsBytes counts as no news, dates and titles are cut to a few screen widths, and control,
// direction-mark, bidi override and isolate characters (which could reorder or hide the text around
// them) and line and paragraph separators are dropped.
constexpr size_t kMaxNewsBytes = 65536;
constexpr size_t kMaxNewsDateLength = 16;
constexpr size_t kMaxNewsTitleLength = 200;

void fetchNews(Updater& u);
std::vector<NewsItem> parseNews(std::string_view bytes);
