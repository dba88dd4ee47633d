// Every text the launcher shows, in Turkish and English, indexed by TextId; the process-wide UI
// language; and the number formats that follow the language's decimal separator.
#pragma once

#include <cstdint>
#include <string>

#include "base/ui_language.h"

// Written at start-up and by the language toggle (UI thread only after start-up).
extern UiLanguage uiLanguage;

enum class TextId : int {
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
    UninstallKept,  // the game folder could not be removed: it names the folder that stays
    // Names a screen reader gives the controls that show no text of their own
    MinimiseName,
    CloseName,
    LanguageName,
    InstallFolderName,
    ProgressName,
    InstallFolderForeign,   // the chosen folder belongs to another account: names it
    InstallFolderProposed,  // the same for the default folder: names it and the folder proposed instead
    Count
};

inline constexpr int kTextCount = static_cast<int>(TextId::Count);

struct TextTable {
    const wchar_t* text[kTextCount];
    wchar_t decimalSeparator;
    const wchar_t* operator[](TextId id) const { return text[static_cast<int>(id)]; }
};

// The table of the current uiLanguage. Kept across a toggle, it still shows the old language.
const TextTable& texts();
const TextTable& textsFor(UiLanguage language);

std::wstring formatDecimal(double value, int digits);
std::wstring formatGigabytes(uint64_t bytes);
// printf-style formatting of a table text; output longer than 2047 characters is cut.
std::wstring formatText(const wchar_t* format, ...);
