#include "ui/window.h"

#include <windowsx.h>
#include <dwmapi.h>

#include <cmath>

#include "base/process.h"
#include "install/game_launch.h"
#include "install/install_location.h"
#include "ui/actions.h"
#include "ui/drawing.h"
#include "ui/frame.h"
#include "ui/screen_model.h"
#include "ui/settings_panel.h"
#include "ui/text_table.h"
#include "update/updater.h"
#include "update/worker.h"

namespace {

constexpr wchar_t kWindowClass[] = L"QorvaneLauncher";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerPeriodMs = 33;
constexpr uint32_t kCloseWaitMs = 1500;
constexpr uint32_t kRetryAfterMs = 5000;
constexpr uint32_t kFreeSpaceRefreshMs = 3000;
// Window corner preference and border colour; older systems refuse both.
constexpr DWORD kDwmCornerPreference = 33;
constexpr DWORD kDwmBorderColour = 34;
constexpr DWORD kCornerRound = 2;
constexpr COLORREF kNoBorderColour = 0xFFFFFFFE;

// Resolved at run time: the launcher must also start on systems that lack the per-monitor APIs.
template <typename Fn>
Fn procAddress(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

int screenDpi() {
    HDC screen = GetDC(nullptr);
    if (!screen) return 96;
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int windowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const GetDpiForWindowFn getDpiForWindow =
        procAddress<GetDpiForWindowFn>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    if (getDpiForWindow) {
        if (UINT dpi = getDpiForWindow(window)) return static_cast<int>(dpi);
    }
    return monitorDpi(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY));
}

int scaledLength(float design, float scale) {
    return static_cast<int>(std::floor(design * scale + 0.5f));
}

bool hiddenModeRequested() {
    // Mere presence counts, an empty value included.
    wchar_t value[2];
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableW(L"QORVANE_GIZLI", value, 2);
    return length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

LRESULT CALLBACK staticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* app = reinterpret_cast<LauncherApp*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        app = static_cast<LauncherApp*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        app->window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(app));
    }
    return app ? windowProc(*app, message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
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
    wc.lpszClassName = kWindowClass;
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

void showWindow(LauncherApp& app, bool hidden) {
    if (hidden) {
        SetWindowPos(app.window, HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        return;
    }
    int command = app.showCommand;
    // The window has one fixed size, so "maximised" and "default" mean a normal show; a
    // launcher started hidden would be unreachable.
    if (command == SW_HIDE || command == SW_SHOWMAXIMIZED || command == SW_SHOWDEFAULT)
        command = SW_SHOWNORMAL;
    ShowWindow(app.window, command);
    if (command == SW_SHOWNORMAL || command == SW_SHOW) SetForegroundWindow(app.window);
}

void recreateBackBufferForClient(LauncherApp& app) {
    RECT client{};
    GetClientRect(app.window, &client);
    createBackBuffer(app, client.right - client.left, client.bottom - client.top);
}

void refreshFreeSpace(LauncherApp& app, uint32_t now) {
    app.freeBytes = freeSpaceAt(app.installFolder);
    app.freeBytesCheckedAt = now;
}

}  // namespace

int monitorDpi(HMONITOR monitor) {
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const GetDpiForMonitorFn getDpiForMonitor =
        procAddress<GetDpiForMonitorFn>(LoadLibraryW(L"shcore.dll"), "GetDpiForMonitor");
    if (getDpiForMonitor) {
        UINT dpiX = 0, dpiY = 0;
        const int effectiveDpi = 0;
        if (SUCCEEDED(getDpiForMonitor(monitor, effectiveDpi, &dpiX, &dpiY)) && dpiX != 0) {
            return static_cast<int>(dpiX);
        }
    }
    return screenDpi();
}

int systemDpi() {
    using GetDpiForSystemFn = UINT(WINAPI*)();
    static const GetDpiForSystemFn getDpiForSystem =
        procAddress<GetDpiForSystemFn>(GetModuleHandleW(L"user32.dll"), "GetDpiForSystem");
    if (getDpiForSystem) {
        if (UINT dpi = getDpiForSystem()) return static_cast<int>(dpi);
    }
    return screenDpi();
}

bool createWindow(LauncherApp& app, HINSTANCE instance, const StartupOptions& options) {
    app.instance = instance;
    app.installMode = options.installMode;
    app.afterSelfUpdate = options.afterSelfUpdate;
    app.launcherFolder = options.launcherFolder;
    app.launcherExePath = options.launcherExePath;
    app.passThroughArgs = options.passThroughArgs;
    app.showCommand = options.showCommand;

    if (!loadImages(app)) return false;
    createFonts(app);
    if (!registerWindowClass(instance)) return false;

    POINT cursor{};
    GetCursorPos(&cursor);
    HMONITOR monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(monitor, &info);
    const RECT work = info.rcWork;
    app.uiScale = static_cast<float>(monitorDpi(monitor)) / 96.0f;
    Placement place = centredPlacement(work, app.uiScale);

    const bool hidden = hiddenModeRequested();
    // Hidden mode (automated runs): invisible, click-through, no taskbar button, never activated.
    const DWORD exStyle =
        hidden ? (WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT) : WS_EX_APPWINDOW;
    HWND window =
        CreateWindowExW(exStyle, kWindowClass, texts()[Title], WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                        place.x, place.y, place.width, place.height, nullptr, nullptr, instance, &app);
    if (!window) return false;
    if (hidden) SetLayeredWindowAttributes(window, 0, 1, LWA_ALPHA);

    // The monitor's DPI and the window's own can differ (the system may have placed it elsewhere).
    const float windowScale = static_cast<float>(windowDpi(window)) / 96.0f;
    if (std::fabs(windowScale - app.uiScale) > 0.01f) {
        app.uiScale = windowScale;
        place = centredPlacement(work, app.uiScale);
        SetWindowPos(window, nullptr, place.x, place.y, place.width, place.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }

    recreateBackBufferForClient(app);
    applyWindowShape(app);

    if (app.installMode) {
        app.installFolder = defaultInstallFolder();
        refreshFreeSpace(app, GetTickCount());
    }

    configureRun(app.updater, app.launcherFolder, app.installMode ? true : app.afterSelfUpdate);
    startRun(app.updater, false, app.installMode);
    app.status = copyStatus(app.updater);

    showWindow(app, hidden);
    UpdateWindow(window);
    SetTimer(window, kTimerId, kTimerPeriodMs, nullptr);
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

int hitTest(const LauncherApp& app, int clientX, int clientY, bool* clickable) {
    // The centre of the device pixel, in design units.
    const float dx = (static_cast<float>(clientX) + 0.5f) / app.uiScale;
    const float dy = (static_cast<float>(clientY) + 0.5f) / app.uiScale;
    for (auto it = app.hitRegions.rbegin(); it != app.hitRegions.rend(); ++it) {
        if (dx >= it->x && dx < it->x + it->width && dy >= it->y && dy < it->y + it->height) {
            if (clickable) *clickable = it->clickable;
            return it->id;
        }
    }
    if (clickable) *clickable = false;
    return 0;
}

void applyWindowShape(LauncherApp& app) {
    const DWORD corner = kCornerRound;
    if (SUCCEEDED(DwmSetWindowAttribute(app.window, kDwmCornerPreference, &corner, sizeof(corner)))) {
        const COLORREF border = kNoBorderColour;
        DwmSetWindowAttribute(app.window, kDwmBorderColour, &border, sizeof(border));
        return;
    }
    // No corner attribute: cut the corners with a window region instead.
    applyRoundedRegion(app);
}

void applyRoundedRegion(LauncherApp& app) {
    RECT client{};
    GetClientRect(app.window, &client);
    const int diameter = scaledLength(18, app.uiScale);
    HRGN region = CreateRoundRectRgn(0, 0, client.right + 1, client.bottom + 1, diameter, diameter);
    if (region && !SetWindowRgn(app.window, region, TRUE))
        DeleteObject(region);  // the system owns it on success
}

namespace {

LRESULT onSize(LauncherApp& app, WPARAM wParam, LPARAM lParam) {
    const int width = LOWORD(lParam), height = HIWORD(lParam);
    if (wParam == SIZE_MINIMIZED || !app.images[0] || width == 0 || height == 0) return 0;
    if (width != app.backBuffer.width || height != app.backBuffer.height) {
        createBackBuffer(app, width, height);
        applyWindowShape(app);
    }
    return 0;
}

LRESULT onPaint(LauncherApp& app) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(app.window, &ps);
    paintFrame(app);
    if (app.backBuffer.memoryDc) {
        BitBlt(dc, 0, 0, app.backBuffer.width, app.backBuffer.height, app.backBuffer.memoryDc, 0, 0, SRCCOPY);
    }
    EndPaint(app.window, &ps);
    return 0;
}

LRESULT onClose(LauncherApp& app) {
    app.closing = true;
    KillTimer(app.window, kTimerId);
    // Bounded: a worker stuck in a slow transfer is left behind, not waited for.
    stopRun(app.updater, kCloseWaitMs);
    DestroyWindow(app.window);
    return 0;
}

LRESULT onSetCursor(LauncherApp& app, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(lParam) != HTCLIENT) return DefWindowProcW(app.window, WM_SETCURSOR, wParam, lParam);
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(app.window, &cursor);
    bool clickable = false;
    hitTest(app, cursor.x, cursor.y, &clickable);
    SetCursor(LoadCursorW(nullptr, clickable ? IDC_HAND : IDC_ARROW));
    return TRUE;
}

LRESULT onNcHitTest(LauncherApp& app, LPARAM lParam) {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(app.window, &point);
    bool clickable = false;
    // Every place that is not a control (clickable or not) drags the window.
    return hitTest(app, point.x, point.y, &clickable) != 0 ? HTCLIENT : HTCAPTION;
}

LRESULT onKeyDown(LauncherApp& app, WPARAM key) {
    if (app.settingsOpen) {
        if (key == VK_ESCAPE) {
            app.settingsOpen = false;
            InvalidateRect(app.window, nullptr, FALSE);
        }
        return 0;
    }
    // Enter follows what the screen shows: the primary action only while its button is enabled.
    if (key == VK_RETURN && buildScreenModel(app).primaryEnabled) onClick(app, 6);
    return 0;
}

LRESULT onMouseMove(LauncherApp& app, LPARAM lParam) {
    if (!app.trackingMouse) {
        TRACKMOUSEEVENT track{};
        track.cbSize = sizeof(track);
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = app.window;
        TrackMouseEvent(&track);
        app.trackingMouse = true;
    }
    bool clickable = false;
    app.hoverId = hitTest(app, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), &clickable);
    return 0;
}

LRESULT onLeftButtonDown(LauncherApp& app, LPARAM lParam) {
    bool clickable = false;
    const int id = hitTest(app, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), &clickable);
    if (id != 0 && clickable) {
        app.pressedId = id;
        SetCapture(app.window);  // the release arrives here even outside the window
    }
    return 0;
}

LRESULT onLeftButtonUp(LauncherApp& app, LPARAM lParam) {
    const int pressed = app.pressedId;
    app.pressedId = 0;
    if (GetCapture() == app.window) ReleaseCapture();
    if (pressed == 0) return 0;
    // A click is a press and a release on the same control; dragging off cancels it.
    bool clickable = false;
    const int id = hitTest(app, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), &clickable);
    if (id == pressed && clickable) onClick(app, id);
    return 0;
}

LRESULT onDpiChanged(LauncherApp& app, WPARAM wParam, LPARAM lParam) {
    app.uiScale = static_cast<float>(LOWORD(wParam)) / 96.0f;
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    // The suggested size is the old one scaled; the design size rounded for the new scale is exact.
    SetWindowPos(app.window, nullptr, suggested->left, suggested->top, scaledLength(960, app.uiScale),
                 scaledLength(560, app.uiScale), SWP_NOZORDER | SWP_NOACTIVATE);
    recreateBackBufferForClient(app);
    applyWindowShape(app);
    InvalidateRect(app.window, nullptr, FALSE);
    return 0;
}

}  // namespace

LRESULT windowProc(LauncherApp& app, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            return onSize(app, wParam, lParam);
        case WM_PAINT:
            return onPaint(app);
        case WM_CLOSE:
            return onClose(app);
        case WM_ERASEBKGND:
            return 1;  // the back buffer covers every pixel
        case WM_SETCURSOR:
            return onSetCursor(app, wParam, lParam);
        case WM_NCHITTEST:
            return onNcHitTest(app, lParam);
        case WM_NCLBUTTONDBLCLK:
            return 0;  // a double click on the draggable area must not maximise
        case WM_KEYDOWN:
            return onKeyDown(app, wParam);
        case WM_TIMER:
            onTimer(app);
            return 0;
        case WM_MOUSEMOVE:
            return onMouseMove(app, lParam);
        case WM_LBUTTONDOWN:
            return onLeftButtonDown(app, lParam);
        case WM_LBUTTONUP:
            return onLeftButtonUp(app, lParam);
        case WM_MOUSELEAVE:
            app.trackingMouse = false;
            app.hoverId = 0;
            return 0;
        case WM_DPICHANGED:
            return onDpiChanged(app, wParam, lParam);
        default:
            return DefWindowProcW(app.window, message, wParam, lParam);
    }
}

void onTimer(LauncherApp& app) {
    if (app.closing) return;
    app.status = copyStatus(app.updater);
    const uint32_t now = GetTickCount();  // differences below are unsigned, so wrap-around is harmless

    if (app.status.phase == UpdatePhase::SelfUpdated) {
        if (!app.selfUpdateRestartHandled) {
            app.selfUpdateRestartHandled = true;
            std::wstring arguments = app.passThroughArgs;
            if (!arguments.empty()) arguments += L" ";
            arguments += L"--guncellendi";
            if (startProcess(app.launcherExePath, arguments, app.launcherFolder) == 0) {
                PostMessageW(app.window, WM_CLOSE, 0, 0);
                return;
            }
            // The new executable is in place but would not start: carry on with this process.
            configureRun(app.updater, app.launcherFolder, true);
            startRun(app.updater, false, false);
        } else if (app.updater.skipSelfUpdate && !app.updater.workerRunning) {
            // The fallback run above is refused while the self-updating run is still finishing
            // (skipSelfUpdate marks the fallback as configured; a successful restart never sets
            // it). Start it once that run has ended rather than leave the restart screen up.
            startRun(app.updater, false, false);
        }
    }

    if (app.status.phase == UpdatePhase::Error && app.status.errorCode == ErrorKind::Connection && !app.updater.workerRunning &&
        now - app.status.errorTick >= kRetryAfterMs) {
        startRun(app.updater, false, app.installMode);
    }

    if (app.installMode && now - app.freeBytesCheckedAt > kFreeSpaceRefreshMs) refreshFreeSpace(app, now);

    expireSettingsNotice(app, now);  // a successful save's notice also closes the panel

    if (!IsIconic(app.window)) InvalidateRect(app.window, nullptr, FALSE);
}
