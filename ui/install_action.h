// The install screen's primary action: check the folder and the space, install on the UI thread,
// then hand over to the installed copy; and the text that tells the user why an install failed.
#pragma once

#include <string>

#include "install/installer.h"
#include "ui/launcher_ui.h"

void runInstallAction(LauncherUi& ui);
// The detail of "Installation failed": the path that failed, a line break, the system's text.
std::wstring installFailureDetail(const InstallResult& result);
