// The window's UI Automation provider: a fragment root for the window, with one fragment per
// element of the accessible tree (names, control types, enabled state, bounding rectangles, the
// progress value), Invoke and Toggle running the same action as a click; answering WM_GETOBJECT,
// and raising focus-changed and property-changed events.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/launcher_ui.h"

struct IRawElementProviderSimple;

// Posted by an element's Invoke or Toggle (wParam: its click id): a UI Automation client must not
// wait for the action, which may open a dialog, so the window runs it as a click from its queue.
inline constexpr UINT kInvokeMessage = WM_APP + 26;

// WM_GETOBJECT: for the UI Automation root object id, the window's provider (made on first
// request); false for any other object id, which the default procedure answers.
bool answerGetObject(LauncherUi& ui, WPARAM wParam, LPARAM lParam, LRESULT* result);
// The window's provider with a reference for the caller; made on first use.
IRawElementProviderSimple* automationRoot(LauncherUi& ui);
// Focus-changed for the control that has keyboard focus, when a client listens.
void announceFocus(LauncherUi& ui);
// Property changes of the headline's name and the progress value, each at most once a second, when
// a client listens.
void announceChanges(LauncherUi& ui, uint32_t now);
// The window is going: UI Automation lets go of its provider, and every element still held by a
// client answers "not available" from now on.
void releaseAutomation(LauncherUi& ui);
