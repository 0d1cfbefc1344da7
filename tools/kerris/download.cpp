// `kerris download DIR`: every picture of the camera into DIR as a new bitmap file, named after
// the date and a running number. The loop is the browser's (one download for both programs);
// the tool only says what happens.
#include <sys/stat.h>

#include "browser/media/download.h"
#include "tools/kerris/commands.h"
#include "tools/kerris/progress_bar.h"

namespace kerris::tool {

namespace {

bool isFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

using lumicart::media::DownloadStop;

// Prints each picture's file and draws the progress bar; a stop becomes the reason's text.
class PrintingReporter final : public lumicart::media::DownloadReporter {
public:
    PrintingReporter(Environment& env, lumicart::media::CameraSession& session,
                     const std::string& folder)
        : m_env(env), m_session(session), m_folder(folder), m_progress(env.err, env.forceProgress) {
    }

    void downloadStarted(unsigned count) override { m_progress.start(int(count)); }

    void pictureWritten(unsigned index, const std::string& file) override {
        ++m_written;
        m_progress.clear();
        std::fprintf(m_env.out, "%s\n", file.c_str());
        std::fflush(m_env.out);
        m_progress.update(int(index + 1), file.substr(file.rfind('/') + 1));
    }

    void downloadStopped(unsigned index, DownloadStop reason, uint32_t status,
                         const std::string& detail) override {
        const CameraApi& api = m_session.api();
        std::string what;
        switch (reason) {
        case DownloadStop::FormatFailed:
            what =
                "could not read its format: " + describeStatus(api, m_session.connection(), status);
            break;
        case DownloadStop::PictureFailed:
            what = "no picture record of " + std::to_string(m_session.currentInfo().imageWidth) +
                   " x " + std::to_string(m_session.currentInfo().imageHeight);
            break;
        case DownloadStop::UploadFailed:
            what = "upload failed: " + describeStatus(api, m_session.connection(), status);
            break;
        case DownloadStop::EmptyPicture:
            what = "the camera delivered an empty picture";
            break;
        case DownloadStop::NoFreeName:
            what = "every file name of the day is taken in " + detail;
            break;
        case DownloadStop::WriteFailed:
            what = "cannot save " + detail;
            break;
        }
        const unsigned count = m_session.imageCount();
        m_progress.clear();
        std::fprintf(m_env.err, "kerris: picture %u of %u: %s\n", index + 1, count, what.c_str());
        std::fprintf(m_env.err, "kerris: %u of %u pictures written to %s\n", m_written, count,
                     m_folder.c_str());
    }

    void finish() { m_progress.finish(); }

private:
    Environment& m_env;
    lumicart::media::CameraSession& m_session;
    const std::string& m_folder;
    ProgressBar m_progress;
    unsigned m_written = 0;
};

} // namespace

int runDownload(const std::vector<std::string>& arguments, Environment& env) {
    if (arguments.size() != 1 || arguments[0].empty()) {
        std::fprintf(env.err, "kerris: download needs exactly one folder: kerris download DIR\n");
        return kExitUsage;
    }
    const std::string& folder = arguments[0];
    if (!isFolder(folder)) {
        std::fprintf(env.err, "kerris: %s is not a folder\n", folder.c_str());
        return kExitFailed;
    }
    lumicart::media::CameraSession session(env.api);
    // A failed open may still hand back a connection; the session closes it all the same.
    if (const uint32_t s = session.openCamera(); s != 0) {
        std::fprintf(env.err, "kerris: could not open the camera: %s\n",
                     describeStatus(env.api, session.connection(), s).c_str());
        return kExitFailed;
    }
    // The pictures are still worth having, but their colours are not the camera's.
    if (const std::string notice = session.colourDefaultsNotice(); !notice.empty())
        std::fprintf(env.err, "kerris: %s\n", notice.c_str());
    if (const uint32_t s = session.QueryCameraState(); s != 0) {
        std::fprintf(env.err, "kerris: could not read the camera's state: %s\n",
                     describeStatus(env.api, session.connection(), s).c_str());
        return kExitFailed;
    }
    if (session.imageCount() == 0) {
        std::fprintf(env.err, "kerris: no pictures on the camera\n");
        return kExitOk;
    }
    PrintingReporter reporter(env, session, folder);
    const auto result = lumicart::media::DownloadPictures(session, folder, env.date, reporter);
    if (result.end != lumicart::media::CommandEnd::Completed)
        return kExitFailed;
    reporter.finish();
    return kExitOk;
}

} // namespace kerris::tool
