#include "protocol/news_format.h"

#include <windows.h>

#include <algorithm>

#include "base/text.h"

namespace {

constexpr size_t kMaxItems = 3;

bool isHidden(wchar_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f)          // C0, DEL, C1
           || c == 0x200e || c == 0x200f || c == 0x061c  // direction marks, which move the text around them
           || c == 0x2028 || c == 0x2029                 // line and paragraph separators: a title is one line
           || (c >= 0x202a && c <= 0x202e)               // embeddings and overrides
           || (c >= 0x2066 && c <= 0x2069);              // isolates
}

std::wstring screenText(std::string_view bytes, size_t maxLength) {
    std::wstring text = fromUtf8(bytes);
    text.erase(std::remove_if(text.begin(), text.end(), isHidden), text.end());
    if (text.size() > maxLength) {
        size_t cut = maxLength;
        if (cut > 0 && IS_HIGH_SURROGATE(text[cut - 1])) --cut;  // never half a character
        text.resize(cut);
    }
    return text;
}

}  // namespace

std::vector<NewsItem> parseNews(std::string_view bytes) {
    std::vector<NewsItem> items;
    if (bytes.size() > kMaxNewsBytes) return items;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    forEachLine(bytes, [&](std::string_view line) {
        size_t bar = line.find('|');
        if (line.empty() || line[0] == '#' || bar == std::string_view::npos) return true;
        items.push_back({screenText(line.substr(0, bar), kMaxNewsDateLength),
                         screenText(line.substr(bar + 1), kMaxNewsTitleLength)});
        return items.size() < kMaxItems;
    });
    return items;
}
