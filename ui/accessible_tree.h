// What a screen reader is told the window holds: one element per control of the last painted
// frame (its name from the text table in the current language, its kind, whether it can be used,
// where it is), the headline and detail as text and the progress bar with its value, in reading
// order. Plain data, rebuilt on every question; the UI Automation provider serves it.
#pragma once

#include <string>
#include <vector>

#include "ui/click_id.h"
#include "ui/drawing_resources.h"
#include "ui/launcher_ui.h"

enum class ElementKind { Button, CheckBox, Text, ProgressBar };

// Elements that are no control have keys above every click id.
inline constexpr int kHeadlineKey = 100;
inline constexpr int kDetailKey = 101;
inline constexpr int kProgressKey = 102;

struct AccessibleElement {
    int key = 0;  // the click id for controls
    ElementKind kind = ElementKind::Button;
    std::wstring name;
    RectF box;  // design units
    bool enabled = true;
    bool focusable = false;
    bool checked = false;  // check boxes
    double value = 0;      // the progress bar, 0 to 100
};

std::vector<AccessibleElement> accessibleElements(LauncherUi& ui);
// The element of that key now; false when the window does not show it.
bool findElement(LauncherUi& ui, int key, AccessibleElement* out);
// The name a screen reader gives a control: the text it shows, or a text-table name for one that
// shows a glyph.
std::wstring controlName(const LauncherUi& ui, ClickId id);
