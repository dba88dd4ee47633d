#include "ui/install_action.h"

#include <windows.h>

#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/process.h"
#include "base/text.h"
#include "install/install_location.h"
#include "ui/text_table.h"

namespace {
void showInstallFailed(HWND window, const std::wstring& detail) {
    const TextTable& t = texts();
    std::wstring text = formatText(t[TextId::InstallFailed], detail.c_str());
    MessageBoxW(window, text.c_str(), t[TextId::Title], MB_ICONERROR);
}
}  // namespace

std::wstring installFailureDetail(const InstallResult& result) {
    return result.error.what + L"\n" + systemErrorText(result.error.code);
}

std::wstring perUserInstallFolder() {
    const std::wstring local = knownFolderPath(FOLDERID_LocalAppData);
    return local.empty() ? std::wstring() : joinPath(joinPath(local, L"Programs"), kGameFolderName);
}

ForeignFolderAnswer foreignFolderAnswer(const TextTable& table, const InstallResult& result,
                                        const std::wstring& chosen, const std::wstring& defaultFolder,
                                        const std::wstring& perUserFolder) {
    const bool wasDefault = !perUserFolder.empty() && sameName(chosen, defaultFolder);
    if (!wasDefault)
        return {formatText(table[TextId::InstallFolderForeign], result.error.what.c_str()), std::wstring()};
    return {
        formatText(table[TextId::InstallFolderProposed], result.error.what.c_str(), perUserFolder.c_str()),
        perUserFolder};
}

void runInstallAction(LauncherUi& ui) {
    InstallForm& form = ui.installForm;
    HWND window = ui.window.handle;
    std::wstring folder = trimInstallFolder(form.folder);
    if (!isAcceptableInstallFolder(folder)) {
        showInstallFailed(window, folder);
        return;
    }

    const uint64_t required = ui.status.requiredBytes;
    if (required != 0) {
        refreshFreeSpace(form, GetTickCount());
        // Free space 0 means unknown: the install goes ahead rather than refusing on a guess.
        if (form.freeBytes != 0 && form.freeBytes < required) {
            const TextTable& t = texts();
            std::wstring text = formatText(t[TextId::InstallNoSpace], formatGigabytes(required).c_str(),
                                           formatGigabytes(form.freeBytes).c_str());
            MessageBoxW(window, text.c_str(), t[TextId::Title], MB_ICONWARNING);
            return;
        }
    }

    // The install blocks this thread: put its state on screen first.
    form.installing = true;
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);

    InstallChoices choices;
    choices.desktopShortcut = form.desktopShortcut;
    choices.startMenuShortcut = form.startMenuShortcut;
    choices.requiredBytes = required;
    choices.language = uiLanguage;
    const InstallResult result = installGame(folder, choices);
    if (result.foreignOwner) {
        // Another account could replace the game's programs there later: the player installs elsewhere,
        // and when it was the default folder the screen offers the player's own one instead.
        form.installing = false;
        const TextTable& t = texts();
        const ForeignFolderAnswer answer = foreignFolderAnswer(
            t, result, folder, trimInstallFolder(defaultInstallFolder()), perUserInstallFolder());
        if (!answer.proposedFolder.empty()) {
            form.folder = answer.proposedFolder;
            refreshFreeSpace(form, GetTickCount());
        }
        MessageBoxW(window, answer.text.c_str(), t[TextId::Title], MB_ICONWARNING);
        return;
    }
    if (result.error.failed()) {
        form.installing = false;
        showInstallFailed(window, installFailureDetail(result));
        return;
    }
    // The game may have gone into folder\Qorvane: the folder held other things.
    std::wstring installed = joinPath(result.folder, kLauncherFileName);
    if (startProcess(installed, L"", result.folder) == 0) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return;
    }
    form.installing = false;
    showInstallFailed(window, installed);
}
