// GDI+ for the whole ui_tests process, and a launcher object ready to paint real frames: images
// decoded from the embedded resources, fonts, and a back buffer at a chosen scale.
#pragma once

#include <vector>

#include "app/launcher_app.h"

struct PaintedApp {
    explicit PaintedApp(float scale = 1.0f);
    ~PaintedApp();
    PaintedApp(const PaintedApp&) = delete;
    PaintedApp& operator=(const PaintedApp&) = delete;

    // Paints one frame with the clock frozen, so every paint of the same state is the same.
    void paint();
    const HitRegion* region(int id) const;  // the last region registered with this id
    std::vector<int> ids() const;           // ids in registration order
    uint32_t pixel(int x, int y) const;     // premultiplied BGRA word of the back buffer

    LauncherApp app;
    bool ready = false;  // images, fonts and back buffer are all there
};
