// The movie commands: a movie of the camera's pictures, a movie of selected bitmap files, and
// playing a movie with the desktop's player.
#pragma once

#include "browser/media/camera_session.h"
#include "browser/media/media_host.h"
#include "browser/media/movie_writer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumicart::media {

using MovieEnd = CommandEnd;

struct MovieResult {
    CommandEnd end = CommandEnd::Completed;
    int frames = 0;       // frames in the movie
    std::string fileName; // the movie, when one was made
    // What the camera library said of lost colour data (see CameraSession), for camera movies.
    std::string colourNotice;
};

// Writes camera pictures first .. first+count-1 (16-bit index arithmetic) into the open movie,
// stopping at the first picture of a format other than the session's current one, or at any
// failure. Shows and hides the progress bar. True when every picture was written.
bool WriteCameraFrames(CameraSession& session, MovieWriter& writer, ProgressHost& host,
                       uint16_t first, uint16_t count);

// "Create AVI File": every picture of the first picture's format, from the camera straight into
// a movie named by the save dialog of `dialogs`.
MovieResult CreateCameraMovie(CameraSession& session, MovieWriter& writer, CommandHost& host,
                              MovieDialogHost& dialogs);
// The browser's window as both.
inline MovieResult CreateCameraMovie(CameraSession& session, MovieWriter& writer, MediaHost& host) {
    return CreateCameraMovie(session, writer, host, static_cast<MovieDialogHost&>(host));
}
// The same into `fileName`, with no dialog.
MovieResult CreateCameraMovie(CameraSession& session, MovieWriter& writer, CommandHost& host,
                              const std::string& fileName);

// One item of the file list's selection, in list order.
struct SelectedFile {
    std::string path;
    std::string caption;
};

// The standard bitmap loader as the selection check uses it: the picture's width and height,
// or nullopt when the file does not load as a bitmap.
using BitmapProbe = std::function<std::optional<std::pair<int, int>>(const std::string& path)>;

// Loads a file with the toolkit's bitmap reader (bitmap format only).
std::optional<std::pair<int, int>> ProbeStandardBitmap(const std::string& path);

// "Create AVI Files": checks every selected file before anything is created (message 9 for a
// file that is not a bitmap, 8 for one whose size differs from the first file's, each naming
// the item), then writes item k as frame k (message 10 for a file that cannot be read).
MovieResult CreateFileMovie(const std::vector<SelectedFile>& selection, const BitmapProbe& probe,
                            MovieWriter& writer, MediaHost& host);

// Writes the files of `selection` (not empty) as a movie, item k as frame k, without the checks:
// message 10 naming the item for a file that cannot be read, the frames before it staying.
MovieResult WriteFileFrames(const std::vector<SelectedFile>& selection, MovieWriter& writer,
                            MediaHost& host);

// The type of the movies made and played here, as the desktop names it.
inline constexpr const char* kMovieMimeType = "video/x-msvideo";

// "&Play AVI Files": the open dialog, then the chosen file to the desktop's player.
void PlayMovie(MediaHost& host);

} // namespace lumicart::media
