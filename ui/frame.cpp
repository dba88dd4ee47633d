#include "ui/frame.h"

#include <windows.h>

#include <cstring>

#include "ui/animation.h"
#include "ui/main_screen.h"
#include "ui/settings_card.h"

using namespace Gdiplus::DllExports;

bool sizeFrame(LauncherUi& ui, int width, int height) {
    releaseScaledArt(ui.drawing);
    if (!createBackBuffer(ui.backBuffer, width, height)) return false;
    prepareScaledArt(ui.drawing, width, height, ui.window.uiScale);
    return true;
}

void releaseFrame(LauncherUi& ui) {
    releaseBackBuffer(ui.backBuffer);
    // The pre-scaled background belongs to the old size; copying it into a buffer of another size
    // would overrun it.
    releaseScaledArt(ui.drawing);
}

ScreenModel currentScreenModel(const LauncherUi& ui) {
    return buildScreenModel(installMode(ui), ui.installForm.installing, ui.status, GetTickCount());
}

void paintFrame(LauncherUi& ui) {
    BackBuffer& buffer = ui.backBuffer;
    const std::vector<uint8_t>& background = ui.drawing.backgroundPixels;
    const size_t frameBytes = static_cast<size_t>(buffer.width) * buffer.height * 4;
    if (!buffer.bitmap || !buffer.pixels || background.empty() || background.size() != frameBytes) return;
    std::memcpy(buffer.pixels, background.data(), frameBytes);

    UniqueGraphics graphics;
    if (GdipGetImageGraphicsContext(buffer.bitmap.get(), graphics.put()) != Gdiplus::Ok) {
        graphics.release();
        return;
    }
    GpGraphics* g = graphics.get();
    GdipSetSmoothingMode(g, Gdiplus::SmoothingModeAntiAlias);
    GdipSetTextRenderingHint(g, Gdiplus::TextRenderingHintAntiAliasGridFit);
    GdipSetPixelOffsetMode(g, Gdiplus::PixelOffsetModeHalf);
    GdipSetInterpolationMode(g, Gdiplus::InterpolationModeNearestNeighbor);
    GdipScaleWorldTransform(g, ui.window.uiScale, ui.window.uiScale, Gdiplus::MatrixOrderPrepend);

    double t = animationTime(ui.window.clock);
    ui.window.hitRegions.clear();
    ScreenModel model = currentScreenModel(ui);

    paintParticles(ui.window.particles, g, t);
    paintTitleBar(ui, g);
    if (installMode(ui))
        paintInstallPanel(ui, g, model);
    else
        paintNewsAndStatus(ui, g, model);
    paintBottomBar(ui, g, model);
    if (ui.settings.open && !installMode(ui)) paintDisplaySettings(ui, g);
}
