#include "ui/keyboard.h"

#include <algorithm>

namespace {

bool clickableIn(const HitRegions& regions, ClickId id) {
    for (const HitRegion& r : regions)
        if (r.id == id) return r.clickable;
    return false;
}

}  // namespace

bool isPanelControl(ClickId id) {
    return static_cast<int>(id) > static_cast<int>(ClickId::PanelBackdrop) &&
           static_cast<int>(id) <= static_cast<int>(ClickId::PanelSave);
}

std::vector<ClickId> focusOrder(const HitRegions& regions) {
    // The panel's backdrop covers everything registered before it: a modal panel keeps focus.
    auto first = regions.begin();
    for (auto it = regions.begin(); it != regions.end(); ++it)
        if (it->id == ClickId::PanelBackdrop) first = it + 1;
    std::vector<ClickId> order;
    for (auto it = first; it != regions.end(); ++it) {
        if (!it->clickable || it->id == ClickId::None) continue;
        if (std::find(order.begin(), order.end(), it->id) == order.end()) order.push_back(it->id);
    }
    return order;
}

ClickId nextFocus(const std::vector<ClickId>& order, ClickId current, bool backwards) {
    if (order.empty()) return ClickId::None;
    auto at = std::find(order.begin(), order.end(), current);
    const size_t n = order.size();
    if (at == order.end()) return backwards ? order.back() : order.front();
    size_t index = static_cast<size_t>(at - order.begin());
    return order[backwards ? (index + n - 1) % n : (index + 1) % n];
}

ClickId steppedChip(const HitRegions& regions, ClickId current, int step) {
    int index = sizeChipIndex(current);
    int last = 5;
    ClickId (*chip)(int) = sizeChipId;
    if (index < 0) {
        index = scaleChipIndex(current);
        last = 3;
        chip = scaleChipId;
    }
    if (index < 0 || step == 0) return ClickId::None;
    for (int i = index + step; i >= 0 && i <= last; i += step) {
        if (clickableIn(regions, chip(i))) return chip(i);
    }
    return ClickId::None;
}

ClickId focusable(const HitRegions& regions, ClickId current) {
    if (current == ClickId::None) return ClickId::None;
    const std::vector<ClickId> order = focusOrder(regions);
    return std::find(order.begin(), order.end(), current) != order.end() ? current : ClickId::None;
}
