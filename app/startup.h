// Start-up decisions made before any window exists: the command line and its options, the start-up
// options handed to the window, the UI language, and the self-update clean-up.
#pragma once

#include <string>
#include <vector>

#include "base/ui_language.h"
#include "update/run_control.h"

// What the process was started as: the run control's options and how the window is to be shown.
struct StartupOptions {
    RunOptions run;
    int showCommand = 1;
};

// What the command line asks for; arguments exclude argument 0.
struct CommandLine {
    bool uninstall = false;        // "--kaldir"
    bool silent = false;           // "--sessiz"
    bool afterSelfUpdate = false;  // "--guncellendi"
    bool preview = false;          // "--onizleme" with a folder
    std::wstring previewFolder;
    std::wstring passThroughArgs;
};

CommandLine parseArguments(const std::vector<std::wstring>& args);
// Splits GetCommandLineW with CommandLineToArgvW and drops argument 0; empty when splitting fails.
std::vector<std::wstring> processArguments();

// The start-up options for the launcher at exePath: install mode when its folder holds no game.
StartupOptions startupOptions(const CommandLine& commandLine, const std::wstring& exePath, int showCommand);

// From the user's default UI language: Turkish when its primary id is 0x1F.
UiLanguage defaultUiLanguage();
// The game's language file in folder when it names one, else the user's default.
UiLanguage startupUiLanguage(const std::wstring& folder);

// Deletes exePath + ".yeni", a download or a failed build an ended process left behind. ".eski" stays:
// it is the way back until this launcher's first run reaches Ready (the run control removes it then).
void cleanupAfterSelfUpdate(const std::wstring& exePath);
