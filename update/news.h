// The two news files (Turkish and English), fetched once per run and never failing it.
#pragma once

#include <string_view>
#include <vector>

#include "update/updater.h"

void fetchNews(Updater& u);
std::vector<NewsItem> parseNews(std::string_view bytes);
