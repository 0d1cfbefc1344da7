// What the camera, movie and acquisition commands ask of the program that runs them, in small
// interfaces: a command takes only those it uses, and a program implements only those it needs.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "browser/media/message_entries.h"

namespace lumicart::media {

// How a camera, movie or acquisition command ended.
enum class CommandEnd {
    Completed,       // everything was done
    LibraryMissing,  // the camera library's entry points are missing (message 1)
    OpenFailed,      // the camera could not be opened (message 3)
    StateFailed,     // the camera's state could not be read (silent)
    NoPictures,      // the camera holds no pictures (message 4)
    FormatFailed,    // picture 0's format could not be read (silent)
    PictureFailed,   // no picture record could be made (silent)
    Stopped,         // a step inside the loop failed; what was written stays (silent)
    WriteFailed,     // a picture file could not be written (message 5)
    NoMovie,         // no movie was made: format, record, dialog cancelled, file not created
    NothingSelected, // message 6
    DifferentSize,   // message 8
    NotBitmap,       // message 9
    CannotLoad,      // message 10
};

// Message table entries (browser/media/message_entries.h) shown to the user.
class MessageHost {
public:
    virtual ~MessageHost() = default;
    // Shows message table entry `entry`, its "%s" replaced by `argument` when one is given;
    // returns when the box is closed.
    virtual void showMessageEntry(int entry, const std::optional<std::string>& argument) = 0;
};

// A progress display (the progress bar along the bottom of the browser's window).
class ProgressHost {
public:
    virtual ~ProgressHost() = default;
    virtual void showProgress(int minimum, int maximum, int position) = 0;
    virtual void setProgressRange(int minimum, int maximum) = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual void moveProgressToMaximum() = 0;
    virtual void hideProgress() = 0;
};

// What every camera command reports through: messages and progress.
class CommandHost : public MessageHost, public ProgressHost {};

// The browser's folder tree and file list.
class FolderHost {
public:
    virtual ~FolderHost() = default;
    // Recomputes the current folder from the folder tree and returns it (ends in "/").
    virtual std::string updateCurrentFolder() = 0;
    // Gives the focus to the folder tree and asks, deferred, for the file list to read the
    // current folder again.
    virtual void requestListRefresh() = 0;
};

// What the camera download uses: the command's reports and the folder it downloads into.
class DownloadHost : public CommandHost, public FolderHost {};

// The browser's movie file dialogs.
class MovieDialogHost {
public:
    virtual ~MovieDialogHost() = default;
    // The movie save dialog; nullopt when cancelled.
    virtual std::optional<std::string> chooseMovieToSave() = 0;
    // The movie open dialog (one existing file); nullopt when cancelled.
    virtual std::optional<std::string> chooseMovieToOpen() = 0;
};

// The desktop's programs.
class DesktopHost {
public:
    virtual ~DesktopHost() = default;
    // Plays a movie file with the desktop's application for movies, else the fallback player
    // (platform/desktop's rule); the result is not examined.
    virtual void openWithDesktop(const std::string& fileName) = 0;
};

// The browser's preview panel.
class PreviewHost {
public:
    virtual ~PreviewHost() = default;
    // Cleared, or showing a bitmap file fitted to the preview panel.
    virtual void clearPreview() = 0;
    virtual void showPreviewFile(const std::string& fileName) = 0;
};

// The browser window's whole side of its commands. The window implements it over its controls
// and its replaceable user interface; tests record every call.
class MediaHost : public DownloadHost,
                  public MovieDialogHost,
                  public DesktopHost,
                  public PreviewHost {};

// The local date and time, as the commands read it.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
using LocalClock = std::function<LocalTime()>;

// The system's local time.
LocalTime SystemLocalTime();

} // namespace lumicart::media
