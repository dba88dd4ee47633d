#include "tests/ui/painting_fixture.h"

#include <gtest/gtest.h>

#include "ui/dpi.h"
#include "ui/frame.h"

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
