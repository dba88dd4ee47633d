#include "tests/ui/painting_fixture.h"

#include <gtest/gtest.h>

#include "ui/dpi.h"
#include "ui/frame.h"
#include "ui/uia_provider.h"
#include "ui/window.h"

namespace {

// GDI+ lives for the whole test run; a second start-up elsewhere in the binary is harmless.
class GdiplusEnvironment : public ::testing::Environment {
   public:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
    }
    void TearDown() override { Gdiplus::GdiplusShutdown(token_); }

   private:
    ULONG_PTR token_ = 0;
};

::testing::Environment* const gdiplusEnvironment =
    ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

}  // namespace

PaintedApp::PaintedApp(float scale) {
    ui.window.uiScale = scale;
    ui.window.clock.frozen = true;
    ui.window.clock.frozenTime = 3.0;
    if (!loadImages(ui.drawing, nullptr)) return;
    createFonts(ui.drawing);
    sizeFrame(ui, scaledLength(960, scale), scaledLength(560, scale));
    ready = ui.backBuffer.bitmap && !ui.drawing.backgroundPixels.empty() &&
            ui.drawing.font(FontId::Button22) && ui.drawing.stringFormat;
}

void PaintedApp::paint() {
    paintFrame(ui);
}

const HitRegion* PaintedApp::region(ClickId id) const {
    const HitRegions& regions = ui.window.hitRegions;
    for (auto it = regions.rbegin(); it != regions.rend(); ++it) {
        if (it->id == id) return &*it;
    }
    return nullptr;
}

std::vector<ClickId> PaintedApp::ids() const {
    std::vector<ClickId> out;
    for (const HitRegion& r : ui.window.hitRegions)
        out.push_back(r.id);
    return out;
}

uint32_t PaintedApp::pixel(int x, int y) const {
    return static_cast<const uint32_t*>(ui.backBuffer.pixels)[y * ui.backBuffer.width + x];
}

namespace {

LRESULT CALLBACK paintedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* ui = reinterpret_cast<LauncherUi*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        ui = static_cast<LauncherUi*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ui->window.handle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(ui));
    }
    if (!ui) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_CHANGEUISTATE && (HIWORD(wParam) & UISF_HIDEFOCUS)) {
        auto* owner = reinterpret_cast<PaintedWindow*>(GetPropW(window, L"QvPaintedWindow"));
        if (owner) owner->cueRequests.push_back(LOWORD(wParam));
        if (LOWORD(wParam) != UIS_INITIALIZE) return SendMessageW(window, WM_UPDATEUISTATE, wParam, lParam);
    }
    if (message == WM_DESTROY) {
        // The launcher's own would also post a quit message into the test thread's queue.
        releaseAutomation(*ui);
        return 0;
    }
    return windowProc(*ui, message, wParam, lParam);
}

}  // namespace

PaintedWindow::PaintedWindow(PaintedApp& app) : app(app) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = paintedWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QvPaintedWindow";
    RegisterClassExW(&wc);  // already registered by an earlier test: fine
    handle = CreateWindowExW(0, L"QvPaintedWindow", L"Qorvane Launcher", WS_POPUP, 100, 80, 960, 560, nullptr,
                             nullptr, wc.hInstance, &app.ui);
    if (handle) SetPropW(handle, L"QvPaintedWindow", this);
}

PaintedWindow::~PaintedWindow() {
    if (handle) {
        RemovePropW(handle, L"QvPaintedWindow");
        DestroyWindow(handle);
    }
    app.ui.window.handle = nullptr;
}

LRESULT PaintedWindow::send(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(handle, message, wParam, lParam);
}

bool PaintedWindow::pump() {
    bool closeSeen = false;
    MSG message;
    while (PeekMessageW(&message, handle, 0, 0, PM_REMOVE)) {
        if (message.message == WM_CLOSE) {
            closeSeen = true;
            continue;
        }
        DispatchMessageW(&message);
    }
    return closeSeen;
}
