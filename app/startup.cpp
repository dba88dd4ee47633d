#include "app/startup.h"

#include <windows.h>
#include <shellapi.h>

#include "base/file.h"
#include "base/names.h"
#include "base/path_identity.h"
#include "base/process.h"
#include "install/game_folder.h"

CommandLine parseArguments(const std::vector<std::wstring>& args) {
    CommandLine cl;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        if (sameName(a, kUninstallOption)) {
            cl.uninstall = true;
        } else if (sameName(a, kSilentOption)) {
            cl.silent = true;
        } else if (sameName(a, kAfterSelfUpdateOption)) {
            cl.afterSelfUpdate = true;
        } else if (sameName(a, kPreviewOption) && i + 1 < args.size()) {
            cl.preview = true;
            cl.previewFolder = args[++i];
        } else {
            if (!cl.passThroughArgs.empty()) cl.passThroughArgs += L' ';
            cl.passThroughArgs += quoteArgument(a);
        }
    }
    return cl;
}

std::vector<std::wstring> processArguments() {
    std::vector<std::wstring> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i)
        args.emplace_back(argv[i]);
    LocalFree(argv);
    return args;
}

StartupOptions startupOptions(const CommandLine& commandLine, const std::wstring& exePath, int showCommand) {
    StartupOptions options;
    options.run.launcherExePath = exePath;
    options.run.launcherFolder = folderOf(exePath);
    options.run.installMode = !isGameInstalled(options.run.launcherFolder);
    options.run.afterSelfUpdate = commandLine.afterSelfUpdate;
    options.run.passThroughArgs = commandLine.passThroughArgs;
    options.showCommand = showCommand;
    return options;
}

UiLanguage defaultUiLanguage() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == 0x1F ? UiLanguage::Turkish : UiLanguage::English;
}

UiLanguage startupUiLanguage(const std::wstring& folder) {
    return readGameLanguage(folder).value_or(defaultUiLanguage());
}

void cleanupAfterSelfUpdate(const std::wstring& exePath) {
    const std::wstring unfinished = exePath + kNewFileSuffix;
    SetFileAttributesW(unfinished.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(unfinished.c_str());
}
