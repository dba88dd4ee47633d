#include "tests/ui/painting_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ui/drawing.h"
#include "ui/frame.h"
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
    app.uiScale = scale;
    app.frozenClock = true;
    app.frozenTime = 3.0;
    if (!loadImages(app)) return;
    createFonts(app);
    createBackBuffer(app, static_cast<int>(std::floor(960 * scale + 0.5f)),
                     static_cast<int>(std::floor(560 * scale + 0.5f)));
    ready = app.backBuffer.bitmap && !app.backgroundPixels.empty() && app.uiFonts[7] && app.uiStringFormat;
}

PaintedApp::~PaintedApp() {
    releaseBackBuffer(app);
}

void PaintedApp::paint() {
    paintFrame(app);
}

const HitRegion* PaintedApp::region(int id) const {
    for (auto it = app.hitRegions.rbegin(); it != app.hitRegions.rend(); ++it) {
        if (it->id == id) return &*it;
    }
    return nullptr;
}

std::vector<int> PaintedApp::ids() const {
    std::vector<int> out;
    for (const HitRegion& r : app.hitRegions)
        out.push_back(r.id);
    return out;
}

uint32_t PaintedApp::pixel(int x, int y) const {
    return static_cast<const uint32_t*>(app.backBuffer.pixels)[y * app.backBuffer.width + x];
}
