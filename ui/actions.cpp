#include "ui/actions.h"

#include <windows.h>
#include <shellapi.h>

#include "app/launcher_app.h"
#include "display/display_settings.h"
#include "install/game_launch.h"
#include "install/install_location.h"
#include "install/installer.h"
#include "ui/settings_panel.h"
#include "ui/text_table.h"
#include "ui/window.h"
#include "update/updater.h"
#include "update/worker.h"

namespace {

void play(LauncherApp& app) {
    applyDefaultDisplaySettings(app.launcherFolder, systemDpi());
    const LaunchResult result = launchGame(app.window, app.launcherFolder);
    if (result.started) {
        PostMessageW(app.window, WM_CLOSE, 0, 0);
        return;
    }
    if (result.errorCode == ERROR_CANCELLED) return;  // the user declined elevation: nothing to say
    if (result.errorCode == ERROR_FILE_NOT_FOUND) {
        MessageBoxW(app.window, texts()[GameExeMissing], texts()[Title], MB_ICONWARNING);
        startRun(app.updater, false, false);  // the new run downloads the missing client again
        return;
    }
    MessageBoxW(app.window,
                formatText(texts()[LaunchFailed], static_cast<unsigned>(result.errorCode)).c_str(),
                texts()[Title], MB_ICONERROR);
}

void primaryAction(LauncherApp& app) {
    if (app.installMode) {
        runInstallAction(app);
        return;
    }
    switch (app.status.phase) {
        case UpdatePhase::Ready:
            play(app);
            break;
        case UpdatePhase::Error:
            if (!app.updater.workerRunning) startRun(app.updater, false, false);
            break;
        default:
            break;  // the button is disabled in every other phase
    }
}

void toggleLanguage(LauncherApp& app) {
    uiLanguage = 1 - uiLanguage;
    // The installed game follows the launcher's language; the install screen has no game yet.
    if (!app.installMode) writeGameLanguage(app.launcherFolder, uiLanguage);
    SetWindowTextW(app.window, texts()[Title]);
}

void changeInstallFolder(LauncherApp& app) {
    if (!pickInstallFolder(app.window, app.installFolder)) return;
    app.freeBytes = freeSpaceAt(app.installFolder);
    app.freeBytesCheckedAt = GetTickCount();
}

}  // namespace

void onClick(LauncherApp& app, int id) {
    switch (id) {
        case 1:
            ShowWindow(app.window, SW_MINIMIZE);
            break;
        case 2:
            PostMessageW(app.window, WM_CLOSE, 0, 0);
            break;
        case 3:
            startRun(app.updater, true, false);  // ignored while a run is active
            break;
        case 4:
            ShellExecuteW(app.window, L"open", app.launcherFolder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            break;
        case 5:
            toggleLanguage(app);
            break;
        case 6:
            primaryAction(app);
            break;
        case 7:
        case 8:
            changeInstallFolder(app);
            break;
        case 9:
            app.desktopShortcut = !app.desktopShortcut;
            break;
        case 10:
            app.startMenuShortcut = !app.startMenuShortcut;
            break;
        case 11:
            openDisplaySettings(app);
            break;
        case 13:
        case 25:
            app.settingsOpen = false;
            break;
        default:
            if (id >= 14 && id <= 26) onSettingsClick(app, id);
            break;
    }
    // Every action may change what the screen shows.
    InvalidateRect(app.window, nullptr, FALSE);
}
