#include "ui/frame.h"

#include <cmath>
#include <cstring>

#include "app/launcher_app.h"
#include "ui/gdiplus_handles.h"
#include "ui/main_screen.h"
#include "ui/screen_model.h"
#include "ui/settings_panel.h"

using namespace Gdiplus::DllExports;

namespace {

ARGB withAlpha(float alpha, ARGB rgb) {
    int a = static_cast<int>(std::floor(alpha * 255));
    if (a < 0) a = 0;
    if (a > 255) a = 255;
    return (static_cast<ARGB>(a) << 24) | (rgb & 0x00FFFFFF);
}

void paintEmber(GpGraphics* g, float cx, float cy, float r, float a) {
    GpPath* rawPath = nullptr;
    if (GdipCreatePath(Gdiplus::FillModeAlternate, &rawPath) != Gdiplus::Ok) return;
    UniquePath path(rawPath);
    GdipAddPathEllipse(path.get(), cx - r, cy - r, 2 * r, 2 * r);
    Gdiplus::GpPathGradient* rawBrush = nullptr;
    if (GdipCreatePathGradientFromPath(path.get(), &rawBrush) != Gdiplus::Ok) return;
    UniqueBrush brush(rawBrush);
    Gdiplus::GpPointF centre(cx, cy);
    GdipSetPathGradientCenterPoint(rawBrush, &centre);

    const ARGB rim = 0x00C83C0A;
    const ARGB middle = withAlpha(a * 0.5f, 0xF06E1E);
    const ARGB core = withAlpha(a, 0xFFBE5A);
    // Some GDI+ implementations (Wine's) ignore the three-stop blend below and fill with the centre
    // colour alone; centre and rim colours give them a plain two-colour glow of the same ember.
    GdipSetPathGradientCenterColor(rawBrush, core);
    INT surroundCount = 1;
    GdipSetPathGradientSurroundColorsWithCount(rawBrush, &rim, &surroundCount);
    const ARGB colours[3] = {rim, middle, core};
    const float positions[3] = {0.0f, 0.6f, 1.0f};
    GdipSetPathGradientPresetBlend(rawBrush, colours, positions, 3);
    GdipFillPath(g, brush.get(), path.get());
}

}  // namespace

double animationTime(const LauncherApp& app) {
    if (app.frozenClock) return app.frozenTime;
    if (app.clockFrequency.QuadPart == 0) return 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - app.clockStart.QuadPart) /
           static_cast<double>(app.clockFrequency.QuadPart);
}

void addHitRegion(LauncherApp& app, int id, float x, float y, float width, float height, bool clickable) {
    app.hitRegions.push_back(HitRegion{id, x, y, width, height, clickable});
}

void paintParticles(LauncherApp& app, GpGraphics* g, double t) {
    for (const Particle& p : app.particles) {
        float cx = static_cast<float>(p.x + 14 * std::sin(0.7 * t + p.phase));
        // Embers rise and re-enter at the bottom; the visible band runs from -20 to 580.
        float cy = static_cast<float>(std::fmod(std::fmod(p.y - p.riseSpeed * t, 600.0) + 600.0, 600.0) - 20);
        float a = static_cast<float>(p.alpha * (0.6 + 0.4 * std::sin(2 * t + p.phase)));
        paintEmber(g, cx, cy, 3 * p.size, a);
    }
}

void paintFrame(LauncherApp& app) {
    BackBuffer& buffer = app.backBuffer;
    const size_t frameBytes = static_cast<size_t>(buffer.width) * buffer.height * 4;
    if (!buffer.bitmap || !buffer.pixels || app.backgroundPixels.empty() ||
        app.backgroundPixels.size() != frameBytes)
        return;
    std::memcpy(buffer.pixels, app.backgroundPixels.data(), frameBytes);

    GpGraphics* raw = nullptr;
    if (GdipGetImageGraphicsContext(buffer.bitmap, &raw) != Gdiplus::Ok) return;
    UniqueGraphics graphics(raw);
    GpGraphics* g = graphics.get();
    GdipSetSmoothingMode(g, Gdiplus::SmoothingModeAntiAlias);
    GdipSetTextRenderingHint(g, Gdiplus::TextRenderingHintAntiAliasGridFit);
    GdipSetPixelOffsetMode(g, Gdiplus::PixelOffsetModeHalf);
    GdipSetInterpolationMode(g, Gdiplus::InterpolationModeNearestNeighbor);
    GdipScaleWorldTransform(g, app.uiScale, app.uiScale, Gdiplus::MatrixOrderPrepend);

    double t = animationTime(app);
    app.hitRegions.clear();
    ScreenModel model = buildScreenModel(app);

    paintParticles(app, g, t);
    paintTitleBar(app, g);
    if (app.installMode)
        paintInstallPanel(app, g, model);
    else
        paintNewsAndStatus(app, g, model);
    paintBottomBar(app, g, model);
    if (app.settingsOpen && !app.installMode) paintDisplaySettings(app, g);
}
