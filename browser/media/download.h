// "Auto Download Image": every picture of the camera into the current folder as a bitmap file.
#pragma once

#include "browser/media/camera_session.h"
#include "browser/media/media_host.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lumicart::media {

// "%s%04d%02d%02d-%02d.bmp" for uncompressed pictures, ".jpg" for the others.
std::string PictureFileName(const std::string& folder, const LocalTime& date, unsigned number,
                            uint32_t compression);

// True when something (a file, a folder, a dangling link) already has this name.
bool PictureNameTaken(const std::string& name);

// The one free-name rule of every download: advances the run's running number past names that
// are taken and stores the first free name in `name`. The number starts at 0 for a run and only
// grows (it never wraps round to names the run has passed); it is shared by all pictures of the
// run and printed with "%02d", more digits from 100 on. `folder` is joined with "/" when it
// does not end in one. False when every number up to 65535 is taken (the number is then 65535
// and `name` untouched).
bool NextFreePictureName(const std::string& folder, const LocalTime& date, uint32_t compression,
                         uint16_t& number, std::string& name,
                         const std::function<bool(const std::string&)>& taken = PictureNameTaken);

using DownloadEnd = CommandEnd;

// Where a download stopped short.
enum class DownloadStop {
    FormatFailed,  // the picture's format could not be read (status)
    PictureFailed, // no picture record of the picture's size could be made
    UploadFailed,  // the upload failed (status)
    EmptyPicture,  // the upload left the picture without a size
    NoFreeName,    // every name of the day is taken
    WriteFailed,   // the file could not be written (detail: the error)
};

// What a download tells the program that runs it, picture by picture: the browser moves its
// progress bar and shows its messages, the command-line tool prints.
class DownloadReporter {
public:
    virtual ~DownloadReporter() = default;
    // The loop starts over `count` pictures.
    virtual void downloadStarted(unsigned count) = 0;
    // Picture `index` is in `file`.
    virtual void pictureWritten(unsigned index, const std::string& file) = 0;
    // The download ends at picture `index`; `status` is the camera library's where one of its
    // calls failed (else 0), `detail` the file name and the write's error where there is one.
    virtual void downloadStopped(unsigned index, DownloadStop reason, uint32_t status,
                                 const std::string& detail) = 0;
};

struct DownloadResult {
    CommandEnd end = CommandEnd::Completed;
    std::vector<std::string> files; // written, in order
};

// The loop of every download, on an open camera of the session holding imageCount() pictures:
// picture 0's format and a record of its size (FormatFailed / PictureFailed when they fail, the
// loop not started), then picture i for i = 0 .. count-1: its format (a new record when it
// changes), the upload, and the file under the first free name of the run's running number
// (the date read from `clock` for every picture; a name taken meanwhile moves on to the next).
// Stops at the first failure (Stopped, or WriteFailed for a name or a file); what was written
// stays. The camera stays open.
DownloadResult DownloadPictures(CameraSession& session, const std::string& folder,
                                const LocalClock& clock, DownloadReporter& reporter);

// Runs the command on `session`: opens the camera, writes picture i for i = 0 .. ImageCount-1
// under the first free name of the running number (the date read from `clock` for every
// picture), stops at the first failure, then hides the progress bar, asks the host to refresh
// the list and closes the camera. Pictures are never deleted from the camera.
DownloadResult AutoDownloadImage(CameraSession& session, DownloadHost& host,
                                 const LocalClock& clock);

} // namespace lumicart::media
