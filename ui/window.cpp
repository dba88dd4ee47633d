#include "ui/window.h"

#include <windowsx.h>
#include <dwmapi.h>

#include <cmath>

#include "base/names.h"
#include "install/install_location.h"
#include "ui/actions.h"
#include "ui/dpi.h"
#include "ui/frame.h"
#include "ui/hit_regions.h"
#include "ui/keyboard.h"
#include "ui/text_table.h"
#include "ui/uia_provider.h"

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerPeriodMs = 33;
constexpr uint32_t kCloseWaitMs = 1500;
// Window corner preference and border colour; older systems refuse both.
constexpr DWORD kDwmCornerPreference = 33;
constexpr DWORD kDwmBorderColour = 34;
constexpr DWORD kCornerRound = 2;
constexpr COLORREF kNoBorderColour = 0xFFFFFFFE;
// Without animations a frame that shows nothing new is still painted this often.
constexpr uint32_t kStillRepaintMs = 1000;

bool hiddenModeRequested() {
    // Mere presence counts, an empty value included.
    wchar_t value[2];
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableW(L"QORVANE_GIZLI", value, 2);
    return length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

LRESULT CALLBACK staticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* ui = reinterpret_cast<LauncherUi*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        ui = static_cast<LauncherUi*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ui->window.handle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(ui));
    }
    return ui ? windowProc(*ui, message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

bool registerWindowClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = staticWindowProc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    wc.hIconSm =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClassName;
    return RegisterClassExW(&wc) != 0;
}

// Client size of the window for the current scale, and its top-left when centred in the work area.
struct Placement {
    int x, y, width, height;
};

Placement centredPlacement(const RECT& work, float scale) {
    Placement p;
    p.width = scaledLength(960, scale);
    p.height = scaledLength(560, scale);
    p.x = (work.right - work.left - p.width) / 2 + work.left;
    p.y = (work.bottom - work.top - p.height) / 2 + work.top;
    return p;
}

void showWindow(const WindowState& window, bool hidden) {
    if (hidden) {
        SetWindowPos(window.handle, HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        return;
    }
    int command = window.showCommand;
    // The window has one fixed size, so "maximised" and "default" mean a normal show; a
    // launcher started hidden would be unreachable.
    if (command == SW_HIDE || command == SW_SHOWMAXIMIZED || command == SW_SHOWDEFAULT)
        command = SW_SHOWNORMAL;
    ShowWindow(window.handle, command);
    if (command == SW_SHOWNORMAL || command == SW_SHOW) SetForegroundWindow(window.handle);
}

void sizeFrameToClient(LauncherUi& ui) {
    RECT client{};
    GetClientRect(ui.window.handle, &client);
    sizeFrame(ui, client.right - client.left, client.bottom - client.top);
}

ClickId hitTestClient(const WindowState& window, int x, int y, bool* clickable) {
    return hitTest(window.hitRegions, window.uiScale, x, y, clickable);
}

}  // namespace

bool createWindow(LauncherUi& ui, HINSTANCE instance, const RunOptions& options, int showCommand) {
    WindowState& w = ui.window;
    w.instance = instance;
    w.showCommand = showCommand;

    if (!loadImages(ui.drawing, instance)) return false;
    createFonts(ui.drawing);
    if (!registerWindowClass(instance)) return false;

    POINT cursor{};
    GetCursorPos(&cursor);
    HMONITOR monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(monitor, &info);
    const RECT work = info.rcWork;
    w.uiScale = static_cast<float>(monitorDpi(monitor)) / 96.0f;
    Placement place = centredPlacement(work, w.uiScale);

    w.look = systemLook();
    const bool hidden = hiddenModeRequested();
    // Hidden mode (automated runs): invisible, click-through, no taskbar button, never activated.
    const DWORD exStyle =
        hidden ? (WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT) : WS_EX_APPWINDOW;
    HWND window = CreateWindowExW(exStyle, kWindowClassName, texts()[TextId::Title],
                                  WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, place.x, place.y, place.width,
                                  place.height, nullptr, nullptr, instance, &ui);
    if (!window) return false;
    if (hidden) SetLayeredWindowAttributes(window, 0, 1, LWA_ALPHA);

    // The monitor's DPI and the window's own can differ (the system may have placed it elsewhere).
    const float windowScale = static_cast<float>(windowDpi(window)) / 96.0f;
    if (std::fabs(windowScale - w.uiScale) > 0.01f) {
        w.uiScale = windowScale;
        place = centredPlacement(work, w.uiScale);
        SetWindowPos(window, nullptr, place.x, place.y, place.width, place.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }

    sizeFrameToClient(ui);
    applyWindowShape(w);
    // Focus cues start as the last input left them: hidden after the mouse, shown after the keyboard.
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
    w.focusCues = !(SendMessageW(window, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);

    if (options.installMode) {
        ui.installForm.folder = defaultInstallFolder();
        refreshFreeSpace(ui.installForm, GetTickCount());
    }

    beginRuns(ui.runs, options);
    tickRuns(ui.runs, GetTickCount(), ui.status);  // the first frame already shows the run begun

    showWindow(w, hidden);
    UpdateWindow(window);
    SetTimer(window, kTimerId, kTimerPeriodMs, nullptr);
    // A launcher restarted by a self-update tells the old one it is up; without that word the old
    // one puts itself back.
    announceRunsBegun(ui.runs);
    return true;
}

int runMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void applyWindowShape(const WindowState& window) {
    const DWORD corner = kCornerRound;
    if (SUCCEEDED(DwmSetWindowAttribute(window.handle, kDwmCornerPreference, &corner, sizeof(corner)))) {
        const COLORREF border = kNoBorderColour;
        DwmSetWindowAttribute(window.handle, kDwmBorderColour, &border, sizeof(border));
        return;
    }
    // No corner attribute: cut the corners with a window region instead.
    applyRoundedRegion(window);
}

void applyRoundedRegion(const WindowState& window) {
    RECT client{};
    GetClientRect(window.handle, &client);
    const int diameter = scaledLength(18, window.uiScale);
    UniqueGdiObject region(CreateRoundRectRgn(0, 0, client.right + 1, client.bottom + 1, diameter, diameter));
    // The system owns the region once it is set.
    if (region && SetWindowRgn(window.handle, static_cast<HRGN>(region.get()), TRUE)) region.release();
}

namespace {

LRESULT onSize(LauncherUi& ui, WPARAM wParam, LPARAM lParam) {
    const int width = LOWORD(lParam), height = HIWORD(lParam);
    if (wParam == SIZE_MINIMIZED || !ui.drawing.images[0] || width == 0 || height == 0) return 0;
    if (width != ui.backBuffer.width || height != ui.backBuffer.height) {
        sizeFrame(ui, width, height);
        applyWindowShape(ui.window);
    }
    return 0;
}

LRESULT onPaint(LauncherUi& ui) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(ui.window.handle, &ps);
    paintFrame(ui);
    const BackBuffer& buffer = ui.backBuffer;
    if (buffer.memoryDc) BitBlt(dc, 0, 0, buffer.width, buffer.height, buffer.memoryDc.get(), 0, 0, SRCCOPY);
    EndPaint(ui.window.handle, &ps);
    return 0;
}

LRESULT onClose(LauncherUi& ui) {
    ui.window.closing = true;
    KillTimer(ui.window.handle, kTimerId);
    // Bounded: a worker stuck in a slow transfer is left behind, not waited for.
    endRuns(ui.runs, kCloseWaitMs);
    DestroyWindow(ui.window.handle);
    return 0;
}

LRESULT onSetCursor(LauncherUi& ui, WPARAM wParam, LPARAM lParam) {
    HWND window = ui.window.handle;
    if (LOWORD(lParam) != HTCLIENT) return DefWindowProcW(window, WM_SETCURSOR, wParam, lParam);
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(window, &cursor);
    bool clickable = false;
    hitTestClient(ui.window, cursor.x, cursor.y, &clickable);
    SetCursor(LoadCursorW(nullptr, clickable ? IDC_HAND : IDC_ARROW));
    return TRUE;
}

LRESULT onNcHitTest(LauncherUi& ui, LPARAM lParam) {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(ui.window.handle, &point);
    bool clickable = false;
    // Every place that is not a control (clickable or not) drags the window.
    return hitTestClient(ui.window, point.x, point.y, &clickable) != ClickId::None ? HTCLIENT : HTCAPTION;
}

void setKeyboardFocus(LauncherUi& ui, ClickId id) {
    WindowState& w = ui.window;
    if (id == w.focusId) return;
    w.focusId = id;
    InvalidateRect(w.handle, nullptr, FALSE);
    announceFocus(ui);
}

// Keyboard use shows the focus cues (Windows keeps the state; WM_UPDATEUISTATE reports it back).
void showFocusCues(LauncherUi& ui) {
    SendMessageW(ui.window.handle, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

// Focus left in a panel that has closed returns to the button that opens it; a panel opened from
// the keyboard takes focus to its first control.
void settleFocus(LauncherUi& ui) {
    const ClickId focus = ui.window.focusId;
    if (isPanelControl(focus) && !ui.settings.open) {
        setKeyboardFocus(ui, installMode(ui) ? ClickId::None : ClickId::Settings);
    } else if (ui.settings.open && focus != ClickId::None && !isPanelControl(focus)) {
        setKeyboardFocus(ui, ClickId::PanelClose);
    }
}

// Runs a control's action as its click would, then keeps focus on something shown.
void activate(LauncherUi& ui, ClickId id) {
    onClick(ui, id);
    settleFocus(ui);
}

LRESULT onKeyDown(LauncherUi& ui, WPARAM key) {
    WindowState& w = ui.window;
    const ClickId focused = focusable(w.hitRegions, w.focusId);
    switch (key) {
        case VK_TAB:
            showFocusCues(ui);
            setKeyboardFocus(ui, nextFocus(focusOrder(w.hitRegions), focused, GetKeyState(VK_SHIFT) < 0));
            return 0;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN: {
            // The settings panel's chip rows step like a stepper: the next choice is chosen at once.
            const ClickId next = steppedChip(w.hitRegions, focused, key == VK_LEFT || key == VK_UP ? -1 : 1);
            if (next == ClickId::None) return 0;
            showFocusCues(ui);
            setKeyboardFocus(ui, next);
            activate(ui, next);
            return 0;
        }
        case VK_ESCAPE:
            if (ui.settings.open) {
                ui.settings.open = false;
                settleFocus(ui);
                InvalidateRect(w.handle, nullptr, FALSE);
            } else if (installMode(ui) && !ui.installForm.installing) {
                // The install form is the whole window: leaving it closes the installer.
                PostMessageW(w.handle, WM_CLOSE, 0, 0);
            }
            return 0;
        case VK_RETURN:
        case VK_SPACE:
            if (focused != ClickId::None) {
                activate(ui, focused);
            } else if (key == VK_RETURN && !ui.settings.open && currentScreenModel(ui).primaryEnabled) {
                // No focus: Enter follows what the screen shows, the primary action while it is enabled.
                onClick(ui, ClickId::Primary);
            }
            return 0;
        default:
            return 0;
    }
}

// After the mouse is used the focus ring hides, and Enter belongs to the primary action again.
void onMouseUse(LauncherUi& ui) {
    SendMessageW(ui.window.handle, WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
    setKeyboardFocus(ui, ClickId::None);
}

// Windows sends this when the focus cues change (and not when the user keeps them always on). The
// change is read from the message itself: Wine keeps no UI state and answers every query "shown".
LRESULT onUpdateUiState(LauncherUi& ui, WPARAM wParam, LPARAM lParam) {
    LRESULT result = DefWindowProcW(ui.window.handle, WM_UPDATEUISTATE, wParam, lParam);
    bool cues = ui.window.focusCues;
    if (HIWORD(wParam) & UISF_HIDEFOCUS) {
        if (LOWORD(wParam) == UIS_SET) cues = false;
        if (LOWORD(wParam) == UIS_CLEAR) cues = true;
        if (LOWORD(wParam) == UIS_INITIALIZE)
            cues = !(SendMessageW(ui.window.handle, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
    }
    if (cues != ui.window.focusCues) {
        ui.window.focusCues = cues;
        InvalidateRect(ui.window.handle, nullptr, FALSE);
    }
    return result;
}

// High contrast and animations are asked again whenever the system announces a change.
void refreshLook(LauncherUi& ui) {
    const Look look = systemLook();
    if (lookKey(look) == lookKey(ui.window.look) && look.animations == ui.window.look.animations) return;
    ui.window.look = look;
    InvalidateRect(ui.window.handle, nullptr, FALSE);
}

// A UI Automation client's Invoke or Toggle, run from the queue as a click on a control that is
// still there and enabled.
LRESULT onInvokeRequest(LauncherUi& ui, WPARAM wParam) {
    const auto id = static_cast<ClickId>(wParam);
    for (const HitRegion& r : ui.window.hitRegions) {
        if (r.id != id) continue;
        if (r.clickable) activate(ui, id);
        break;
    }
    return 0;
}

LRESULT onMouseMove(LauncherUi& ui, LPARAM lParam) {
    WindowState& w = ui.window;
    if (!w.trackingMouse) {
        TRACKMOUSEEVENT track{};
        track.cbSize = sizeof(track);
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = w.handle;
        TrackMouseEvent(&track);
        w.trackingMouse = true;
    }
    bool clickable = false;
    w.hoverId = hitTestClient(w, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), &clickable);
    return 0;
}

LRESULT onLeftButtonDown(LauncherUi& ui, LPARAM lParam) {
    onMouseUse(ui);
    bool clickable = false;
    const ClickId id = hitTestClient(ui.window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), &clickable);
    if (id != ClickId::None && clickable) {
        ui.window.pressedId = id;
        SetCapture(ui.window.handle);  // the release arrives here even outside the window
    }
    return 0;
}

LRESULT onLeftButtonUp(LauncherUi& ui, LPARAM lParam) {
    const ClickId pressed = ui.window.pressedId;
    ui.window.pressedId = ClickId::None;
    if (GetCapture() == ui.window.handle) ReleaseCapture();
    if (pressed == ClickId::None) return 0;
    // A click is a press and a release on the same control; dragging off cancels it.
    bool clickable = false;
    const ClickId id = hitTestClient(ui.window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), &clickable);
    if (id == pressed && clickable) onClick(ui, id);
    return 0;
}

LRESULT onDpiChanged(LauncherUi& ui, WPARAM wParam, LPARAM lParam) {
    WindowState& w = ui.window;
    w.uiScale = static_cast<float>(LOWORD(wParam)) / 96.0f;
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    // The suggested size is the old one scaled; the design size rounded for the new scale is exact.
    SetWindowPos(w.handle, nullptr, suggested->left, suggested->top, scaledLength(960, w.uiScale),
                 scaledLength(560, w.uiScale), SWP_NOZORDER | SWP_NOACTIVATE);
    sizeFrameToClient(ui);
    applyWindowShape(w);
    InvalidateRect(w.handle, nullptr, FALSE);
    return 0;
}

}  // namespace

LRESULT windowProc(LauncherUi& ui, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            releaseAutomation(ui);
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            return onSize(ui, wParam, lParam);
        case WM_PAINT:
            return onPaint(ui);
        case WM_CLOSE:
            return onClose(ui);
        case WM_ERASEBKGND:
            return 1;  // the back buffer covers every pixel
        case WM_SETCURSOR:
            return onSetCursor(ui, wParam, lParam);
        case WM_NCHITTEST:
            return onNcHitTest(ui, lParam);
        case WM_NCLBUTTONDBLCLK:
            return 0;  // a double click on the draggable area must not maximise
        case WM_NCLBUTTONDOWN:
            onMouseUse(ui);  // pressing the background to drag the window is mouse use too
            return DefWindowProcW(ui.window.handle, message, wParam, lParam);
        case WM_KEYDOWN:
            return onKeyDown(ui, wParam);
        case WM_TIMER:
            onTimer(ui);
            return 0;
        case WM_MOUSEMOVE:
            return onMouseMove(ui, lParam);
        case WM_LBUTTONDOWN:
            return onLeftButtonDown(ui, lParam);
        case WM_LBUTTONUP:
            return onLeftButtonUp(ui, lParam);
        case WM_MOUSELEAVE:
            ui.window.trackingMouse = false;
            ui.window.hoverId = ClickId::None;
            return 0;
        case WM_DPICHANGED:
            return onDpiChanged(ui, wParam, lParam);
        case WM_GETOBJECT: {
            LRESULT result = 0;
            if (answerGetObject(ui, wParam, lParam, &result)) return result;
            return DefWindowProcW(ui.window.handle, message, wParam, lParam);
        }
        case WM_UPDATEUISTATE:
            return onUpdateUiState(ui, wParam, lParam);
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
        case WM_THEMECHANGED:
            refreshLook(ui);
            return DefWindowProcW(ui.window.handle, message, wParam, lParam);
        case kInvokeMessage:
            return onInvokeRequest(ui, wParam);
        default:
            return DefWindowProcW(ui.window.handle, message, wParam, lParam);
    }
}

void onTimer(LauncherUi& ui) {
    if (ui.window.closing) return;
    const uint32_t now = GetTickCount();
    if (tickRuns(ui.runs, now, ui.status) == RunEvent::Restarted) {
        // The self-updated launcher has started properly and takes over.
        PostMessageW(ui.window.handle, WM_CLOSE, 0, 0);
        return;
    }
    if (installMode(ui)) refreshFreeSpaceWhenDue(ui.installForm, now);
    expireSettingsNotice(ui.settings, now);  // a successful save's notice also closes the panel
    settleFocus(ui);
    announceChanges(ui, now);
    if (IsIconic(ui.window.handle)) return;
    WindowState& w = ui.window;
    if (!w.look.animations) {
        // Nothing moves by itself: a frame is painted when what it shows changed.
        std::wstring signature = frameSignature(ui);
        if (signature == w.paintedSignature && now - w.paintedAt < kStillRepaintMs) return;
        w.paintedSignature = std::move(signature);
        w.paintedAt = now;
    }
    InvalidateRect(w.handle, nullptr, FALSE);
}
