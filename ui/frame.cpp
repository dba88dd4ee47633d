#include "ui/frame.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ui/animation.h"
#include "ui/controls.h"
#include "ui/main_screen.h"
#include "ui/settings_card.h"
#include "ui/text_table.h"

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

namespace {

// A transparent picture of the back buffer's size, painted by paint.
PixelLayer paintFrameLayer(const LauncherUi& ui, const std::function<void(GpGraphics*)>& paint) {
    return paintLayer(ui.backBuffer.width, ui.backBuffer.height, ui.window.uiScale, 0, 0, paint);
}

std::wstring sizeKey(const LauncherUi& ui) {
    return formatText(L"%dx%d@%g|%s|", ui.backBuffer.width, ui.backBuffer.height,
                      static_cast<double>(ui.window.uiScale), lookKey(ui.window.look).c_str());
}

bool settingsShown(const LauncherUi& ui) {
    return ui.settings.open && !installMode(ui);
}

void paintMainScreen(LauncherUi& ui, GpGraphics* graphics, const ScreenModel& model, PaintLayer layer) {
    paintTitleBar(ui, graphics, layer);
    if (installMode(ui))
        paintInstallPanel(ui, graphics, model, layer);
    else
        paintNewsAndStatus(ui, graphics, model, layer);
    paintBottomBar(ui, graphics, model, layer);
}

void paintEverything(LauncherUi& ui, const ScreenModel& model, double seconds) {
    UniqueGraphics graphics = frameGraphics(ui.backBuffer.bitmap.get(), ui.window.uiScale);
    if (!graphics) return;
    if (!ui.window.look.highContrast) paintParticles(ui.window.particles, graphics.get(), seconds);
    paintMainScreen(ui, graphics.get(), model, PaintLayer::Everything);
    if (settingsShown(ui)) paintDisplaySettings(ui, graphics.get());
    paintFocusRing(ui, graphics.get());
}

// The same picture as paintEverything: the embers from sprites, the still parts from the cache,
// then the changing parts painted over them. The settings panel's frame covers all of that, so
// it is laid down between the main screen and the panel's own changing parts.
void paintFromCache(LauncherUi& ui, const ScreenModel& model, double seconds) {
    FrameCache& cache = ui.drawing.frameCache;
    BackBuffer& buffer = ui.backBuffer;
    auto* pixels = static_cast<uint32_t*>(buffer.pixels);
    if (!ui.window.look.highContrast)
        blendParticles(ui.window.particles, cache.embers, pixels, buffer.width, buffer.height,
                       ui.window.uiScale, seconds);

    std::wstring fixedKey = sizeKey(ui) + fixedPartsKey(ui, model);
    if (fixedKey != cache.fixedKey) {
        cache.fixedParts = paintFrameLayer(
            ui, [&](GpGraphics* graphics) { paintMainScreen(ui, graphics, model, PaintLayer::Fixed); });
        cache.fixedKey = std::move(fixedKey);
    }
    blendLayer(cache.fixedParts, pixels, buffer.width, buffer.height, 0, 0);
    {
        UniqueGraphics graphics = frameGraphics(buffer.bitmap.get(), ui.window.uiScale);
        if (!graphics) return;
        paintMainScreen(ui, graphics.get(), model, PaintLayer::Changing);
        if (!settingsShown(ui)) paintFocusRing(ui, graphics.get());
    }
    if (!settingsShown(ui)) {
        // Several megabytes that only an open panel needs.
        cache.panelFrame = PixelLayer();
        cache.panelKey.clear();
        return;
    }

    std::wstring panelKey =
        sizeKey(ui) + formatText(L"%d|%d", static_cast<int>(uiLanguage),
                                 static_cast<int>(ui.window.hoverId == ClickId::PanelClose));
    if (panelKey != cache.panelKey) {
        cache.panelFrame = paintFrameLayer(
            ui, [&](GpGraphics* graphics) { paintDisplaySettings(ui, graphics, PaintLayer::Fixed); });
        cache.panelKey = std::move(panelKey);
    }
    blendLayer(cache.panelFrame, pixels, buffer.width, buffer.height, 0, 0);
    UniqueGraphics graphics = frameGraphics(buffer.bitmap.get(), ui.window.uiScale);
    if (!graphics) return;
    paintDisplaySettings(ui, graphics.get(), PaintLayer::Changing);
    paintFocusRing(ui, graphics.get());
}

// The window's colour under everything when high contrast leaves the background art out.
void fillWithWindowColour(BackBuffer& buffer, ARGB colour) {
    auto* pixels = static_cast<uint32_t*>(buffer.pixels);
    std::fill(pixels, pixels + static_cast<size_t>(buffer.width) * buffer.height, colour | 0xFF000000u);
}

}  // namespace

void paintFrame(LauncherUi& ui) {
    BackBuffer& buffer = ui.backBuffer;
    const std::vector<uint8_t>& background = ui.drawing.backgroundPixels;
    const size_t frameBytes = static_cast<size_t>(buffer.width) * buffer.height * 4;
    if (!buffer.bitmap || !buffer.pixels || background.empty() || background.size() != frameBytes) return;
    const Look& look = ui.window.look;
    if (look.highContrast)
        fillWithWindowColour(buffer, look.colours.window);
    else
        std::memcpy(buffer.pixels, background.data(), frameBytes);

    // Without animations the embers stand where the preview shows them.
    double t = look.animations ? animationTime(ui.window.clock) : kStillEmberTime;
    ui.window.hitRegions.clear();
    ScreenModel model = currentScreenModel(ui);
    if (ui.drawing.frameCache.paintEverything)
        paintEverything(ui, model, t);
    else
        paintFromCache(ui, model, t);
}

std::wstring frameSignature(const LauncherUi& ui) {
    const ScreenModel model = currentScreenModel(ui);
    std::wstring key = sizeKey(ui) + fixedPartsKey(ui, model);
    auto append = [&key](const std::wstring& text) {
        key += formatText(L"%d:", static_cast<int>(text.size())) + text;
    };
    append(model.headline);
    append(model.detail);
    for (const ScreenRow& row : model.rows)
        append(row.value);
    const InstallForm& form = ui.installForm;
    append(form.folder);
    const DisplaySettings& d = ui.settings.draft;
    key += formatText(L"|%d %d %d %d %d|%d %d %llu %llu|%d %d %g %d %d|%d %d %d|", model.percent,
                      static_cast<int>(model.progress * 10000), static_cast<int>(model.errorStyle),
                      static_cast<int>(model.barErrorStyle), static_cast<int>(model.primaryEnabled),
                      static_cast<int>(form.desktopShortcut), static_cast<int>(form.startMenuShortcut),
                      static_cast<unsigned long long>(form.freeBytes),
                      static_cast<unsigned long long>(ui.status.requiredBytes), d.windowWidth, d.windowHeight,
                      static_cast<double>(d.interfaceScale), static_cast<int>(ui.settings.noticeAt != 0),
                      static_cast<int>(ui.settings.noticeIsError), static_cast<int>(ui.window.hoverId),
                      static_cast<int>(ui.window.focusId), static_cast<int>(ui.window.focusCues));
    return key;
}
