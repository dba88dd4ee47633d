#include "ui/text_table.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

UiLanguage uiLanguage = UiLanguage::Turkish;

namespace {
const TextTable turkishTable = {
    {
        L"Qorvane Launcher",
        L"DUYURULAR",
        L"OYUN DURUMU",
        L"Oyun dosyaları",
        L"Güncellemeler",
        L"Sunucu bağlantısı",
        L"Sürüm",
        L"KURULUM KLASÖRÜ",
        L"Değiştir",
        L"Gerekli alan: *%s*   ·   Boş alan: *%s*",
        L"hesaplanıyor…",
        L"Masaüstü kısayolu",
        L"Başlat menüsü",
        L"OYNA",
        L"KUR",
        L"TEKRAR",
        L"Dosyaları Onar",
        L"Oyun Klasörü",
        L"Kontrol bitince açılır",
        L"İndirme bitince açılır",
        L"Bağlantı bekleniyor",
        L"Qorvane'yi kurmak için bir klasör seçin",
        L"Oyun dosyaları sunucudan indirilecek ve doğrulanacak.",
        L"Kuruluyor…",
        L"Sunucuya bağlanılıyor…",
        L"Oyun dosyaları kontrol ediliyor… *(%d / %d)*",
        L"Güncelleme indiriliyor *· %d / %d dosya*",
        L"Gereksiz dosyalar temizleniyor…",
        L"Oyun hazır. *İyi eğlenceler!*",
        L"Tüm dosyalar doğrulandı  ·  sürüm %s",
        L"%d dosya güncellendi  ·  sürüm %s",
        L"Launcher güncellendi, yeniden başlatılıyor…",
        L"Sunucuya bağlanılamadı",
        L"İnternet bağlantınızı kontrol edin. Tekrar deneniyor: %d sn",
        L"Dosya listesi doğrulanamadı",
        L"Sunucudaki liste imzası geçersiz. Lütfen biraz sonra tekrar deneyin.",
        L"Oyun açıkken güncelleme yapılamaz, lütfen oyunu kapatın.",
        L"Dosya yazılamadı",
        L"Diskte yeterli boş alan yok",
        L"Dosya indirilemedi",
        L"%s  ·  TEKRAR ile yeniden deneyin",
        L"doğrulandı",
        L"kontrol edildi",
        L"güncel",
        L"bağlı",
        L"bağlanıyor",
        L"yok",
        L"hata",
        L"kalan %s",
        L"%d sn",
        L"%d dk %d sn",
        L"%s MB/sn",
        L"Qorvane ve tüm oyun dosyaları bu bilgisayardan kaldırılsın mı?\n\n%s",
        L"Qorvane kaldırıldı.",
        L"Qorvane Kaldır",
        L"Seçilen diskte yeterli boş alan yok.\n\nGerekli: %s\nBoş: %s",
        L"Kurulum yapılamadı:\n\n%s",
        L"Oyun başlatılamadı (hata %u).",
        L"Qorvane.exe bulunamadı. Dosyalar yeniden kontrol edilecek.",
        L"Ekran Ayarları",
        L"EKRAN AYARLARI",
        L"Oyun penceresi boyutu",
        L"Arayüz büyüklüğü",
        L"Ekranı kapla",
        L"sığmaz",
        L"Varsayılan",
        L"Vazgeç",
        L"Kaydet",
        L"Pencere: *%d × %d*",
        L"Ekranın: *%d × %d* (Windows %%%d)",
        L"Arayüz: *%%%d* — büyüdükçe pencereye daha az şey sığar",
        L"Oyun bir sonraki açılışta bu boyutta açılır.",
        L"%%%d",
        L"Küçük ekranlarda arayüz %100 önerilir.",
        L"Kaydedildi — oyun bir sonraki açılışta %d × %d açılacak.",
        L"Ayar dosyası yazılamadı (oyun klasörü yazılabilir mi?).",
        L"Qorvane tamamen kaldırılamadı. Oyun dosyaları bu klasörde kalıyor:\n\n%s",
        L"Simge durumuna küçült",
        L"Kapat",
        L"Dili değiştir: English",
        L"Kurulum klasörü: %s",
        L"İlerleme",
        L"Bu klasör bu bilgisayardaki başka bir hesaba ait, oyun oraya "
        L"kurulamaz:\n\n%s\n\nLütfen başka bir klasör seçin.",
        L"Bu klasör bu bilgisayardaki başka bir hesaba ait, oyun oraya "
        L"kurulamaz:\n\n%s\n\nKurulum klasörü şu olarak değiştirildi:\n\n%s",
    },
    L','};

const TextTable englishTable = {
    {
        L"Qorvane Launcher",
        L"NEWS",
        L"GAME STATUS",
        L"Game files",
        L"Updates",
        L"Server connection",
        L"Version",
        L"INSTALL FOLDER",
        L"Change",
        L"Required: *%s*   ·   Free: *%s*",
        L"calculating…",
        L"Desktop shortcut",
        L"Start menu",
        L"PLAY",
        L"INSTALL",
        L"RETRY",
        L"Repair Files",
        L"Game Folder",
        L"Available after the check",
        L"Available after download",
        L"Waiting for connection",
        L"Choose a folder to install Qorvane",
        L"Game files will be downloaded from the server and verified.",
        L"Installing…",
        L"Connecting to server…",
        L"Checking game files… *(%d / %d)*",
        L"Downloading update *· %d / %d files*",
        L"Removing unused files…",
        L"Game is ready. *Have fun!*",
        L"All files verified  ·  version %s",
        L"%d files updated  ·  version %s",
        L"Launcher updated, restarting…",
        L"Cannot reach the server",
        L"Check your internet connection. Retrying in %d s",
        L"File list could not be verified",
        L"The file list signature on the server is invalid. Please try again shortly.",
        L"Cannot update while the game is running, please close the game.",
        L"Could not write a file",
        L"Not enough free disk space",
        L"Download failed",
        L"%s  ·  press RETRY to try again",
        L"verified",
        L"checked",
        L"up to date",
        L"online",
        L"connecting",
        L"offline",
        L"error",
        L"%s left",
        L"%d s",
        L"%d min %d s",
        L"%s MB/s",
        L"Remove Qorvane and all game files from this computer?\n\n%s",
        L"Qorvane has been removed.",
        L"Uninstall Qorvane",
        L"Not enough free space on the selected drive.\n\nRequired: %s\nFree: %s",
        L"Installation failed:\n\n%s",
        L"Could not start the game (error %u).",
        L"Qorvane.exe not found. Files will be checked again.",
        L"Display Settings",
        L"DISPLAY SETTINGS",
        L"Game window size",
        L"Interface size",
        L"Fill screen",
        L"too big",
        L"Default",
        L"Cancel",
        L"Save",
        L"Window: *%d × %d*",
        L"Your screen: *%d × %d* (Windows %d%%)",
        L"Interface: *%d%%* — larger means less fits in the window",
        L"The game opens at this size next time.",
        L"%d%%",
        L"On small screens 100% interface is recommended.",
        L"Saved — the game will open at %d × %d next time.",
        L"Could not write the settings file (is the game folder writable?).",
        L"Qorvane could not be removed completely. The game files stay in this folder:\n\n%s",
        L"Minimise",
        L"Close",
        L"Change language: Türkçe",
        L"Install folder: %s",
        L"Progress",
        L"This folder belongs to another account on this computer, so the game cannot be installed "
        L"there:\n\n%s\n\nPlease choose another folder.",
        L"This folder belongs to another account on this computer, so the game cannot be installed "
        L"there:\n\n%s\n\nThe install folder has been changed to:\n\n%s",
    },
    L'.'};
}  // namespace

const TextTable& textsFor(UiLanguage language) {
    return language == UiLanguage::English ? englishTable : turkishTable;
}

const TextTable& texts() {
    return textsFor(uiLanguage);
}

std::wstring formatDecimal(double value, int digits) {
    wchar_t buffer[64];
    int n = std::swprintf(buffer, 64, L"%.*f", digits, value);
    std::wstring out(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    for (wchar_t& c : out) {
        if (c == L'.') c = texts().decimalSeparator;
    }
    return out;
}

std::wstring formatGigabytes(uint64_t bytes) {
    double gib = static_cast<double>(bytes) / 1073741824.0;
    return formatDecimal(gib, gib < 100 ? 1 : 0) + L" GB";
}

std::wstring formatText(const wchar_t* format, ...) {
    // The table's "%s" means a wide string, as in the Windows C runtime's wide printf family;
    // _vsnwprintf keeps that meaning with every compiler (the ISO functions read it as narrow).
    wchar_t buffer[2048];
    va_list args;
    va_start(args, format);
    int n = _vsnwprintf(buffer, 2047, format, args);
    va_end(args);
    if (n < 0 || n > 2047) n = 2047;
    buffer[n] = L'\0';
    return std::wstring(buffer, static_cast<size_t>(n));
}
