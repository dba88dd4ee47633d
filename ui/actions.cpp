#include "ui/actions.h"

#include <windows.h>
#include <shellapi.h>

#include "display/display_settings.h"
#include "install/game_folder.h"
#include "install/game_launch.h"
#include "install/install_location.h"
#include "ui/dpi.h"
#include "ui/install_action.h"
#include "ui/text_table.h"

namespace {

void play(LauncherUi& ui) {
    HWND window = ui.window.handle;
    applyDefaultDisplaySettings(gameFolder(ui), systemDpi());
    const SystemError launched = launchGame(window, gameFolder(ui));
    if (!launched.failed()) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return;
    }
    if (launched.code == ERROR_CANCELLED) return;  // the user declined elevation: nothing to say
    const TextTable& t = texts();
    if (launched.code == ERROR_FILE_NOT_FOUND) {
        MessageBoxW(window, t[TextId::GameExeMissing], t[TextId::Title], MB_ICONWARNING);
        requestRun(ui.runs, RunRequest::RefetchGame);
        return;
    }
    MessageBoxW(window, formatText(t[TextId::LaunchFailed], static_cast<unsigned>(launched.code)).c_str(),
                t[TextId::Title], MB_ICONERROR);
}

void primaryAction(LauncherUi& ui) {
    if (installMode(ui)) {
        runInstallAction(ui);
        return;
    }
    switch (ui.status.phase) {
        case UpdatePhase::Ready:
            play(ui);
            break;
        case UpdatePhase::Error:
            requestRun(ui.runs, RunRequest::Retry);  // refused while the failed run is still ending
            break;
        default:
            break;  // the button is disabled in every other phase
    }
}

void toggleLanguage(LauncherUi& ui) {
    uiLanguage = uiLanguage == UiLanguage::English ? UiLanguage::Turkish : UiLanguage::English;
    // The installed game follows the launcher's language; the install screen has no game yet.
    if (!installMode(ui)) writeGameLanguage(gameFolder(ui), uiLanguage);
    SetWindowTextW(ui.window.handle, texts()[TextId::Title]);
}

void changeInstallFolder(LauncherUi& ui) {
    if (!pickInstallFolder(ui.window.handle, ui.installForm.folder)) return;
    refreshFreeSpace(ui.installForm, GetTickCount());
}

}  // namespace

void onClick(LauncherUi& ui, ClickId id) {
    switch (id) {
        case ClickId::Minimise:
            ShowWindow(ui.window.handle, SW_MINIMIZE);
            break;
        case ClickId::Close:
            PostMessageW(ui.window.handle, WM_CLOSE, 0, 0);
            break;
        case ClickId::Repair:
            requestRun(ui.runs, RunRequest::Repair);  // refused while a run is active
            break;
        case ClickId::GameFolder:
            ShellExecuteW(ui.window.handle, L"open", gameFolder(ui).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            break;
        case ClickId::Language:
            toggleLanguage(ui);
            break;
        case ClickId::Primary:
            primaryAction(ui);
            break;
        case ClickId::FolderBox:
        case ClickId::ChangeFolder:
            changeInstallFolder(ui);
            break;
        case ClickId::DesktopShortcut:
            ui.installForm.desktopShortcut = !ui.installForm.desktopShortcut;
            break;
        case ClickId::StartMenuShortcut:
            ui.installForm.startMenuShortcut = !ui.installForm.startMenuShortcut;
            break;
        case ClickId::Settings:
            openDisplaySettings(ui.settings, gameFolder(ui));
            break;
        default:
            onSettingsClick(ui.settings, gameFolder(ui), id);
            break;
    }
    // Every action may change what the screen shows.
    InvalidateRect(ui.window.handle, nullptr, FALSE);
}
