#include "ui/preview.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "build_config.h"
#include "ui/dpi.h"
#include "ui/frame.h"
#include "ui/text_table.h"

using namespace Gdiplus::DllExports;

namespace {

constexpr int kStateCount = 13;
// Added to a state's name in the pictures painted with high contrast.
constexpr wchar_t kContrastSuffix[] = L"_kontrast";
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
    s.host = QORVANE_DEFAULT_HOST;
    s.news[languageIndex(UiLanguage::Turkish)] = {{L"14.10", L"*Oto İksir* ve *Oto Av* artık PC'de!"},
                                                  {L"13.10", L"Yeni *biyolog* ve seviye görevleri eklendi."},
                                                  {L"12.10", L"Efsun değiştirme oranları güncellendi."}};
    s.news[languageIndex(UiLanguage::English)] = {{L"14.10", L"*Auto Potion* and *Auto Hunt* are now on PC!"},
                                                  {L"13.10", L"New *biologist* and level quests added."},
                                                  {L"12.10", L"Bonus switch rates updated."}};
    return s;
}

// The preview's run control never runs: its install-mode option only chooses the screen.
void setInstallMode(LauncherUi& ui, bool on) {
    ui.runs.options.installMode = on;
}

void openSettingsState(LauncherUi& ui, int screenWidth, int screenHeight, int dpi, int windowWidth,
                       int windowHeight, float scale) {
    ui.status.phase = UpdatePhase::Ready;
    ui.settings.draft.simulatedScreenWidth = screenWidth;
    ui.settings.draft.simulatedScreenHeight = screenHeight;
    ui.settings.draft.dpiOverride = dpi;
    ui.settings.open = true;
    ui.settings.draft.windowWidth = windowWidth;
    ui.settings.draft.windowHeight = windowHeight;
    ui.settings.draft.interfaceScale = scale;
}

void applyState(LauncherUi& ui, int index) {
    StatusSnapshot& s = ui.status;
    switch (index) {
        case 0:
            setInstallMode(ui, true);
            ui.installForm.folder = L"C:\\Qorvane";
            ui.installForm.freeBytes = 158913789952ull;
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
            ui.window.hoverId = ClickId::Primary;
            break;
        case 6:
            s.phase = UpdatePhase::Error;
            s.errorCode = ErrorKind::Connection;
            s.listVerified = false;
            s.manifestVersion = 0;
            s.errorTick = GetTickCount();
            s.retryAt = s.errorTick + kConnectionRetryMs;
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
            uiLanguage = UiLanguage::English;
            break;
        case 9:
        case 10:
            openSettingsState(ui, 1920, 1080, 120, 1600, 900, 1.2f);
            if (index == 10) uiLanguage = UiLanguage::English;
            break;
        case 11:
            openSettingsState(ui, 1366, 768, 96, 1366, 705, 1.0f);
            ui.settings.noticeAt = GetTickCount() | 1;
            ui.settings.noticeIsError = false;
            break;
        case 12:
            s.phase = UpdatePhase::Ready;
            ui.window.hoverId = ClickId::Settings;
            break;
    }
}

void resetWindowState(LauncherUi& ui) {
    ui.settings.open = false;
    ui.settings.noticeAt = 0;
    ui.settings.noticeIsError = false;
    ui.settings.draft.simulatedScreenWidth = 0;
    ui.settings.draft.simulatedScreenHeight = 0;
    ui.settings.draft.dpiOverride = 0;
    setInstallMode(ui, false);
    ui.installForm.installing = false;
    ui.window.hoverId = ClickId::None;
    ui.window.pressedId = ClickId::None;
    uiLanguage = UiLanguage::Turkish;
}

// The look a picture is painted in: the design's, or the fixed high-contrast scheme.
Look previewLook(bool highContrast) {
    Look look;
    look.highContrast = highContrast;
    look.colours = previewContrastColours();
    return look;
}

bool renderScale(LauncherUi& ui, const std::wstring& folder, float scale, bool highContrast, const CLSID& png,
                 const StatusSnapshot& sample) {
    ui.window.uiScale = scale;
    ui.window.look = previewLook(highContrast);
    if (!sizeFrame(ui, scaledLength(960, scale), scaledLength(560, scale))) return false;
    int percent = static_cast<int>(scale * 100);
    for (int index = 0; index < kStateCount; ++index) {
        ui.status = sample;
        resetWindowState(ui);
        applyState(ui, index);
        paintFrame(ui);
        std::wstring name = std::wstring(kStateNames[index]) + (highContrast ? kContrastSuffix : L"");
        std::wstring path = formatText(L"%s\\%s_%d.png", folder.c_str(), name.c_str(), percent);
        if (GdipSaveImageToFile(ui.backBuffer.bitmap.get(), path.c_str(), &png, nullptr) != Gdiplus::Ok)
            return false;
    }
    return true;
}

}  // namespace

bool showPreviewState(LauncherUi& ui, const std::wstring& name) {
    for (int index = 0; index < kStateCount; ++index) {
        if (name != kStateNames[index]) continue;
        ui.status = sampleStatus();
        resetWindowState(ui);
        applyState(ui, index);
        return true;
    }
    return false;
}

bool renderPreview(LauncherUi& ui, const std::wstring& folder) {
    ui.window.clock.frozen = true;
    ui.window.clock.frozenTime = kStillEmberTime;
    ui.window.instance = GetModuleHandleW(nullptr);
    if (!loadImages(ui.drawing, ui.window.instance)) return false;
    createFonts(ui.drawing);
    CLSID png;
    if (!findPngEncoder(&png)) return false;
    CreateDirectoryW(folder.c_str(), nullptr);

    // The language is process-wide; callers other than the preview road get theirs back.
    const UiLanguage language = uiLanguage;
    StatusSnapshot sample = sampleStatus();
    const Look look = ui.window.look;
    bool ok = true;
    for (bool highContrast : {false, true}) {
        for (float scale : {1.0f, 1.5f})
            ok = ok && renderScale(ui, folder, scale, highContrast, png, sample);
    }
    uiLanguage = language;
    ui.window.look = look;
    return ok;
}
