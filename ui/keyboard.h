// Keyboard focus over the controls of the last painted frame: the order Tab follows, moving along
// it, the chip rows of the settings panel that the arrow keys step through, and which control
// Enter or Space would activate.
#pragma once

#include <vector>

#include "ui/click_id.h"
#include "ui/hit_regions.h"

// The controls focus may rest on, in reading order (the order painting registers them): the
// enabled ones, and while the settings panel is open only the panel's own.
std::vector<ClickId> focusOrder(const HitRegions& regions);
// The control after current (before it when backwards), wrapping around; the first (last) when
// current is not in the order; None for an empty order.
ClickId nextFocus(const std::vector<ClickId>& order, ClickId current, bool backwards);
// The enabled chip step places away from current in its row (the window sizes, or the interface
// scales), skipping disabled ones; None when current is no chip or the row ends there.
ClickId steppedChip(const HitRegions& regions, ClickId current, int step);
// current when it is a control focus may rest on now, else None.
ClickId focusable(const HitRegions& regions, ClickId current);
// True for the settings panel's controls.
bool isPanelControl(ClickId id);
