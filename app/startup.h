// Start-up decisions made before any window exists: the command line and its options, whether the
// game is installed, the UI language read from the game's language file, and the self-update clean-up.
#pragma once

#include <string>
#include <vector>

struct StartupOptions {
    bool installMode = false;
    bool afterSelfUpdate = false;
    std::wstring launcherFolder;
    std::wstring launcherExePath;
    std::wstring passThroughArgs;
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

bool isGameInstalled(const std::wstring& folder);

// Reads folder\pack\dil.cfg; returns false when it names no language. language: 0 Turkish, 1 English.
bool detectUiLanguage(const std::wstring& folder, int& language);
int defaultUiLanguage();  // from the user's default UI language: Turkish when its primary id is 0x1F
int startupUiLanguage(const std::wstring& folder);

// Deletes exePath + ".eski" (retrying while the old process still holds it) and exePath + ".yeni".
void cleanupAfterSelfUpdate(const std::wstring& exePath, int attempts = 30, unsigned sleepMs = 100);
