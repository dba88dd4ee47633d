#include "ui/preview.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "app/launcher_app.h"
#include "ui/drawing.h"
#include "ui/frame.h"
#include "ui/text_table.h"
#include "ui/window.h"

using namespace Gdiplus::DllExports;

namespace {

constexpr int kStateCount = 13;
const wchar_t* const kStateNames[kStateCount] = {
    L"kurulum",      L"baglaniyor", L"tarama", L"indirme", L"hazir",      L"hazir_uzerinde", L"hata_baglanti",
    L"hata_kilitli", L"hazir_en",   L"ayar",   L"ayar_en", L"ayar_kucuk", L"hazir_disli"};

bool findPngEncoder(CLSID* clsid) {
    UINT count = 0, bytes = 0;
    if (GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || count == 0 || bytes == 0) return false;
    std::vector<unsigned char> buffer(bytes);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (GdipGetImageEncoders(count, bytes, encoders) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (encoders[i].MimeType && wcscmp(encoders[i].MimeType, L"image/png") == 0) {
            *clsid = encoders[i].Clsid;
            return true;
        }
    }
    return false;
}

StatusSnapshot sampleStatus() {
    StatusSnapshot s;
    s.manifestVersion = 1791945000;
    s.requiredBytes = 1913651200;
    s.listVerified = true;
    s.news[Turkish] = {{L"14.10", L"*Oto İksir* ve *Oto Av* artık PC'de!"},
                       {L"13.10", L"Yeni *biyolog* ve seviye görevleri eklendi."},
                       {L"12.10", L"Efsun değiştirme oranları güncellendi."}};
    s.news[English] = {{L"14.10", L"*Auto Potion* and *Auto Hunt* are now on PC!"},
                       {L"13.10", L"New *biologist* and level quests added."},
                       {L"12.10", L"Bonus switch rates updated."}};
    return s;
}

void openSettingsState(LauncherApp& app, int screenWidth, int screenHeight, int dpi, int windowWidth,
                       int windowHeight, float scale) {
    app.status.phase = UpdatePhase::Ready;
    app.display.simulatedScreenWidth = screenWidth;
    app.display.simulatedScreenHeight = screenHeight;
    app.display.dpiOverride = dpi;
    app.settingsOpen = true;
    app.display.windowWidth = windowWidth;
    app.display.windowHeight = windowHeight;
    app.display.interfaceScale = scale;
}

void applyState(LauncherApp& app, int index) {
    StatusSnapshot& s = app.status;
    switch (index) {
        case 0:
            app.installMode = true;
            app.installFolder = L"C:\\Qorvane";
            app.freeBytes = 158913789952ull;
            break;
        case 1:
            s.phase = UpdatePhase::Connecting;
            s.manifestVersion = 0;
            s.listVerified = false;
            break;
        case 2:
            s.phase = UpdatePhase::Scanning;
            s.filesDone = 124;
            s.filesTotal = 201;
            s.detailText = L"pack/season2.epk";
            s.bytesDone = 62;
            s.bytesTotal = 100;
            break;
        case 3:
            s.phase = UpdatePhase::Downloading;
            s.filesDone = 3;
            s.filesTotal = 7;
            s.detailText = L"pack/root.epk";
            s.bytesDone = 48444211;
            s.bytesTotal = 123731968;
            s.bytesPerSecond = 8808038.4;
            break;
        case 4:
            s.phase = UpdatePhase::Ready;
            s.filesUpdated = 7;
            break;
        case 5:
            s.phase = UpdatePhase::Ready;
            app.hoverId = 6;
            break;
        case 6:
            s.phase = UpdatePhase::Error;
            s.errorCode = ErrorKind::Connection;
            s.listVerified = false;
            s.manifestVersion = 0;
            s.errorTick = GetTickCount();
            break;
        case 7:
            s.phase = UpdatePhase::Error;
            s.errorCode = ErrorKind::FileLocked;
            s.detailText = L"pack/root.epk";
            s.bytesDone = 30;
            s.bytesTotal = 100;
            break;
        case 8:
            s.phase = UpdatePhase::Ready;
            uiLanguage = English;
            break;
        case 9:
        case 10:
            openSettingsState(app, 1920, 1080, 120, 1600, 900, 1.2f);
            if (index == 10) uiLanguage = English;
            break;
        case 11:
            openSettingsState(app, 1366, 768, 96, 1366, 705, 1.0f);
            app.noticeAt = GetTickCount() | 1;
            app.noticeIsError = false;
            break;
        case 12:
            s.phase = UpdatePhase::Ready;
            app.hoverId = 11;
            break;
    }
}

void resetWindowState(LauncherApp& app) {
    app.settingsOpen = false;
    app.noticeAt = 0;
    app.noticeIsError = false;
    app.display.simulatedScreenWidth = 0;
    app.display.simulatedScreenHeight = 0;
    app.display.dpiOverride = 0;
    app.installMode = false;
    app.installing = false;
    app.hoverId = 0;
    app.pressedId = 0;
    uiLanguage = Turkish;
}

bool renderScale(LauncherApp& app, const std::wstring& folder, float scale, const CLSID& png,
                 const StatusSnapshot& sample) {
    app.uiScale = scale;
    createBackBuffer(app, static_cast<int>(std::floor(960 * scale + 0.5f)),
                     static_cast<int>(std::floor(560 * scale + 0.5f)));
    int percent = static_cast<int>(scale * 100);
    for (int index = 0; index < kStateCount; ++index) {
        app.status = sample;
        resetWindowState(app);
        applyState(app, index);
        paintFrame(app);
        std::wstring path = formatText(L"%s\\%s_%d.png", folder.c_str(), kStateNames[index], percent);
        if (!app.backBuffer.bitmap ||
            GdipSaveImageToFile(app.backBuffer.bitmap, path.c_str(), &png, nullptr) != Gdiplus::Ok)
            return false;
    }
    return true;
}

}  // namespace

bool renderPreview(LauncherApp& app, const std::wstring& folder) {
    app.frozenClock = true;
    app.frozenTime = 3.0;
    app.instance = GetModuleHandleW(nullptr);
    if (!loadImages(app)) return false;
    createFonts(app);
    CLSID png;
    if (!findPngEncoder(&png)) return false;
    CreateDirectoryW(folder.c_str(), nullptr);

    // The language is process-wide; callers other than the preview road get theirs back.
    int language = uiLanguage;
    StatusSnapshot sample = sampleStatus();
    bool ok = renderScale(app, folder, 1.0f, png, sample) && renderScale(app, folder, 1.5f, png, sample);
    uiLanguage = language;
    return ok;
}
