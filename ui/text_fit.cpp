#include "ui/text_fit.h"

#include <algorithm>

namespace {

const wchar_t kEllipsis[] = L"\u2026";

// Draws inside it are the box's own, not a painter's unboxed text.
struct BoxedScope {
    explicit BoxedScope(DrawingResources& res) : res(res) { ++res.boxedDepth; }
    ~BoxedScope() { --res.boxedDepth; }
    DrawingResources& res;
};

void record(DrawingResources& res, std::wstring text, std::vector<std::wstring> lines,
            std::vector<RectF> extents, const RectF& box) {
    if (!res.fitLog) return;
    res.fitLog->texts.push_back(DrawnText{std::move(text), std::move(lines), std::move(extents), box});
}

float alignedX(const RectF& box, float width, Align align) {
    switch (align) {
        case Align::Centre:
            return box.x + (box.width - width) / 2;
        case Align::Right:
            return box.x + box.width - width;
        case Align::Left:
            break;
    }
    return box.x;
}

// The visible letters of emphasis text, each with the colour it is drawn in.
struct Letter {
    wchar_t c;
    bool emphasised;
};

std::vector<Letter> letters(const std::wstring& text) {
    std::vector<Letter> out;
    bool emphasised = false;
    for (wchar_t c : text) {
        if (c == L'*')
            emphasised = !emphasised;
        else
            out.push_back({c, emphasised});
    }
    return out;
}

std::wstring plain(const std::vector<Letter>& all, size_t start, size_t end) {
    std::wstring out;
    for (size_t i = start; i < end; ++i)
        out += all[i].c;
    return out;
}

// Letters start to end as emphasis text that starts and switches colour where they do.
std::wstring marked(const std::vector<Letter>& all, size_t start, size_t end) {
    std::wstring out;
    bool emphasised = false;
    for (size_t i = start; i < end; ++i) {
        if (all[i].emphasised != emphasised) {
            out += L'*';
            emphasised = all[i].emphasised;
        }
        out += all[i].c;
    }
    return out;
}

// The longest n for which measure(n) fits, by binary search; 0 when nothing does.
template <typename Fits>
size_t longestFitting(size_t length, Fits fits) {
    size_t lo = 0, hi = length;
    while (lo < hi) {
        size_t mid = (lo + hi + 1) / 2;
        if (fits(mid))
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

float spacedExtent(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                   float spacing) {
    if (text.empty()) return 0;
    return drawSpacedText(res, graphics, text, font, 0, 0, 0, spacing, true) - spacing;
}

}  // namespace

RectF lineBox(DrawingResources& res, GpFont* font, float x, float y, float width) {
    return RectF{x, y, width, lineHeight(res, font)};
}

std::wstring withoutEmphasisMarks(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text)
        if (c != L'*') out += c;
    return out;
}

std::wstring fitEmphasisWithEllipsis(DrawingResources& res, GpGraphics* graphics, const std::wstring& text,
                                     GpFont* font, float maxWidth) {
    const std::vector<Letter> all = letters(text);
    const std::wstring visible = plain(all, 0, all.size());
    if (measureText(res, graphics, visible, font) <= maxWidth) return text;
    size_t n = longestFitting(all.size(), [&](size_t count) {
        return measureText(res, graphics, visible.substr(0, count) + kEllipsis, font) <= maxWidth;
    });
    return marked(all, 0, n) + kEllipsis;
}

std::vector<std::wstring> wrapEmphasis(DrawingResources& res, GpGraphics* graphics, const std::wstring& text,
                                       GpFont* font, float maxWidth, int maxLines) {
    const std::vector<Letter> all = letters(text);
    const size_t n = all.size();
    if (measureText(res, graphics, plain(all, 0, n), font) <= maxWidth) return {text};
    auto fits = [&](size_t start, size_t end) {
        return measureText(res, graphics, plain(all, start, end), font) <= maxWidth;
    };

    std::vector<std::wstring> lines;
    size_t start = 0;
    while (true) {
        while (start < n && all[start].c == L' ')
            ++start;
        if (start >= n) break;
        if (static_cast<int>(lines.size()) + 1 >= std::max(maxLines, 1)) {
            lines.push_back(fitEmphasisWithEllipsis(res, graphics, marked(all, start, n), font, maxWidth));
            break;
        }
        // The longest run of whole words from start that fits; a line never ends in a blank.
        size_t best = start;
        for (size_t end = start + 1; end <= n; ++end) {
            if (end < n && all[end].c != L' ') continue;
            if (all[end - 1].c == L' ') continue;
            if (!fits(start, end)) break;
            best = end;
        }
        if (best == start) {
            // One word wider than the line: its beginning, with an ellipsis.
            size_t wordEnd = start;
            while (wordEnd < n && all[wordEnd].c != L' ')
                ++wordEnd;
            lines.push_back(
                fitEmphasisWithEllipsis(res, graphics, marked(all, start, wordEnd), font, maxWidth));
            start = wordEnd;
            continue;
        }
        lines.push_back(marked(all, start, best));
        start = best;
    }
    return lines;
}

float drawLineIn(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                 ARGB colour, const RectF& box, float y, Align align) {
    if (text.empty() || !font) return 0;
    BoxedScope scope(res);
    std::wstring shown = fitWithEllipsis(res, graphics, text, font, box.width);
    float width = measureText(res, graphics, shown, font);
    float x = alignedX(box, width, align);
    drawText(res, graphics, shown, font, colour, x, y);
    record(res, text, {shown}, {RectF{x, y, width, lineHeight(res, font)}}, box);
    return width;
}

float drawEmphasisLineIn(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                         ARGB normalColour, ARGB emphasisColour, const RectF& box, float y, Align align) {
    if (text.empty() || !font) return 0;
    BoxedScope scope(res);
    std::wstring shown = fitEmphasisWithEllipsis(res, graphics, text, font, box.width);
    float width = drawEmphasisText(res, graphics, shown, font, 0, 0, 0, 0, true);
    float x = alignedX(box, width, align);
    drawEmphasisText(res, graphics, shown, font, normalColour, emphasisColour, x, y, false);
    record(res, withoutEmphasisMarks(text), {withoutEmphasisMarks(shown)},
           {RectF{x, y, width, lineHeight(res, font)}}, box);
    return width;
}

float drawSpacedLineIn(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                       ARGB colour, const RectF& box, float y, float spacing, Align align) {
    if (text.empty() || !font) return 0;
    BoxedScope scope(res);
    std::wstring shown = text;
    if (spacedExtent(res, graphics, text, font, spacing) > box.width) {
        size_t n = longestFitting(text.size(), [&](size_t count) {
            return spacedExtent(res, graphics, text.substr(0, count) + kEllipsis, font, spacing) <= box.width;
        });
        shown = text.substr(0, n) + kEllipsis;
    }
    float extent = spacedExtent(res, graphics, shown, font, spacing);
    float x = alignedX(box, extent, align);
    float advance = drawSpacedText(res, graphics, shown, font, colour, x, y, spacing, false);
    record(res, text, {shown}, {RectF{x, y, extent, lineHeight(res, font)}}, box);
    return advance;
}

int drawEmphasisWrappedIn(DrawingResources& res, GpGraphics* graphics, const std::wstring& text, GpFont* font,
                          ARGB normalColour, ARGB emphasisColour, const RectF& box, float y, float lineStep) {
    if (text.empty() || !font) return 0;
    BoxedScope scope(res);
    const float height = lineHeight(res, font);
    int maxLines = 1;
    if (lineStep > 0) maxLines += std::max(0, static_cast<int>((box.y + box.height - y - height) / lineStep));
    std::vector<std::wstring> lines = wrapEmphasis(res, graphics, text, font, box.width, maxLines);
    std::vector<std::wstring> shown;
    std::vector<RectF> extents;
    for (size_t i = 0; i < lines.size(); ++i) {
        float lineY = y + lineStep * static_cast<float>(i);
        float width = drawEmphasisText(res, graphics, lines[i], font, normalColour, emphasisColour, box.x,
                                       lineY, false);
        shown.push_back(withoutEmphasisMarks(lines[i]));
        extents.push_back(RectF{box.x, lineY, width, height});
    }
    record(res, withoutEmphasisMarks(text), std::move(shown), std::move(extents), box);
    return static_cast<int>(lines.size());
}
