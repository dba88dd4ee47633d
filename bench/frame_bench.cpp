// Frame paint time: the median over 300 frames of the busiest screen (a running download with news), at
// scale 1.0 and 1.5. With a folder argument it also writes the main screen states as PNG files,
// for looking at the painting without a window or a server.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/launcher_app.h"
#include "ui/drawing.h"
#include "ui/frame.h"
#include "ui/main_screen.h"
#include "ui/screen_model.h"
#include "ui/text_table.h"
#include "ui/window.h"

using namespace Gdiplus::DllExports;

namespace {

struct State {
    const wchar_t* name;
    void (*apply)(LauncherApp& app);
};

void sampleStatus(LauncherApp& app) {
    StatusSnapshot s;
    s.manifestVersion = 1791945000;
    s.requiredBytes = 1913651200;
    s.listVerified = true;
    s.news[0] = {{L"14.10", L"*Oto İksir* ve *Oto Av* artık PC'de!"},
                 {L"13.10", L"Yeni *biyolog* ve seviye görevleri eklendi."},
                 {L"12.10", L"Efsun değiştirme oranları güncellendi."}};
    s.news[1] = {{L"14.10", L"*Auto Potion* and *Auto Hunt* are now on PC!"},
                 {L"13.10", L"New *biologist* and level quests added."},
                 {L"12.10", L"Bonus switch rates updated."}};
    app.status = s;
    app.installMode = app.installing = app.settingsOpen = false;
    app.display = DisplaySettings();
    app.hoverId = app.pressedId = 0;
    uiLanguage = Turkish;
}

void downloading(LauncherApp& app) {
    app.status.phase = UpdatePhase::Downloading;
    app.status.filesDone = 3;
    app.status.filesTotal = 7;
    app.status.detailText = L"pack/root.epk";
    app.status.bytesDone = 48444211;
    app.status.bytesTotal = 123731968;
    app.status.bytesPerSecond = 8808038.4;
}

const State kStates[] = {
    {L"kurulum",
     [](LauncherApp& app) {
         app.installMode = true;
         app.installFolder = L"C:\\Qorvane";
         app.freeBytes = 158913789952ULL;
     }},
    {L"kurulum_suruyor",
     [](LauncherApp& app) {
         app.installMode = true;
         app.installing = true;
         app.installFolder =
             L"D:\\Oyunlar\\Qorvane Online\\a rather long folder name that keeps going on and on "
             L"until it no longer fits in the box";
         app.freeBytes = 1073741824ULL;
     }},
    {L"baglaniyor",
     [](LauncherApp& app) {
         app.status.phase = UpdatePhase::Connecting;
         app.status.manifestVersion = 0;
         app.status.listVerified = false;
     }},
    {L"tarama",
     [](LauncherApp& app) {
         app.status.phase = UpdatePhase::Scanning;
         app.status.filesDone = 124;
         app.status.filesTotal = 201;
         app.status.detailText = L"pack/season2.epk";
         app.status.bytesDone = 62;
         app.status.bytesTotal = 100;
     }},
    {L"indirme", downloading},
    {L"hazir",
     [](LauncherApp& app) {
         app.status.phase = UpdatePhase::Ready;
         app.status.filesUpdated = 7;
     }},
    {L"hazir_uzerinde",
     [](LauncherApp& app) {
         app.status.phase = UpdatePhase::Ready;
         app.hoverId = 6;
     }},
    {L"hazir_basili",
     [](LauncherApp& app) {
         app.status.phase = UpdatePhase::Ready;
         app.hoverId = app.pressedId = 6;
     }},
    {L"hata_baglanti",
     [](LauncherApp& app) {
         app.status.phase = UpdatePhase::Error;
         app.status.errorCode = ErrorKind::Connection;
         app.status.listVerified = false;
         app.status.manifestVersion = 0;
         app.status.errorTick = GetTickCount();
     }},
    {L"hata_kilitli",
     [](LauncherApp& app) {
         app.status.phase = UpdatePhase::Error;
         app.status.errorCode = ErrorKind::FileLocked;
         app.status.detailText = L"pack/root.epk";
         app.status.bytesDone = 30;
         app.status.bytesTotal = 100;
     }},
    {L"hazir_en",
     [](LauncherApp& app) {
         app.status.phase = UpdatePhase::Ready;
         uiLanguage = English;
     }},
    {L"ayar",
     [](LauncherApp& app) {
         app.status.phase = UpdatePhase::Ready;
         app.settingsOpen = true;
         app.display.simulatedScreenWidth = 1920;
         app.display.simulatedScreenHeight = 1080;
         app.display.dpiOverride = 120;
         app.display.windowWidth = 1600;
         app.display.windowHeight = 900;
         app.display.interfaceScale = 1.2f;
     }},
    {L"hazir_disli",
     [](LauncherApp& app) {
         app.status.phase = UpdatePhase::Ready;
         app.hoverId = 11;
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

bool prepare(LauncherApp& app, float scale) {
    app.uiScale = scale;
    createBackBuffer(app, static_cast<int>(std::floor(960 * scale + 0.5f)),
                     static_cast<int>(std::floor(560 * scale + 0.5f)));
    return app.backBuffer.bitmap && !app.backgroundPixels.empty();
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
double medianPaintMs(LauncherApp& app, int frames, double* cpuMs = nullptr) {
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    double cpuStart = threadCpuMs();
    for (int i = 0; i < frames; ++i) {
        app.frozenTime = 3.0 + i / 30.0;  // the embers move as in the window
        // and the byte counts move as in a download at 8.4 MB/s, so the detail line changes too
        if (app.status.phase == UpdatePhase::Downloading) {
            app.status.bytesDone = std::min(app.status.bytesTotal, app.status.bytesDone + 293601);
        }
        QueryPerformanceCounter(&before);
        paintFrame(app);
        QueryPerformanceCounter(&after);
        times.push_back(1000.0 * (after.QuadPart - before.QuadPart) / frequency.QuadPart);
    }
    if (cpuMs) *cpuMs = (threadCpuMs() - cpuStart) / frames;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Where a frame's time goes: each painter alone, on a graphics set up like paintFrame's.
void printBreakdown(LauncherApp& app) {
    Gdiplus::GpGraphics* g = nullptr;
    GdipGetImageGraphicsContext(app.backBuffer.bitmap, &g);
    GdipSetSmoothingMode(g, Gdiplus::SmoothingModeAntiAlias);
    GdipSetTextRenderingHint(g, Gdiplus::TextRenderingHintAntiAliasGridFit);
    GdipSetPixelOffsetMode(g, Gdiplus::PixelOffsetModeHalf);
    GdipSetInterpolationMode(g, Gdiplus::InterpolationModeNearestNeighbor);
    GdipScaleWorldTransform(g, app.uiScale, app.uiScale, Gdiplus::MatrixOrderPrepend);
    ScreenModel model = buildScreenModel(app);
    struct Part {
        const char* name;
        void (*paint)(LauncherApp&, Gdiplus::GpGraphics*, const ScreenModel&);
    } parts[] = {
        {"particles",
         [](LauncherApp& a, Gdiplus::GpGraphics* gr, const ScreenModel&) { paintParticles(a, gr, 3.0); }},
        {"title bar",
         [](LauncherApp& a, Gdiplus::GpGraphics* gr, const ScreenModel&) { paintTitleBar(a, gr); }},
        {"news and status", paintNewsAndStatus},
        {"bottom bar", paintBottomBar},
    };
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    for (const Part& part : parts) {
        std::vector<double> times;
        for (int i = 0; i < 60; ++i) {
            app.hitRegions.clear();
            QueryPerformanceCounter(&before);
            part.paint(app, g, model);
            QueryPerformanceCounter(&after);
            times.push_back(1000.0 * (after.QuadPart - before.QuadPart) / frequency.QuadPart);
        }
        std::sort(times.begin(), times.end());
        std::printf("  %-16s %.2f ms\n", part.name, times[times.size() / 2]);
    }
    GdipDeleteGraphics(g);

    std::vector<double> times;
    for (int i = 0; i < 60; ++i) {
        QueryPerformanceCounter(&before);
        std::memcpy(app.backBuffer.pixels, app.backgroundPixels.data(), app.backgroundPixels.size());
        Gdiplus::GpGraphics* fresh = nullptr;
        GdipGetImageGraphicsContext(app.backBuffer.bitmap, &fresh);
        GdipScaleWorldTransform(fresh, app.uiScale, app.uiScale, Gdiplus::MatrixOrderPrepend);
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
    app.frozenClock = true;
    app.frozenTime = 3.0;
    if (!loadImages(app)) {
        std::fprintf(stderr, "images missing\n");
        return 1;
    }
    createFonts(app);

    if (argc > 1) {
        CLSID png;
        if (!pngEncoder(&png)) return 1;
        CreateDirectoryW(argv[1], nullptr);
        for (float scale : {1.0f, 1.5f}) {
            if (!prepare(app, scale)) return 1;
            for (const State& state : kStates) {
                sampleStatus(app);
                state.apply(app);
                app.frozenTime = 3.0;
                paintFrame(app);
                std::wstring path = std::wstring(argv[1]) + L"\\" + state.name + L"_" +
                                    std::to_wstring(static_cast<int>(scale * 100)) + L".png";
                if (GdipSaveImageToFile(app.backBuffer.bitmap, path.c_str(), &png, nullptr) != Gdiplus::Ok) {
                    std::fprintf(stderr, "cannot write %ls\n", path.c_str());
                    return 1;
                }
            }
        }
    }

    for (float scale : {1.0f, 1.5f}) {
        if (!prepare(app, scale)) return 1;
        sampleStatus(app);
        downloading(app);
        medianPaintMs(app, 20);  // warm-up: font caches, first allocations
        double cpu = 0;
        double median = medianPaintMs(app, 300, &cpu);
        std::printf(
            "frame paint, scale %.1f (%dx%d): median %.2f ms over 300 frames (processor time %.2f ms per "
            "frame)\n",
            scale, app.backBuffer.width, app.backBuffer.height, median, cpu);
        printBreakdown(app);
    }
    return 0;
}
