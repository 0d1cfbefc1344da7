// The camera download: naming, the per-picture loop and its stop rules.
#include "browser/media/download.h"

#include "browser/media/bitmap_file.h"

#include <cstdio>
#include <filesystem>

namespace lumicart::media {

std::string PictureFileName(const std::string& folder, const LocalTime& date, unsigned number,
                            uint32_t compression) {
    char name[64];
    std::snprintf(name, sizeof name,
                  compression == 0 ? "%04d%02d%02d-%02d.bmp" : "%04d%02d%02d-%02d.jpg", date.year,
                  date.month, date.day, number);
    return folder + name;
}

LocalTime SystemLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
            parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

bool PictureNameTaken(const std::string& name) {
    std::error_code ec;
    // A dangling link still occupies the name.
    return std::filesystem::symlink_status(name, ec).type() !=
           std::filesystem::file_type::not_found;
}

bool NextFreePictureName(const std::string& folder, const LocalTime& date, uint32_t compression,
                         uint16_t& number, std::string& name,
                         const std::function<bool(const std::string&)>& taken) {
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    while (number < 0xFFFF) {
        ++number;
        std::string candidate = PictureFileName(base, date, number, compression);
        if (!taken(candidate)) {
            name = std::move(candidate);
            return true;
        }
    }
    return false;
}

DownloadResult DownloadPictures(CameraSession& session, const std::string& folder,
                                const LocalClock& clock, DownloadReporter& reporter) {
    DownloadResult result;
    const CameraApi& api = session.api();
    const uint16_t count = session.imageCount();
    if (const uint32_t s = session.QueryPictureFormat(0); s != 0) {
        reporter.downloadStopped(0, DownloadStop::FormatFailed, s, {});
        result.end = CommandEnd::FormatFailed;
        return result;
    }
    if (session.RecreatePicture() != 0) {
        reporter.downloadStopped(0, DownloadStop::PictureFailed, 0, {});
        result.end = CommandEnd::PictureFailed;
        return result;
    }

    reporter.downloadStarted(count);
    uint16_t number = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t format = 0;
        if (const uint32_t s = api.CpiGetImageFormatEx(session.connection(), i, &format, nullptr);
            s != 0) {
            reporter.downloadStopped(i, DownloadStop::FormatFailed, s, {});
            result.end = CommandEnd::Stopped;
            break;
        }
        if (format != session.currentFormat()) {
            session.QueryPictureFormat(i);
            if (session.RecreatePicture() != 0) {
                reporter.downloadStopped(i, DownloadStop::PictureFailed, 0, {});
                result.end = CommandEnd::Stopped;
                break;
            }
        }
        CpiImage* picture = session.picture();
        if (const uint32_t s = api.CpiUploadImage(session.connection(), i, picture, nullptr);
            s != 0) {
            reporter.downloadStopped(i, DownloadStop::UploadFailed, s, {});
            result.end = CommandEnd::Stopped;
            break;
        }
        if (picture->width == 0 || picture->height == 0) {
            reporter.downloadStopped(i, DownloadStop::EmptyPicture, 0, {});
            result.end = CommandEnd::Stopped;
            break;
        }
        std::string name, error;
        PictureWrite written = PictureWrite::NameTaken;
        while (written == PictureWrite::NameTaken) {
            if (!NextFreePictureName(folder, clock(), picture->compression, number, name))
                break;
            written = WritePictureBitmapFile(picture, session.pictureBytes(), name, error);
        }
        if (written != PictureWrite::Written) {
            const bool noName = written == PictureWrite::NameTaken;
            reporter.downloadStopped(i,
                                     noName ? DownloadStop::NoFreeName : DownloadStop::WriteFailed,
                                     0, noName ? folder : name + ": " + error);
            result.end = CommandEnd::WriteFailed;
            break;
        }
        result.files.push_back(name);
        reporter.pictureWritten(i, name);
    }
    return result;
}

namespace {

// The browser's side of a download: the progress bar and message 5.
class HostReporter final : public DownloadReporter {
public:
    explicit HostReporter(CommandHost& host) : m_host(host) {}
    void downloadStarted(unsigned count) override { m_host.showProgress(0, int(count), 0); }
    void pictureWritten(unsigned index, const std::string&) override {
        m_host.setProgressPosition(int(index));
    }
    void downloadStopped(unsigned, DownloadStop reason, uint32_t, const std::string&) override {
        if (reason == DownloadStop::NoFreeName || reason == DownloadStop::WriteFailed) {
            m_host.showMessageEntry(kMsgCannotSave, std::nullopt);
            m_host.moveProgressToMaximum();
        }
    }

private:
    CommandHost& m_host;
};

} // namespace

DownloadResult AutoDownloadImage(CameraSession& session, DownloadHost& host,
                                 const LocalClock& clock) {
    DownloadResult result;
    const std::string folder = host.updateCurrentFolder();
    if (const auto end = StartCameraCommand(session, host)) {
        result.end = *end;
        return result;
    }
    HostReporter reporter(host);
    result = DownloadPictures(session, folder, clock, reporter);
    if (result.end != CommandEnd::FormatFailed && result.end != CommandEnd::PictureFailed) {
        host.hideProgress();
        host.requestListRefresh();
    }
    session.CloseCameraConnection();
    return result;
}

} // namespace lumicart::media
