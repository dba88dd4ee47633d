// Process entry: parses the command line, picks the UI language, and takes one of four roads
// (uninstall, preview, hand-over to a running launcher, normal start). Every road ends in
// ExitProcess; nothing is torn down explicitly.
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <gdiplus.h>

#include "app/launcher_app.h"
#include "app/startup.h"
#include "app/uninstall_road.h"
#include "base/dll_search.h"
#include "base/names.h"
#include "base/process.h"
#include "ui/preview.h"
#include "ui/text_table.h"
#include "ui/window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    restrictDllSearch();
    CommandLine cl = parseArguments(processArguments());
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    std::wstring exePath = moduleFilePath();
    uiLanguage = startupUiLanguage(folderOf(exePath));

    if (cl.uninstall) ExitProcess(static_cast<UINT>(uninstallGame(cl.silent)));

    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartupInput gdiplusInput;
    Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);

    if (cl.preview) {
        LauncherApp* app = new LauncherApp();
        ExitProcess(renderPreview(app->ui, cl.previewFolder) ? 0 : 1);
    }

    HANDLE mutex = CreateMutexW(nullptr, TRUE, kInstanceMutexName);
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        // A self-updated launcher restarting itself: the old process releases the mutex as it ends.
        DWORD wait = WaitForSingleObject(mutex, 4000);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
            if (HWND other = FindWindowW(kWindowClassName, nullptr)) {
                ShowWindow(other, SW_RESTORE);
                SetForegroundWindow(other);
            }
            ExitProcess(0);
        }
    }

    cleanupAfterSelfUpdate(exePath);

    const StartupOptions options = startupOptions(cl, exePath, showCommand);
    LauncherApp* app = new LauncherApp();
    // Handed to the launcher this one may restart after a self-update, and taken back if that fails.
    app->runs.instanceMutex = mutex;
    UINT exitCode = 1;
    if (createWindow(app->ui, instance, options.run, options.showCommand)) {
        exitCode = static_cast<UINT>(runMessageLoop());
    } else {
        MessageBoxW(nullptr, L"Qorvane Launcher could not start.", L"Qorvane Launcher", MB_ICONERROR);
    }
    ExitProcess(exitCode);
}
