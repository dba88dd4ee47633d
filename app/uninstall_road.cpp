#include "app/uninstall_road.h"

#include <windows.h>

#include <vector>

#include "base/handles.h"
#include "base/process.h"
#include "install/install_location.h"
#include "install/uninstaller.h"
#include "ui/text_table.h"

std::wstring keptDetail(const std::wstring& folder, const std::vector<std::wstring>& stayed) {
    constexpr size_t kNamesShown = 8;
    std::wstring detail = folder;
    for (size_t i = 0; i < stayed.size() && i < kNamesShown; ++i)
        detail += L"\n    " + stayed[i];
    if (stayed.size() > kNamesShown) detail += L"\n    \u2026";
    return detail;
}

int uninstallLauncherAt(const std::wstring& exePath, bool silent, int answer) {
    if (!silent && answer != IDYES) return 1;
    const std::wstring folder = parentFolder(exePath);
    // Only what the launcher put there goes; the player's own files, and anything reached through a
    // link, stay, and so does the folder then. The removal of the running launcher and the emptied
    // folder is started before the closing message but held back: the message must come before it
    // acts (it waits only about two seconds for this process to end), and it must say what will
    // really happen, also when the command processor cannot be started at all.
    UniqueKernelHandle removal;
    std::vector<std::wstring> stayed;
    bool started = false;
    if (unregisterLauncher(exePath)) {
        stayed = removeGameFiles(folder, exePath);
        started = startFolderRemoval(folder, exePath, &removal);
    }
    const bool removing = started && stayed.empty();
    if (!silent) {
        const TextTable& t = texts();
        if (removing) {
            MessageBoxW(nullptr, t[TextId::UninstallDone], t[TextId::UninstallTitle], MB_ICONINFORMATION);
        } else {
            std::wstring kept = formatText(t[TextId::UninstallKept], keptDetail(folder, stayed).c_str());
            MessageBoxW(nullptr, kept.c_str(), t[TextId::UninstallTitle], MB_ICONWARNING);
        }
    }
    releaseFolderRemoval(removal);
    // A silent removal is judged by its exit code alone: the files that stay make it a failure.
    return removing ? 0 : 1;
}

int uninstallGame(bool silent) {
    std::wstring exePath = moduleFilePath();
    int answer = IDYES;
    if (!silent) {
        const TextTable& t = texts();
        std::wstring question = formatText(t[TextId::UninstallConfirm], parentFolder(exePath).c_str());
        answer = MessageBoxW(nullptr, question.c_str(), t[TextId::UninstallTitle],
                             MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    }
    return uninstallLauncherAt(exePath, silent, answer);
}
