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

DownloadResult AutoDownloadImage(CameraSession& session, MediaHost& host, const LocalClock& clock) {
    DownloadResult result;
    const std::string folder = host.updateCurrentFolder();
    if (const auto end = StartCameraCommand(session, host)) {
        result.end = *end;
        return result;
    }
    const CameraApi& api = session.api();
    const uint16_t count = session.imageCount();
    if (session.QueryPictureFormat(0) != 0) {
        session.CloseCameraConnection();
        result.end = CommandEnd::FormatFailed;
        return result;
    }
    if (session.RecreatePicture() != 0) {
        session.CloseCameraConnection();
        result.end = CommandEnd::PictureFailed;
        return result;
    }

    host.showProgress(0, count, 0);
    uint16_t number = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t format = 0;
        if (api.CpiGetImageFormatEx(session.connection(), i, &format, nullptr) != 0) {
            result.end = CommandEnd::Stopped;
            break;
        }
        if (format != session.currentFormat()) {
            session.QueryPictureFormat(i);
            if (session.RecreatePicture() != 0) {
                result.end = CommandEnd::Stopped;
                break;
            }
        }
        CpiImage* picture = session.picture();
        if (api.CpiUploadImage(session.connection(), i, picture, nullptr) != 0 ||
            picture->width == 0 || picture->height == 0) {
            result.end = CommandEnd::Stopped;
            break;
        }
        std::string name;
        const bool named = NextFreePictureName(folder, clock(), picture->compression, number, name);
        if (!named || !WritePictureBitmap(picture, session.pictureBytes(), name)) {
            host.showMessageEntry(kMsgCannotSaveFile, std::nullopt);
            host.moveProgressToMaximum();
            result.end = CommandEnd::WriteFailed;
            break;
        }
        result.files.push_back(name);
        host.setProgressPosition(int(i));
    }

    host.hideProgress();
    host.requestListRefresh();
    session.CloseCameraConnection();
    return result;
}

} // namespace lumicart::media
