// Frame paint time: the median over 300 frames of the busiest screen (a running download with news), at
// scale 1.0 and 1.5, with the frame cache and, for comparison in the same run, without it. With a folder
// argument it also writes the main screen states as PNG files, for looking at the painting without a window
// or a server.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/launcher_app.h"
#include "build_config.h"
#include "ui/dpi.h"
#include "ui/drawing.h"
#include "ui/frame.h"
#include "ui/main_screen.h"
#include "ui/pixel_layer.h"
#include "ui/screen_model.h"
#include "ui/text_table.h"

using namespace Gdiplus::DllExports;

namespace {

struct State {
    const wchar_t* name;
    void (*apply)(LauncherUi& ui);
};

void sampleStatus(LauncherUi& ui) {
    StatusSnapshot s;
    s.manifestVersion = 1791945000;
    s.requiredBytes = 1913651200;
    s.listVerified = true;
    s.host = QORVANE_DEFAULT_HOST;
    s.news[0] = {{L"14.10", L"*Oto İksir* ve *Oto Av* artık PC'de!"},
                 {L"13.10", L"Yeni *biyolog* ve seviye görevleri eklendi."},
                 {L"12.10", L"Efsun değiştirme oranları güncellendi."}};
    s.news[1] = {{L"14.10", L"*Auto Potion* and *Auto Hunt* are now on PC!"},
                 {L"13.10", L"New *biologist* and level quests added."},
                 {L"12.10", L"Bonus switch rates updated."}};
    ui.status = s;
    ui.runs.options.installMode = ui.installForm.installing = ui.settings.open = false;
    ui.settings.draft = DisplaySettings();
    ui.window.hoverId = ui.window.pressedId = ClickId::None;
    uiLanguage = UiLanguage::Turkish;
}

void downloading(LauncherUi& ui) {
    ui.status.phase = UpdatePhase::Downloading;
    ui.status.filesDone = 3;
    ui.status.filesTotal = 7;
    ui.status.detailText = L"pack/root.epk";
    ui.status.bytesDone = 48444211;
    ui.status.bytesTotal = 123731968;
    ui.status.bytesPerSecond = 8808038.4;
}

const State kStates[] = {
    {L"kurulum",
     [](LauncherUi& ui) {
         ui.runs.options.installMode = true;
         ui.installForm.folder = L"C:\\Qorvane";
         ui.installForm.freeBytes = 158913789952ULL;
     }},
    {L"kurulum_suruyor",
     [](LauncherUi& ui) {
         ui.runs.options.installMode = true;
         ui.installForm.installing = true;
         ui.installForm.folder =
             L"D:\\Oyunlar\\Qorvane Online\\a rather long folder name that keeps going on and on "
             L"until it no longer fits in the box";
         ui.installForm.freeBytes = 1073741824ULL;
     }},
    {L"baglaniyor",
     [](LauncherUi& ui) {
         ui.status.phase = UpdatePhase::Connecting;
         ui.status.manifestVersion = 0;
         ui.status.listVerified = false;
     }},
    {L"tarama",
     [](LauncherUi& ui) {
         ui.status.phase = UpdatePhase::Scanning;
         ui.status.filesDone = 124;
         ui.status.filesTotal = 201;
         ui.status.detailText = L"pack/season2.epk";
         ui.status.bytesDone = 62;
         ui.status.bytesTotal = 100;
     }},
    {L"indirme", downloading},
    {L"hazir",
     [](LauncherUi& ui) {
         ui.status.phase = UpdatePhase::Ready;
         ui.status.filesUpdated = 7;
     }},
    {L"hazir_uzerinde",
     [](LauncherUi& ui) {
         ui.status.phase = UpdatePhase::Ready;
         ui.window.hoverId = ClickId::Primary;
     }},
    {L"hazir_basili",
     [](LauncherUi& ui) {
         ui.status.phase = UpdatePhase::Ready;
         ui.window.hoverId = ui.window.pressedId = ClickId::Primary;
     }},
    {L"hata_baglanti",
     [](LauncherUi& ui) {
         ui.status.phase = UpdatePhase::Error;
         ui.status.errorCode = ErrorKind::Connection;
         ui.status.listVerified = false;
         ui.status.manifestVersion = 0;
         ui.status.errorTick = GetTickCount();
         ui.status.retryAt = ui.status.errorTick + kConnectionRetryMs;
     }},
    {L"hata_kilitli",
     [](LauncherUi& ui) {
         ui.status.phase = UpdatePhase::Error;
         ui.status.errorCode = ErrorKind::FileLocked;
         ui.status.detailText = L"pack/root.epk";
         ui.status.bytesDone = 30;
         ui.status.bytesTotal = 100;
     }},
    {L"hazir_en",
     [](LauncherUi& ui) {
         ui.status.phase = UpdatePhase::Ready;
         uiLanguage = UiLanguage::English;
     }},
    {L"ayar",
     [](LauncherUi& ui) {
         ui.status.phase = UpdatePhase::Ready;
         ui.settings.open = true;
         ui.settings.draft.simulatedScreenWidth = 1920;
         ui.settings.draft.simulatedScreenHeight = 1080;
         ui.settings.draft.dpiOverride = 120;
         ui.settings.draft.windowWidth = 1600;
         ui.settings.draft.windowHeight = 900;
         ui.settings.draft.interfaceScale = 1.2f;
     }},
    {L"hazir_disli",
     [](LauncherUi& ui) {
         ui.status.phase = UpdatePhase::Ready;
         ui.window.hoverId = ClickId::Settings;
     }},
};

bool pngEncoder(CLSID* clsid) {
    UINT count = 0, bytes = 0;
    if (GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (GdipGetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) == L"image/png") {
            *clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

bool prepare(LauncherUi& ui, float scale) {
    ui.window.uiScale = scale;
    return sizeFrame(ui, scaledLength(960, scale), scaledLength(560, scale)) &&
           !ui.drawing.backgroundPixels.empty();
}

double threadCpuMs() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

// Median wall-clock time per frame; *cpuMs gets the mean processor time per frame, which a busy
// machine disturbs less than the wall clock.
double medianPaintMs(LauncherUi& ui, int frames, double* cpuMs = nullptr) {
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    double cpuStart = threadCpuMs();
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
    if (cpuMs) *cpuMs = (threadCpuMs() - cpuStart) / frames;
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
         [](LauncherUi& u, Gdiplus::GpGraphics*, const ScreenModel&) {
             blendParticles(u.window.particles, u.drawing.frameCache.embers,
                            static_cast<uint32_t*>(u.backBuffer.pixels), u.backBuffer.width,
                            u.backBuffer.height, u.window.uiScale, 3.0);
         }},
        {"still parts",
         [](LauncherUi& u, Gdiplus::GpGraphics*, const ScreenModel&) {
             blendLayer(u.drawing.frameCache.fixedParts, static_cast<uint32_t*>(u.backBuffer.pixels),
                        u.backBuffer.width, u.backBuffer.height, 0, 0);
         }},
        {"title bar", [](LauncherUi& u, Gdiplus::GpGraphics* gr,
                         const ScreenModel&) { paintTitleBar(u, gr, PaintLayer::Changing); }},
        {"news and status", [](LauncherUi& u, Gdiplus::GpGraphics* gr,
                               const ScreenModel& m) { paintNewsAndStatus(u, gr, m, PaintLayer::Changing); }},
        {"bottom bar", [](LauncherUi& u, Gdiplus::GpGraphics* gr,
                          const ScreenModel& m) { paintBottomBar(u, gr, m, PaintLayer::Changing); }},
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

    if (argc > 1) {
        CLSID png;
        if (!pngEncoder(&png)) return 1;
        CreateDirectoryW(argv[1], nullptr);
        for (float scale : {1.0f, 1.5f}) {
            if (!prepare(ui, scale)) return 1;
            for (const State& state : kStates) {
                sampleStatus(ui);
                state.apply(ui);
                ui.window.clock.frozenTime = 3.0;
                paintFrame(ui);
                std::wstring path = std::wstring(argv[1]) + L"\\" + state.name + L"_" +
                                    std::to_wstring(static_cast<int>(scale * 100)) + L".png";
                if (GdipSaveImageToFile(ui.backBuffer.bitmap.get(), path.c_str(), &png, nullptr) !=
                    Gdiplus::Ok) {
                    std::fprintf(stderr, "cannot write %ls\n", path.c_str());
                    return 1;
                }
            }
        }
    }

    for (float scale : {1.0f, 1.5f}) {
        if (!prepare(ui, scale)) return 1;
        sampleStatus(ui);
        downloading(ui);
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
    return 0;
}
