// "Auto Download Image": every picture of the camera into the current folder as a bitmap file.
#pragma once

#include "browser/media/camera_session.h"
#include "browser/media/media_host.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumicart::media {

// "%s%04d%02d%02d-%02d.bmp" for uncompressed pictures, ".jpg" for the others.
std::string PictureFileName(const std::string& folder, const LocalTime& date, unsigned number,
                            uint32_t compression);

using DownloadEnd = CommandEnd;

struct DownloadResult {
    CommandEnd end = CommandEnd::Completed;
    std::vector<std::string> files; // written, in order
};

// Runs the command on `session`: opens the camera, writes picture i for i = 0 .. ImageCount-1
// under the first free name of the running number (the date read from `clock` for every
// picture), stops at the first failure, then hides the progress bar, asks the host to refresh
// the list and closes the camera. Pictures are never deleted from the camera.
DownloadResult AutoDownloadImage(CameraSession& session, MediaHost& host, const LocalClock& clock);

} // namespace lumicart::media
