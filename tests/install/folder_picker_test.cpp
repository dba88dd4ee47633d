#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "install/install_location.h"
#include "tests/support/launcher_process.h"
#include "tests/support/temp_folder.h"

namespace {
// The picker is modal on the test's own thread; a second thread plays the user.
HWND findOwnDialog() {
    struct Search {
        DWORD process;
        HWND found;
    } search{GetCurrentProcessId(), nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            wchar_t className[64] = {};
            GetClassNameW(window, className, 64);
            if (process == s->process && IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND waitForDialog() {
    for (int i = 0; i < 200; ++i) {
        if (HWND dialog = findOwnDialog()) return dialog;
        Sleep(50);
    }
    return nullptr;
}

}  // namespace

TEST(FolderPicker, CancelKeepsTheFolder) {
    if (!haveDisplay()) GTEST_SKIP() << "no X display for the dialog";
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    std::atomic<bool> seen{false};
    std::thread user([&] {
        HWND dialog = waitForDialog();
        seen = dialog != nullptr;
        if (dialog) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    std::wstring folder = L"Z:\\no\\such\\place";
    EXPECT_FALSE(pickInstallFolder(nullptr, folder));
    user.join();
    EXPECT_TRUE(seen);
    EXPECT_EQ(folder, L"Z:\\no\\such\\place");
}

TEST(FolderPicker, OpensAtTheNearestExistingFolderAndAppendsTheGameFolder) {
    if (!haveDisplay()) GTEST_SKIP() << "no X display for the dialog";
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    TempFolder temp;
    CreateDirectoryW(temp.file(L"Oyunlar").c_str(), nullptr);
    CreateDirectoryW(temp.file(L"Oyunlar\\Secilen").c_str(), nullptr);
    std::wstring start = temp.file(L"Oyunlar\\deep\\missing");  // the dialog opens at Oyunlar
    std::thread user([&] {
        HWND dialog = waitForDialog();
        if (!dialog) return;
        Sleep(300);
        // A name relative to the folder the dialog opened at.
        HWND edit = FindWindowExW(dialog, nullptr, L"Edit", nullptr);
        if (edit) SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Secilen"));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        // Whatever happens, the dialog must not outlive the test.
        for (int i = 0; i < 40 && IsWindow(dialog); ++i)
            Sleep(50);
        if (IsWindow(dialog)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    std::wstring folder = start;
    bool picked = pickInstallFolder(nullptr, folder);
    user.join();
    EXPECT_TRUE(picked);
    EXPECT_EQ(folder, temp.file(L"Oyunlar\\Secilen\\Qorvane"));
}
