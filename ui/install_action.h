// The install screen's primary action: check the folder and the space, install on the UI thread,
// then hand over to the installed copy; and the text that tells the user why an install failed.
#pragma once

#include <string>

#include "install/installer.h"
#include "ui/launcher_ui.h"
#include "ui/text_table.h"

void runInstallAction(LauncherUi& ui);
// The detail of "Installation failed": the path that failed, a line break, the system's text.
std::wstring installFailureDetail(const InstallResult& result);
// %LOCALAPPDATA%\Programs\Qorvane: where a player's own programs go, which no other account owns.
std::wstring perUserInstallFolder();
// What the install screen says when the install was refused because another account owns the folder
// (result.foreignOwner), and the folder it proposes instead: perUserInstallFolder when the refused
// choice was the default folder, else nothing (the player picks another).
struct ForeignFolderAnswer {
    std::wstring text;
    std::wstring proposedFolder;
};
ForeignFolderAnswer foreignFolderAnswer(const TextTable& table, const InstallResult& result,
                                        const std::wstring& chosen, const std::wstring& defaultFolder,
                                        const std::wstring& perUserFolder);
