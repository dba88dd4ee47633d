// Every text the launcher shows, in Turkish and English, indexed by TextId; the process-wide UI
// language; and the number formats that follow the language's decimal separator.
#pragma once

#include <cstdint>
#include <string>

enum UiLanguage : int { Turkish = 0, English = 1 };

// Written at start-up and by the language toggle (UI thread only after start-up).
extern int uiLanguage;

enum TextId : int {
    Title,
    NewsHeading,
    StatusHeading,
    RowGameFiles,
    RowUpdates,
    RowServer,
    RowVersion,
    InstallFolderHeading,
    ChangeFolder,
    SpaceLine,
    Calculating,
    DesktopShortcut,
    StartMenuShortcut,
    ButtonPlay,
    ButtonInstall,
    ButtonRetry,
    RepairFiles,
    GameFolder,
    HintAfterCheck,
    HintAfterDownload,
    HintWaitingConnection,
    InstallPrompt,
    InstallExplain,
    StatusInstalling,
    StatusConnecting,
    StatusChecking,
    StatusDownloading,
    StatusCleaning,
    StatusReady,
    StatusAllVerified,
    StatusFilesUpdated,
    StatusLauncherUpdated,
    ErrConnection,
    ErrConnectionDetail,
    ErrSignature,
    ErrSignatureDetail,
    ErrGameRunning,
    ErrWrite,
    ErrDiskFull,
    ErrDownload,
    ErrRetryDetail,
    ValueVerified,
    ValueChecked,
    ValueUpToDate,
    ValueOnline,
    ValueConnecting,
    ValueOffline,
    ValueError,
    TimeLeft,
    Seconds,
    MinutesSeconds,
    Speed,
    UninstallConfirm,
    UninstallDone,
    UninstallTitle,
    InstallNoSpace,
    InstallFailed,
    LaunchFailed,
    GameExeMissing,
    SettingsButton,
    SettingsHeading,
    WindowSizeLabel,
    InterfaceSizeLabel,
    FillScreen,
    TooBig,
    DefaultButton,
    CancelButton,
    SaveButton,
    WindowLine,
    ScreenLine,
    InterfaceLine,
    OpensAtThisSize,
    PercentFormat,
    SmallScreenAdvice,
    SavedNotice,
    SettingsWriteFailed,
    TextCount
};

struct TextTable {
    const wchar_t* text[TextCount];
    wchar_t decimalSeparator;
    const wchar_t* operator[](int id) const { return text[id]; }
};

// The table of the current uiLanguage. Kept across a toggle, it still shows the old language.
const TextTable& texts();
const TextTable& textsFor(int language);

std::wstring formatDecimal(double value, int digits);
std::wstring formatGigabytes(uint64_t bytes);
// printf-style formatting of a table text; output longer than 2047 characters is cut.
std::wstring formatText(const wchar_t* format, ...);
