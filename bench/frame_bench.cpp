// Frame paint time: the median over 300 frames of the busiest screen (a running download with news), at
// scale 1.0 and 1.5, with the frame cache and, for comparison in the same run, without it. With a folder
// argument it also writes the preview's screen states as PNG files.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/launcher_app.h"
#include "bench/processor_time.h"
#include "ui/dpi.h"
#include "ui/drawing.h"
#include "ui/frame.h"
#include "ui/main_screen.h"
#include "ui/pixel_layer.h"
#include "ui/preview.h"
#include "ui/screen_model.h"

using namespace Gdiplus::DllExports;

namespace {

bool prepare(LauncherUi& ui, float scale) {
    ui.window.uiScale = scale;
    return sizeFrame(ui, scaledLength(960, scale), scaledLength(560, scale)) &&
           !ui.drawing.backgroundPixels.empty();
}

// Median wall-clock time per frame; *cpuMs gets the mean processor time per frame, which a busy
// machine disturbs less than the wall clock.
double medianPaintMs(LauncherUi& ui, int frames, double* cpuMs = nullptr) {
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    double cpuStart = threadSeconds();
    for (int i = 0; i < frames; ++i) {
        ui.window.clock.frozenTime = 3.0 + i / 30.0;  // the embers move as in the window
        // and the byte counts move as in a download at 8.4 MB/s, so the detail line changes too
        if (ui.status.phase == UpdatePhase::Downloading) {
            ui.status.bytesDone = std::min(ui.status.bytesTotal, ui.status.bytesDone + 293601);
        }
        QueryPerformanceCounter(&before);
        paintFrame(ui);
        QueryPerformanceCounter(&after);
        times.push_back(1000.0 * (after.QuadPart - before.QuadPart) / frequency.QuadPart);
    }
    if (cpuMs) *cpuMs = (threadSeconds() - cpuStart) * 1000.0 / frames;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Where a cached frame's time goes: each step alone, on a graphics set up like paintFrame's.
void printBreakdown(LauncherUi& ui) {
    paintFrame(ui);  // fills the cache for this state
    UniqueGraphics graphics = frameGraphics(ui.backBuffer.bitmap.get(), ui.window.uiScale);
    Gdiplus::GpGraphics* g = graphics.get();
    ScreenModel model = currentScreenModel(ui);
    struct Part {
        const char* name;
        void (*paint)(LauncherUi&, Gdiplus::GpGraphics*, const ScreenModel&);
    } parts[] = {
        {"embers",
         [](LauncherUi& ui, Gdiplus::GpGraphics*, const ScreenModel&) {
             blendParticles(ui.window.particles, ui.drawing.frameCache.embers,
                            static_cast<uint32_t*>(ui.backBuffer.pixels), ui.backBuffer.width,
                            ui.backBuffer.height, ui.window.uiScale, 3.0);
         }},
        {"still parts",
         [](LauncherUi& ui, Gdiplus::GpGraphics*, const ScreenModel&) {
             blendLayer(ui.drawing.frameCache.fixedParts, static_cast<uint32_t*>(ui.backBuffer.pixels),
                        ui.backBuffer.width, ui.backBuffer.height, 0, 0);
         }},
        {"title bar", [](LauncherUi& ui, Gdiplus::GpGraphics* gr,
                         const ScreenModel&) { paintTitleBar(ui, gr, PaintLayer::Changing); }},
        {"news and status",
         [](LauncherUi& ui, Gdiplus::GpGraphics* gr, const ScreenModel& model) {
             paintNewsAndStatus(ui, gr, model, PaintLayer::Changing);
         }},
        {"bottom bar", [](LauncherUi& ui, Gdiplus::GpGraphics* gr,
                          const ScreenModel& model) { paintBottomBar(ui, gr, model, PaintLayer::Changing); }},
    };
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    for (const Part& part : parts) {
        std::vector<double> times;
        for (int i = 0; i < 60; ++i) {
            ui.window.hitRegions.clear();
            QueryPerformanceCounter(&before);
            part.paint(ui, g, model);
            QueryPerformanceCounter(&after);
            times.push_back(1000.0 * (after.QuadPart - before.QuadPart) / frequency.QuadPart);
        }
        std::sort(times.begin(), times.end());
        std::printf("  %-16s %.2f ms\n", part.name, times[times.size() / 2]);
    }
    graphics.reset();

    std::vector<double> times;
    for (int i = 0; i < 60; ++i) {
        QueryPerformanceCounter(&before);
        std::memcpy(ui.backBuffer.pixels, ui.drawing.backgroundPixels.data(),
                    ui.drawing.backgroundPixels.size());
        Gdiplus::GpGraphics* fresh = nullptr;
        GdipGetImageGraphicsContext(ui.backBuffer.bitmap.get(), &fresh);
        GdipScaleWorldTransform(fresh, ui.window.uiScale, ui.window.uiScale, Gdiplus::MatrixOrderPrepend);
        GdipDeleteGraphics(fresh);
        QueryPerformanceCounter(&after);
        times.push_back(1000.0 * (after.QuadPart - before.QuadPart) / frequency.QuadPart);
    }
    std::sort(times.begin(), times.end());
    std::printf("  %-16s %.2f ms\n", "copy + graphics", times[times.size() / 2]);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return 1;
    static LauncherApp app;
    LauncherUi& ui = app.ui;
    ui.window.clock.frozen = true;
    ui.window.clock.frozenTime = 3.0;
    if (!loadImages(ui.drawing, nullptr)) {
        std::fprintf(stderr, "images missing\n");
        return 1;
    }
    createFonts(ui.drawing);

    // The preview's states as PNG files, for looking at the painting without a window or a server.
    if (argc > 1 && !renderPreview(ui, argv[1])) {
        std::fprintf(stderr, "cannot write the preview into %ls\n", argv[1]);
        return 1;
    }

    for (float scale : {1.0f, 1.5f}) {
        if (!prepare(ui, scale) || !showPreviewState(ui, L"indirme")) return 1;
        // Every part painted afresh first, as the reference, then the frame as the window paints it.
        for (bool everything : {true, false}) {
            ui.drawing.frameCache.paintEverything = everything;
            medianPaintMs(ui, 20);  // warm-up: font caches, sprites, first allocations
            double cpu = 0;
            double median = medianPaintMs(ui, 300, &cpu);
            std::printf(
                "frame paint%s, scale %.1f (%dx%d): median %.2f ms over 300 frames (processor time %.2f ms "
                "per frame)\n",
                everything ? " (every part painted)" : "", scale, ui.backBuffer.width, ui.backBuffer.height,
                median, cpu);
        }
        printBreakdown(ui);
        size_t spritePixels = 0;
        for (const auto& sprite : ui.drawing.frameCache.embers.byKey)
            spritePixels += sprite.second.pixels.size();
        std::printf("  cache: %zu ember sprites (%zu KiB), still parts %zu KiB\n",
                    ui.drawing.frameCache.embers.byKey.size(), spritePixels * 4 / 1024,
                    ui.drawing.frameCache.fixedParts.pixels.size() * 4 / 1024);
    }

    // The same busiest screen with keyboard focus on the primary button, and with high contrast.
    ui.drawing.frameCache.paintEverything = false;
    for (bool highContrast : {false, true}) {
        if (!prepare(ui, 1.5f) || !showPreviewState(ui, L"indirme")) return 1;
        ui.window.look.highContrast = highContrast;
        ui.window.look.colours = previewContrastColours();
        ui.window.focusId = ClickId::Repair;
        ui.window.focusCues = true;
        medianPaintMs(ui, 20);
        double cpu = 0;
        double median = medianPaintMs(ui, 300, &cpu);
        std::printf("frame paint with the focus ring%s, scale 1.5: median %.2f ms (processor time %.2f ms)\n",
                    highContrast ? ", high contrast" : "", median, cpu);
    }
    return 0;
}
