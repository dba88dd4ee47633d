// The two news files (Turkish and English), fetched once per run and never failing it.
#pragma once

#include "protocol/news_format.h"
#include "update/updater.h"

void fetchNews(Updater& u);
