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
