// The two news files (Turkish and English), fetched once per run and never failing it.
#pragma once

#include "base/stop_signal.h"
#include "protocol/news_format.h"

struct HttpSession;
class LiveStatus;

// Publishes each language's items; a failed fetch keeps that language's previous items.
void fetchNews(const HttpSession& session, const StopSignal& stop, LiveStatus& status);
