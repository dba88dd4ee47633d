#include "app/uninstall_road.h"

#include <windows.h>

#include "base/process.h"
#include "install/install_location.h"
#include "install/uninstaller.h"
#include "ui/text_table.h"

int uninstallLauncherAt(const std::wstring& exePath, bool silent, int answer) {
    if (!silent && answer != IDYES) return 1;
    const bool removable = unregisterLauncher(exePath);
    // The message comes before the folder's removal starts: the removal waits only about two
    // seconds for this process to end.
    if (!silent) {
        const TextTable& t = texts();
        MessageBoxW(nullptr, t[TextId::UninstallDone], t[TextId::UninstallTitle], MB_ICONINFORMATION);
    }
    if (removable) startFolderRemoval(parentFolder(exePath));
    return 0;
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
