#include "ui/screen_model.h"

#include <gtest/gtest.h>

#include "ui/text_table.h"
#include "update/run_control.h"

namespace {

// Every test here reads Turkish texts unless it switches on purpose.
class ScreenModelTest : public ::testing::Test {
   protected:
    void SetUp() override { uiLanguage = UiLanguage::Turkish; }
    void TearDown() override { uiLanguage = UiLanguage::Turkish; }
};

StatusSnapshot sample(UpdatePhase phase) {
    StatusSnapshot s;
    s.phase = phase;
    s.manifestVersion = 1791945000;
    s.listVerified = true;
    s.filesDone = 3;
    s.filesTotal = 7;
    s.bytesDone = 25;
    s.bytesTotal = 100;
    s.detailText = L"pack/root.epk";
    s.host = L"indir.example.net";  // the engine's host, which is not always the compiled-in one
    return s;
}

struct PhaseCase {
    UpdatePhase phase;
    const wchar_t* headline;
    const wchar_t* detail;  // nullptr: not checked here (built by downloadDetail)
    int percent;
    float progress;
    const wchar_t* hint;
    bool enabled;
    int states[4];
    const wchar_t* values[4];
};

TEST_F(ScreenModelTest, EveryPhaseShowsItsTextsRowsAndProgress) {
    const PhaseCase cases[] = {
        {UpdatePhase::Idle,
         L"Sunucuya bağlanılıyor…",
         L"indir.example.net",
         -1,
         0,
         L"Kontrol bitince açılır",
         false,
         {0, 0, 1, 2},
         {L"", L"", L"bağlanıyor", L"1791945000"}},
        {UpdatePhase::Connecting,
         L"Sunucuya bağlanılıyor…",
         L"indir.example.net",
         -1,
         0,
         L"Kontrol bitince açılır",
         false,
         {0, 0, 1, 2},
         {L"", L"", L"bağlanıyor", L"1791945000"}},
        {UpdatePhase::ListChecked,
         L"Sunucuya bağlanılıyor…",
         L"indir.example.net",
         -1,
         0,
         L"Kontrol bitince açılır",
         false,
         {0, 0, 1, 2},
         {L"", L"", L"bağlanıyor", L"1791945000"}},
        {UpdatePhase::Scanning,
         L"Oyun dosyaları kontrol ediliyor… *(3 / 7)*",
         L"pack/root.epk",
         25,
         0.25f,
         L"Kontrol bitince açılır",
         false,
         {1, 0, 2, 2},
         {L"3 / 7", L"", L"bağlı", L"1791945000"}},
        {UpdatePhase::Downloading,
         L"Güncelleme indiriliyor *· 3 / 7 dosya*",
         nullptr,
         25,
         0.25f,
         L"İndirme bitince açılır",
         false,
         {2, 1, 2, 2},
         {L"kontrol edildi", L"0,0 MB", L"bağlı", L"1791945000"}},
        {UpdatePhase::Cleaning,
         L"Gereksiz dosyalar temizleniyor…",
         L"",
         100,
         1,
         L"İndirme bitince açılır",
         false,
         {2, 1, 2, 2},
         {L"kontrol edildi", L"", L"bağlı", L"1791945000"}},
        {UpdatePhase::Ready,
         L"Oyun hazır. *İyi eğlenceler!*",
         L"Tüm dosyalar doğrulandı  ·  sürüm 1791945000",
         100,
         1,
         L"",
         true,
         {2, 2, 2, 2},
         {L"doğrulandı", L"güncel", L"bağlı", L"1791945000"}},
        {UpdatePhase::SelfUpdated,
         L"Launcher güncellendi, yeniden başlatılıyor…",
         L"Qorvane Launcher.exe",
         -1,
         1,
         L"",
         false,
         {0, 1, 2, 2},
         {L"", L"", L"bağlı", L"1791945000"}},
        {static_cast<UpdatePhase>(9), L"", L"", -1, 0, L"", false, {0, 0, 0, 0}, {L"", L"", L"", L""}},
    };
    for (const PhaseCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.phase));
        ScreenModel m = buildScreenModel(false, false, sample(c.phase), 0);
        EXPECT_EQ(m.headline, c.headline);
        if (c.detail) {
            EXPECT_EQ(m.detail, c.detail);
        }
        EXPECT_EQ(m.percent, c.percent);
        EXPECT_FLOAT_EQ(m.progress, c.progress);
        EXPECT_EQ(m.buttonHint, c.hint);
        EXPECT_EQ(m.primaryEnabled, c.enabled);
        EXPECT_EQ(m.buttonLabel, L"OYNA");
        EXPECT_FALSE(m.errorStyle);
        for (int r = 0; r < 4; ++r) {
            EXPECT_EQ(static_cast<int>(m.rows[r].state), c.states[r]) << "row " << r;
            EXPECT_EQ(m.rows[r].value, c.values[r]) << "row " << r;
        }
    }
}

TEST_F(ScreenModelTest, DownloadingRowShowsTheRemainingSize) {
    StatusSnapshot s = sample(UpdatePhase::Downloading);
    s.bytesDone = 48444211;
    s.bytesTotal = 123731968;
    EXPECT_EQ(buildScreenModel(false, false, s, 0).rows[1].value, L"71,8 MB");
}

TEST_F(ScreenModelTest, ReadyCountsUpdatedFiles) {
    StatusSnapshot s = sample(UpdatePhase::Ready);
    s.filesUpdated = 7;
    EXPECT_EQ(buildScreenModel(false, false, s, 0).detail, L"7 dosya güncellendi  ·  sürüm 1791945000");
    uiLanguage = UiLanguage::English;
    EXPECT_EQ(buildScreenModel(false, false, s, 0).detail, L"7 files updated  ·  version 1791945000");
    EXPECT_EQ(buildScreenModel(false, false, s, 0).buttonLabel, L"PLAY");
}

TEST_F(ScreenModelTest, UnknownVersionLeavesTheRowEmptyOrAbsent) {
    for (UpdatePhase phase :
         {UpdatePhase::Connecting, UpdatePhase::Scanning, UpdatePhase::Downloading, UpdatePhase::Cleaning,
          UpdatePhase::Ready, UpdatePhase::Error, UpdatePhase::SelfUpdated}) {
        SCOPED_TRACE(static_cast<int>(phase));
        StatusSnapshot s = sample(phase);
        s.manifestVersion = 0;
        s.errorCode = ErrorKind::Connection;
        ScreenModel m = buildScreenModel(false, false, s, 0);
        EXPECT_EQ(m.rows[3].value, L"");
        bool rowShown = phase != UpdatePhase::Connecting && phase != UpdatePhase::Error;
        EXPECT_EQ(static_cast<int>(m.rows[3].state), rowShown ? 2 : 0);
    }
}

struct ErrorCase {
    ErrorKind code;
    const wchar_t* headline;
    const wchar_t* detail;
    float progress;
    const wchar_t* updatesValue;
};

TEST_F(ScreenModelTest, EveryErrorCodeHasItsTexts) {
    const ErrorCase cases[] = {
        {ErrorKind::Connection, L"Sunucuya bağlanılamadı",
         L"İnternet bağlantınızı kontrol edin. Tekrar deneniyor: 5 sn", 0, L""},
        {ErrorKind::ListRejected, L"Dosya listesi doğrulanamadı",
         L"Sunucudaki liste imzası geçersiz. Lütfen biraz sonra tekrar deneyin.", 0, L"hata"},
        {ErrorKind::FileWrite, L"Dosya yazılamadı", L"pack/root.epk  ·  TEKRAR ile yeniden deneyin", 0.25f,
         L"hata"},
        {ErrorKind::FileLocked, L"Oyun açıkken güncelleme yapılamaz, lütfen oyunu kapatın.", L"pack/root.epk",
         0.25f, L"hata"},
        {ErrorKind::DownloadFailed, L"Dosya indirilemedi", L"pack/root.epk  ·  TEKRAR ile yeniden deneyin",
         0.25f, L"hata"},
        {ErrorKind::DiskFull, L"Diskte yeterli boş alan yok", L"pack/root.epk", 0.25f, L"hata"},
        {static_cast<ErrorKind>(42), L"Dosya indirilemedi", L"pack/root.epk  ·  TEKRAR ile yeniden deneyin",
         0.25f, L"hata"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.code));
        StatusSnapshot s = sample(UpdatePhase::Error);
        s.errorCode = c.code;
        s.errorTick = 1000;
        s.retryAt = c.code == ErrorKind::Connection ? 1000 + kConnectionRetryMs : 0;
        ScreenModel m = buildScreenModel(false, false, s, 1000);
        EXPECT_EQ(m.headline, c.headline);
        EXPECT_EQ(m.detail, c.detail);
        EXPECT_EQ(m.percent, -1);
        EXPECT_FLOAT_EQ(m.progress, c.progress);
        EXPECT_TRUE(m.errorStyle);
        EXPECT_TRUE(m.barErrorStyle);
        EXPECT_TRUE(m.primaryEnabled);
        EXPECT_EQ(m.buttonLabel, L"TEKRAR");
        EXPECT_EQ(m.buttonHint, L"");
        EXPECT_EQ(static_cast<int>(m.rows[0].state), 0);
        EXPECT_EQ(static_cast<int>(m.rows[1].state), 3);
        EXPECT_EQ(m.rows[1].value, c.updatesValue);
    }
}

TEST_F(ScreenModelTest, ServerRowFollowsWhetherTheListWasVerified) {
    StatusSnapshot s = sample(UpdatePhase::Error);
    s.errorCode = ErrorKind::DownloadFailed;
    s.listVerified = false;
    ScreenModel before = buildScreenModel(false, false, s, 0);
    EXPECT_EQ(static_cast<int>(before.rows[2].state), 3);
    EXPECT_EQ(before.rows[2].value, L"yok");
    s.listVerified = true;
    ScreenModel after = buildScreenModel(false, false, s, 0);
    EXPECT_EQ(static_cast<int>(after.rows[2].state), 2);
    EXPECT_EQ(after.rows[2].value, L"bağlı");
}

TEST_F(ScreenModelTest, ConnectionErrorCountsDownToTheRetry) {
    struct {
        uint32_t age;
        int shown;
    } cases[] = {{0, 5}, {999, 5}, {1000, 4}, {2500, 3}, {3999, 2}, {4000, 1}, {9000, 1}, {600000, 1}};
    StatusSnapshot s = sample(UpdatePhase::Error);
    s.errorCode = ErrorKind::Connection;
    // Close to the tick counter's wrap, so the retry's deadline lies past it.
    s.errorTick = 0xFFFFF000u;
    s.retryAt = s.errorTick + kConnectionRetryMs;
    for (const auto& c : cases) {
        ScreenModel m = buildScreenModel(false, false, s, s.errorTick + c.age);
        EXPECT_EQ(m.detail, formatText(texts()[TextId::ErrConnectionDetail], c.shown)) << c.age;
    }
}

TEST_F(ScreenModelTest, ProgressRatioEdges) {
    StatusSnapshot s = sample(UpdatePhase::Scanning);
    s.bytesTotal = 0;
    s.bytesDone = 0;
    ScreenModel empty = buildScreenModel(false, false, s, 0);
    EXPECT_EQ(empty.percent, 0);
    EXPECT_FLOAT_EQ(empty.progress, 0);

    s = sample(UpdatePhase::Downloading);
    s.bytesDone = 150;
    s.bytesTotal = 100;
    ScreenModel over = buildScreenModel(false, false, s, 0);
    EXPECT_EQ(over.percent, 100);
    EXPECT_FLOAT_EQ(over.progress, 1);
    EXPECT_EQ(over.rows[1].value, L"0,0 MB");

    s.bytesDone = 999;
    s.bytesTotal = 1000;
    EXPECT_EQ(buildScreenModel(false, false, s, 0).percent, 99);  // floored, never rounded up to 100
}

TEST_F(ScreenModelTest, InstallModeDependsOnlyOnTheInstallation) {
    StatusSnapshot s = sample(UpdatePhase::Error);
    s.errorCode = ErrorKind::Connection;
    ScreenModel idle = buildScreenModel(true, false, s, 0);
    EXPECT_EQ(idle.headline, L"Qorvane'yi kurmak için bir klasör seçin");
    EXPECT_EQ(idle.detail, L"Oyun dosyaları sunucudan indirilecek ve doğrulanacak.");
    EXPECT_EQ(idle.buttonLabel, L"KUR");
    EXPECT_TRUE(idle.primaryEnabled);
    EXPECT_FALSE(idle.errorStyle);
    EXPECT_EQ(idle.percent, -1);
    EXPECT_EQ(static_cast<int>(idle.rows[2].state), 0);

    ScreenModel busy = buildScreenModel(true, true, s, 0);
    EXPECT_EQ(busy.detail, L"Kuruluyor…");
    EXPECT_FALSE(busy.primaryEnabled);
}

struct DetailCase {
    uint64_t done, total;
    double speed;
    const wchar_t* turkish;
    const wchar_t* english;
};

TEST_F(ScreenModelTest, DownloadDetailShowsSpeedAndTimeLeftOnlyAboveOneKilobytePerSecond) {
    const DetailCase cases[] = {
        // 1024 B/s is not more than 1024: no speed, no time left.
        {0, 10485760, 1024, L"f   ·   0,0 / 10,0 MB", L"f   ·   0.0 / 10.0 MB"},
        // 61 s left: minutes and seconds.
        {0, 61 * 1048576ULL, 1048576, L"f   ·   0,0 / 61,0 MB   ·   1,0 MB/sn   ·   kalan 1 dk 1 sn",
         L"f   ·   0.0 / 61.0 MB   ·   1.0 MB/s   ·   1 min 1 s left"},
        // 0.4 s left reads as 1 s, never 0.
        {1048576 - 419430, 1048576, 1048576, L"f   ·   0,6 / 1,0 MB   ·   1,0 MB/sn   ·   kalan 1 sn",
         L"f   ·   0.6 / 1.0 MB   ·   1.0 MB/s   ·   1 s left"},
        // Done beyond total: nothing left, still 1 s.
        {2097152, 1048576, 8808038.4, L"f   ·   2,0 / 1,0 MB   ·   8,4 MB/sn   ·   kalan 1 sn",
         L"f   ·   2.0 / 1.0 MB   ·   8.4 MB/s   ·   1 s left"},
        // 45 s left.
        {0, 45 * 2097152ULL, 2097152, L"f   ·   0,0 / 90,0 MB   ·   2,0 MB/sn   ·   kalan 45 sn",
         L"f   ·   0.0 / 90.0 MB   ·   2.0 MB/s   ·   45 s left"},
    };
    for (const DetailCase& c : cases) {
        StatusSnapshot s;
        s.phase = UpdatePhase::Downloading;
        s.detailText = L"f";
        s.bytesDone = c.done;
        s.bytesTotal = c.total;
        s.bytesPerSecond = c.speed;
        uiLanguage = UiLanguage::Turkish;
        EXPECT_EQ(downloadDetail(s), c.turkish);
        uiLanguage = UiLanguage::English;
        EXPECT_EQ(downloadDetail(s), c.english);
    }
}

TEST_F(ScreenModelTest, TimeLeftRoundsToTheNearestSecond) {
    StatusSnapshot s;
    s.phase = UpdatePhase::Downloading;
    s.bytesTotal = 1190 * 1024;
    s.bytesPerSecond = 20 * 1024;  // 59.5 s rounds up to 60 = 1 min 0 s
    EXPECT_NE(downloadDetail(s).find(L"kalan 1 dk 0 sn"), std::wstring::npos) << downloadDetail(s);
    s.bytesTotal = 1189 * 1024;  // 59.45 s rounds down to 59
    EXPECT_NE(downloadDetail(s).find(L"kalan 59 sn"), std::wstring::npos) << downloadDetail(s);
}

TEST_F(ScreenModelTest, PreviewDownloadSampleReadsAsDesigned) {
    StatusSnapshot s = sample(UpdatePhase::Downloading);
    s.bytesDone = 48444211;
    s.bytesTotal = 123731968;
    s.bytesPerSecond = 8808038.4;
    ScreenModel m = buildScreenModel(false, false, s, 0);
    EXPECT_EQ(m.detail, L"pack/root.epk   ·   46,2 / 118,0 MB   ·   8,4 MB/sn   ·   kalan 9 sn");
    EXPECT_EQ(m.percent, 39);
}

}  // namespace
