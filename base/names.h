// Every name the program writes or looks for outside its own code, in one place: the files and
// folders of the game folder and of the launcher's "koruma", the documents on the download server,
// the suffixes of files on their way into place, the launcher's command-line options, and the
// single-instance mutex and window class.
#pragma once

// The game folder. The launcher's own file at the top is replaced only by the self-update, never
// scanned as a game file and never deleted as an extra file.
inline constexpr wchar_t kLauncherFileName[] = L"Qorvane Launcher.exe";
inline constexpr wchar_t kGameFileName[] = L"Qorvane.exe";       // the game client the launcher starts
inline constexpr wchar_t kGameFolderName[] = L"Qorvane";         // a new install folder's own name
inline constexpr wchar_t kProtectionFolderName[] = L"koruma";    // everything the launcher keeps for itself
inline constexpr wchar_t kGameLanguageFile[] = L"pack/dil.cfg";  // the game client's language
inline constexpr wchar_t kGameWindowFile[] = L"sorvik.cfg";      // the game client's window size
inline constexpr wchar_t kGameScaleFile[] = L"zoom.cfg";         // the game client's interface scale

// Files in "koruma".
inline constexpr wchar_t kLogFileName[] = L"launcher_gunluk.txt";
inline constexpr wchar_t kHashCacheFileName[] = L"onbellek.txt";
inline constexpr wchar_t kTempJournalFileName[] = L"gecici.txt";
inline constexpr wchar_t kVersionRecordFileName[] = L"liste_surumu.txt";
inline constexpr wchar_t kInstallRecordFileName[] = L"kurulum.txt";
inline constexpr wchar_t kDisplayRecordFileName[] = L"ekran.txt";

// Documents below the server's base path; the verified list and its signature are also kept in
// "koruma" under the same names.
inline constexpr wchar_t kListFileName[] = L"manifest.txt";
inline constexpr wchar_t kSignatureFileName[] = L"manifest.sig";
// The news, Turkish then English.
inline constexpr const wchar_t* kNewsFileNames[2] = {L"haberler_tr.txt", L"haberler_en.txt"};

// Suffixes of files on their way into place: a download until it is verified, a replacement until
// it is moved over its target, the launcher's old executable until the next start, and the
// publisher's staged writes.
inline constexpr wchar_t kDownloadSuffix[] = L".indir";
inline constexpr wchar_t kNewFileSuffix[] = L".yeni";
inline constexpr wchar_t kOldFileSuffix[] = L".eski";
inline constexpr wchar_t kStagedSuffix[] = L".gecici";

// The launcher's command-line options.
inline constexpr wchar_t kUninstallOption[] = L"--kaldir";
inline constexpr wchar_t kSilentOption[] = L"--sessiz";
inline constexpr wchar_t kAfterSelfUpdateOption[] = L"--guncellendi";
inline constexpr wchar_t kPreviewOption[] = L"--onizleme";
// The game client's option that carries the launch token.
inline constexpr wchar_t kGameTokenOption[] = L"--qorvane-belge";

// Below HKEY_CURRENT_USER: the highest list version each game folder has verified, one value per
// folder named by its folderKey, so that the floor survives the loss of koruma.
inline constexpr wchar_t kVersionFloorKey[] = L"Software\\Qorvane\\liste_surumu";

// The shortcuts on the desktop and in the Start menu.
inline constexpr wchar_t kShortcutFileName[] = L"Qorvane.lnk";

// One launcher per session: the mutex it holds and the class of its window.
inline constexpr wchar_t kInstanceMutexName[] = L"Local\\QorvaneLauncher";
inline constexpr wchar_t kWindowClassName[] = L"QorvaneLauncher";
