#include "ui/screen_model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/names.h"
#include "ui/text_table.h"
#include "update/run_control.h"

namespace {

const wchar_t kSeparator[] = L"   \u00B7   ";
constexpr double kMegabyte = 1048576.0;

uint64_t remainingBytes(const StatusSnapshot& status) {
    return status.bytesTotal - std::min(status.bytesDone, status.bytesTotal);
}

double byteRatio(const StatusSnapshot& status) {
    if (status.bytesTotal == 0) return 0;
    return std::min(static_cast<double>(status.bytesDone) / static_cast<double>(status.bytesTotal), 1.0);
}

std::wstring timeLeftText(double seconds) {
    const TextTable& t = texts();
    // A long stall at a trickle must not overflow the minute count shown.
    long long s = static_cast<long long>(std::min(std::floor(seconds + 0.5), 2147483647.0 * 60));
    if (s <= 0) return formatText(t[TextId::Seconds], 1);
    if (s > 59)
        return formatText(t[TextId::MinutesSeconds], static_cast<int>(s / 60), static_cast<int>(s % 60));
    return formatText(t[TextId::Seconds], static_cast<int>(s));
}

// Whole seconds left until the automatic retry, counted up (4.2 s show as 5), from 1 to the
// retry's own delay: a due retry still shows 1 until the run has started.
int secondsUntilRetry(const StatusSnapshot& status, uint32_t nowTick) {
    constexpr int kMostSeconds = static_cast<int>(kConnectionRetryMs / 1000);
    // The difference of two ticks, signed: the tick count wraps, and the retry may be due already.
    const int32_t left = static_cast<int32_t>(status.retryAt - nowTick);
    return std::clamp(left <= 0 ? 1 : (left + 999) / 1000, 1, kMostSeconds);
}

void setErrorTexts(ScreenModel& model, const StatusSnapshot& status, uint32_t nowTick) {
    const TextTable& t = texts();
    switch (status.errorCode) {
        case ErrorKind::Connection: {
            model.headline = t[TextId::ErrConnection];
            model.detail = formatText(t[TextId::ErrConnectionDetail], secondsUntilRetry(status, nowTick));
            break;
        }
        case ErrorKind::ListRejected:
            model.headline = t[TextId::ErrSignature];
            model.detail = t[TextId::ErrSignatureDetail];
            break;
        case ErrorKind::FileWrite:
            model.headline = t[TextId::ErrWrite];
            model.detail = formatText(t[TextId::ErrRetryDetail], status.detailText.c_str());
            break;
        case ErrorKind::FileLocked:
            model.headline = t[TextId::ErrGameRunning];
            model.detail = status.detailText;
            break;
        case ErrorKind::DiskFull:
            model.headline = t[TextId::ErrDiskFull];
            model.detail = status.detailText;
            break;
        default:
            model.headline = t[TextId::ErrDownload];
            model.detail = formatText(t[TextId::ErrRetryDetail], status.detailText.c_str());
            break;
    }
}

}  // namespace

std::wstring downloadDetail(const StatusSnapshot& status) {
    const TextTable& t = texts();
    std::wstring detail = status.detailText + kSeparator + formatDecimal(status.bytesDone / kMegabyte, 1) +
                          L" / " + formatDecimal(status.bytesTotal / kMegabyte, 1) + L" MB";
    if (status.bytesPerSecond > 1024) {
        detail += kSeparator +
                  formatText(t[TextId::Speed], formatDecimal(status.bytesPerSecond / kMegabyte, 1).c_str());
        std::wstring time = timeLeftText(static_cast<double>(remainingBytes(status)) / status.bytesPerSecond);
        detail += kSeparator + formatText(t[TextId::TimeLeft], time.c_str());
    }
    return detail;
}

std::wstring remainingSizeText(const StatusSnapshot& status) {
    return formatDecimal(static_cast<double>(remainingBytes(status)) / kMegabyte, 1) + L" MB";
}

ScreenModel buildScreenModel(bool installMode, bool installing, const StatusSnapshot& status,
                             uint32_t nowTick) {
    const TextTable& t = texts();
    ScreenModel m;
    if (installMode) {
        m.headline = t[TextId::InstallPrompt];
        m.detail = installing ? t[TextId::StatusInstalling] : t[TextId::InstallExplain];
        m.buttonLabel = t[TextId::ButtonInstall];
        m.primaryEnabled = !installing;
        return m;
    }

    std::wstring version =
        status.manifestVersion ? formatText(L"%llu", status.manifestVersion) : std::wstring();
    double ratio = byteRatio(status);
    int ratioPercent = static_cast<int>(std::floor(100 * ratio));
    m.buttonLabel = t[TextId::ButtonPlay];
    ScreenRow& files = m.rows[0];
    ScreenRow& updates = m.rows[1];
    ScreenRow& server = m.rows[2];
    ScreenRow& versionRow = m.rows[3];
    auto online = [&] { server = {RowState::Done, t[TextId::ValueOnline]}; };

    switch (status.phase) {
        case UpdatePhase::Idle:
        case UpdatePhase::Connecting:
        case UpdatePhase::ListChecked:
            m.headline = t[TextId::StatusConnecting];
            m.detail = status.host;
            m.buttonHint = t[TextId::HintAfterCheck];
            server = {RowState::InProgress, t[TextId::ValueConnecting]};
            if (status.manifestVersion) versionRow = {RowState::Done, version};
            break;
        case UpdatePhase::Scanning:
            m.headline = formatText(t[TextId::StatusChecking], status.filesDone, status.filesTotal);
            m.detail = status.detailText;
            m.percent = ratioPercent;
            m.progress = static_cast<float>(ratio);
            m.buttonHint = t[TextId::HintAfterCheck];
            files = {RowState::InProgress, formatText(L"%d / %d", status.filesDone, status.filesTotal)};
            online();
            versionRow = {RowState::Done, version};
            break;
        case UpdatePhase::Downloading:
            m.headline = formatText(t[TextId::StatusDownloading], status.filesDone, status.filesTotal);
            m.detail = downloadDetail(status);
            m.percent = ratioPercent;
            m.progress = static_cast<float>(ratio);
            m.buttonHint = t[TextId::HintAfterDownload];
            files = {RowState::Done, t[TextId::ValueChecked]};
            updates = {RowState::InProgress, remainingSizeText(status)};
            online();
            versionRow = {RowState::Done, version};
            break;
        case UpdatePhase::Cleaning:
            m.headline = t[TextId::StatusCleaning];
            m.percent = 100;
            m.progress = 1;
            m.buttonHint = t[TextId::HintAfterDownload];
            files = {RowState::Done, t[TextId::ValueChecked]};
            updates = {RowState::InProgress, L""};
            online();
            versionRow = {RowState::Done, version};
            break;
        case UpdatePhase::Ready:
            m.headline = t[TextId::StatusReady];
            m.detail = status.filesUpdated
                           ? formatText(t[TextId::StatusFilesUpdated], status.filesUpdated, version.c_str())
                           : formatText(t[TextId::StatusAllVerified], version.c_str());
            m.percent = 100;
            m.progress = 1;
            files = {RowState::Done, t[TextId::ValueVerified]};
            updates = {RowState::Done, t[TextId::ValueUpToDate]};
            online();
            versionRow = {RowState::Done, version};
            m.primaryEnabled = true;
            break;
        case UpdatePhase::Error:
            setErrorTexts(m, status, nowTick);
            m.progress =
                (status.errorCode == ErrorKind::Connection || status.errorCode == ErrorKind::ListRejected)
                    ? 0.0f
                    : static_cast<float>(ratio);
            updates = {RowState::Failed,
                       status.errorCode == ErrorKind::Connection ? L"" : t[TextId::ValueError]};
            if (status.listVerified)
                online();
            else
                server = {RowState::Failed, t[TextId::ValueOffline]};
            if (status.manifestVersion) versionRow = {RowState::Done, version};
            m.errorStyle = true;
            m.barErrorStyle = true;
            m.primaryEnabled = true;
            m.buttonLabel = t[TextId::ButtonRetry];
            break;
        case UpdatePhase::SelfUpdated:
            m.headline = t[TextId::StatusLauncherUpdated];
            m.detail = kLauncherFileName;
            m.progress = 1;
            updates = {RowState::InProgress, L""};
            online();
            versionRow = {RowState::Done, version};
            break;
        default:
            break;
    }
    return m;
}
