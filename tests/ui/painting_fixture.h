// GDI+ for the whole ui_tests process, and a window's state ready to paint real frames: images
// decoded from the embedded resources, fonts, and a back buffer at a chosen scale. The run control
// is never begun; the tests set the status copy and the start-up options themselves.
#pragma once

#include <vector>

#include "ui/launcher_ui.h"

struct PaintedApp {
    explicit PaintedApp(float scale = 1.0f);
    PaintedApp(const PaintedApp&) = delete;
    PaintedApp& operator=(const PaintedApp&) = delete;

    // Paints one frame with the clock frozen, so every paint of the same state is the same.
    void paint();
    const HitRegion* region(ClickId id) const;  // the last region registered with this id
    std::vector<ClickId> ids() const;           // ids in registration order
    uint32_t pixel(int x, int y) const;         // premultiplied BGRA word of the back buffer

    RunControl runs;
    LauncherUi ui{runs};
    bool ready = false;  // images, fonts and back buffer are all there
};

// A real top-level window whose procedure is the launcher's own, over a PaintedApp's state: keys,
// focus cues, WM_GETOBJECT and queued invocations go through the code the launcher runs. Hidden,
// at (100, 80); the app's window handle points at it for its lifetime. Wine 8 keeps no UI state,
// so the window's WM_CHANGEUISTATE is answered as Windows' default procedure answers it (with
// keyboard cues not forced on): a WM_UPDATEUISTATE back to the window.
struct PaintedWindow {
    explicit PaintedWindow(PaintedApp& app);
    ~PaintedWindow();
    PaintedWindow(const PaintedWindow&) = delete;
    PaintedWindow& operator=(const PaintedWindow&) = delete;

    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    void key(WPARAM virtualKey) { send(WM_KEYDOWN, virtualKey); }
    // Dispatches what is queued for the window; true when a WM_CLOSE was among it (not run).
    bool pump();

    PaintedApp& app;
    HWND handle = nullptr;
    // The actions of every WM_CHANGEUISTATE about the focus cues the window sent itself.
    std::vector<WORD> cueRequests;
};
