#include "ui/dpi.h"

#include <cmath>

#include "base/dll_search.h"

namespace {

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

}  // namespace

int monitorDpi(HMONITOR monitor) {
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const GetDpiForMonitorFn getDpiForMonitor =
        procAddress<GetDpiForMonitorFn>(loadSystemLibrary(L"shcore.dll"), "GetDpiForMonitor");
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
