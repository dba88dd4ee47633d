// The install screen's primary action: check the folder and the space, install on the UI thread,
// then hand over to the installed copy.
#include <windows.h>

#include "app/launcher_app.h"
#include "base/file.h"
#include "base/names.h"
#include "base/process.h"
#include "install/game_launch.h"
#include "install/install_location.h"
#include "install/installer.h"
#include "ui/actions.h"
#include "ui/text_table.h"

namespace {
void showInstallFailed(LauncherApp& app, const std::wstring& detail) {
    std::wstring text = formatText(texts()[InstallFailed], detail.c_str());
    MessageBoxW(app.window, text.c_str(), texts()[Title], MB_ICONERROR);
}
}  // namespace

void runInstallAction(LauncherApp& app) {
    std::wstring folder = trimInstallFolder(app.installFolder);
    if (!isAcceptableInstallFolder(folder)) {
        showInstallFailed(app, folder);
        return;
    }

    uint64_t required = app.status.requiredBytes;
    if (required != 0) {
        app.freeBytes = freeSpaceAt(app.installFolder);
        app.freeBytesCheckedAt = GetTickCount();
        // Free space 0 means unknown: the install goes ahead rather than refusing on a guess.
        if (app.freeBytes != 0 && app.freeBytes < required) {
            std::wstring text = formatText(texts()[InstallNoSpace], formatGigabytes(required).c_str(),
                                           formatGigabytes(app.freeBytes).c_str());
            MessageBoxW(app.window, text.c_str(), texts()[Title], MB_ICONWARNING);
            return;
        }
    }

    // The install blocks this thread: put its state on screen first.
    app.installing = true;
    InvalidateRect(app.window, nullptr, FALSE);
    UpdateWindow(app.window);

    std::wstring errorText;
    if (!installGame(folder, app.desktopShortcut, app.startMenuShortcut, required, errorText)) {
        app.installing = false;
        showInstallFailed(app, errorText);
        return;
    }
    std::wstring installed = joinPath(folder, kLauncherFileName);
    if (startProcess(installed, L"", folder) == 0) {
        PostMessageW(app.window, WM_CLOSE, 0, 0);
        return;
    }
    app.installing = false;
    showInstallFailed(app, installed);
}
