// The movie commands over the camera session, bitmap files and the movie writer.
#include "browser/media/movie_commands.h"

namespace lumicart::media {

namespace {

// Asks the save dialog (unless the name is given) and opens the movie on the first frame.
bool OpenMovieFile(MovieWriter& writer, MovieDialogHost* dialogs, const FrameView& first,
                   const std::optional<std::string>& fileName) {
    const std::optional<std::string> name = fileName  ? fileName
                                            : dialogs ? dialogs->chooseMovieToSave()
                                                      : std::nullopt;
    if (!name || name->empty())
        return false;
    return writer.open(*name, first);
}

// The camera movie named by `fileName`, else by the save dialog of `dialogs`.
MovieResult CameraMovie(CameraSession& session, MovieWriter& writer, CommandHost& host,
                        MovieDialogHost* dialogs, const std::optional<std::string>& fileName) {
    MovieResult result;
    if (const auto end = StartCameraCommand(session, host)) {
        result.end = *end;
        return result;
    }
    result.colourNotice = session.colourDefaultsNotice();
    const uint16_t count = session.imageCount();
    if (session.QueryPictureFormat(0) != 0 || session.RecreatePicture() != 0) {
        result.end = CommandEnd::NoMovie;
    } else {
        if (OpenMovieFile(writer, dialogs, ViewOf(session.picture()), fileName)) {
            const bool all = WriteCameraFrames(session, writer, host, 0, count);
            result.end = all ? CommandEnd::Completed : CommandEnd::Stopped;
            result.frames = writer.framesWritten();
            result.fileName = writer.fileName();
        } else {
            result.end = CommandEnd::NoMovie;
        }
        writer.CloseMovieFile();
    }
    session.CloseCameraConnection();
    return result;
}

} // namespace

bool WriteCameraFrames(CameraSession& session, MovieWriter& writer, ProgressHost& host,
                       uint16_t first, uint16_t count) {
    const CameraApi& api = session.api();
    const uint16_t end = uint16_t(first + count);
    host.showProgress(first, end, first);
    uint16_t i = first;
    for (; i < end; ++i) {
        uint32_t format = 0;
        if (api.CpiGetImageFormatEx(session.connection(), i, &format, nullptr) != 0)
            break;
        if (format != session.currentFormat())
            break;
        CpiImage* picture = session.picture();
        if (api.CpiUploadImage(session.connection(), i, picture, nullptr) != 0)
            break;
        if (!writer.WriteMovieFrame(i, ViewOf(picture)))
            break;
        host.setProgressPosition(i);
    }
    host.hideProgress();
    return i == end;
}

MovieResult CreateCameraMovie(CameraSession& session, MovieWriter& writer, CommandHost& host,
                              MovieDialogHost& dialogs) {
    return CameraMovie(session, writer, host, &dialogs, std::nullopt);
}

MovieResult CreateCameraMovie(CameraSession& session, MovieWriter& writer, CommandHost& host,
                              const std::string& fileName) {
    return CameraMovie(session, writer, host, nullptr, fileName);
}

MovieResult WriteFileFrames(const std::vector<SelectedFile>& selection, MovieWriter& writer,
                            MediaHost& host) {
    MovieResult result;
    std::optional<Frame> frame = ReadBitmapFile(selection[0].path);
    if (!frame) {
        host.showMessageEntry(kMsgCannotLoadBitmap, selection[0].caption);
        result.end = CommandEnd::CannotLoad;
        return result;
    }
    const int count = int(selection.size());
    host.showProgress(0, 100, 0);
    result.end = CommandEnd::NoMovie;
    if (OpenMovieFile(writer, &host, ViewOf(*frame), std::nullopt)) {
        result.fileName = writer.fileName();
        if (!writer.WriteMovieFrame(0, ViewOf(*frame))) {
            result.end = CommandEnd::Stopped;
        } else {
            result.end = CommandEnd::Completed;
            host.setProgressRange(0, count);
            for (int k = 1; k < count; ++k) {
                host.setProgressPosition(k);
                frame.reset();
                frame = ReadBitmapFile(selection[std::size_t(k)].path);
                if (!frame) {
                    host.showMessageEntry(kMsgCannotLoadBitmap, selection[std::size_t(k)].caption);
                    result.end = CommandEnd::CannotLoad;
                    break;
                }
                if (!writer.WriteMovieFrame(k, ViewOf(*frame))) {
                    result.end = CommandEnd::Stopped;
                    break;
                }
            }
            host.moveProgressToMaximum();
        }
        result.frames = writer.framesWritten();
    }
    host.hideProgress();
    frame.reset();
    writer.CloseMovieFile();
    return result;
}

MovieResult CreateFileMovie(const std::vector<SelectedFile>& selection, const BitmapProbe& probe,
                            MovieWriter& writer, MediaHost& host) {
    MovieResult result;
    if (selection.empty()) {
        host.showMessageEntry(kMsgNoFilesSelected, std::nullopt);
        result.end = CommandEnd::NothingSelected;
        return result;
    }
    std::pair<int, int> firstSize{};
    for (std::size_t k = 0; k < selection.size(); ++k) {
        const auto size = probe(selection[k].path);
        if (!size) {
            host.showMessageEntry(kMsgBitmapOnly, selection[k].caption);
            result.end = CommandEnd::NotBitmap;
            return result;
        }
        if (k == 0)
            firstSize = *size;
        else if (*size != firstSize) {
            host.showMessageEntry(kMsgDifferentSize, selection[k].caption);
            result.end = CommandEnd::DifferentSize;
            return result;
        }
    }
    return WriteFileFrames(selection, writer, host);
}

void PlayMovie(MediaHost& host) {
    if (const auto name = host.chooseMovieToOpen())
        host.openWithDesktop(*name);
}

} // namespace lumicart::media
