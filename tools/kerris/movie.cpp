// `kerris movie FILE.avi`: every camera picture of the first picture's format as one movie,
// 15 frames per second, as the picture browser's camera movie makes it.
#include <sys/stat.h>

#include "browser/media/movie_commands.h"
#include "tools/kerris/commands.h"
#include "tools/kerris/progress_bar.h"

namespace kerris::tool {

namespace {

// The browser's camera movie, reporting on the terminal instead of in message boxes.
class TerminalHost : public lumicart::media::CommandHost {
public:
    explicit TerminalHost(Environment& env) : m_env(env), m_progress(env.err, env.forceProgress) {}

    void showMessageEntry(int entry, const std::optional<std::string>&) override {
        using namespace lumicart;
        const char* text = entry == kMsgNoCameraLibrary    ? "the camera library is missing"
                           : entry == kMsgCannotOpenCamera ? "could not open the camera"
                           : entry == kMsgNoImages         ? "no pictures on the camera"
                                                           : "the movie could not be made";
        m_progress.clear();
        std::fprintf(m_env.err, "kerris: %s\n", text);
    }
    void showProgress(int minimum, int maximum, int) override {
        m_minimum = minimum;
        m_progress.start(maximum - minimum);
    }
    void setProgressRange(int minimum, int maximum) override {
        showProgress(minimum, maximum, minimum);
    }
    void setProgressPosition(int position) override {
        m_progress.update(position - m_minimum + 1, "frame " + std::to_string(position + 1));
    }
    void moveProgressToMaximum() override {}
    void hideProgress() override { m_progress.finish(); }

private:
    Environment& m_env;
    ProgressBar m_progress;
    int m_minimum = 0;
};

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

} // namespace

int runMovie(const std::vector<std::string>& arguments, Environment& env) {
    if (arguments.size() != 1 || arguments[0].empty()) {
        std::fprintf(env.err, "kerris: movie needs exactly one file: kerris movie FILE.avi\n");
        return kExitUsage;
    }
    const std::string& file = arguments[0];
    // The browser's save dialog asks before it replaces a file; here nothing is replaced.
    if (exists(file)) {
        std::fprintf(env.err, "kerris: %s already exists\n", file.c_str());
        return kExitFailed;
    }

    const lumicart::media::CameraApi& api = env.api;

    lumicart::media::CameraSession session(api);
    lumicart::media::MovieWriter writer;
    TerminalHost host(env);
    const lumicart::media::MovieResult result = CreateCameraMovie(session, writer, host, file);

    using lumicart::media::CommandEnd;
    switch (result.end) {
    case CommandEnd::Completed:
    case CommandEnd::Stopped:
        // The movie is still worth having, but its colours are not the camera's.
        if (!result.colourNotice.empty())
            std::fprintf(env.err, "kerris: %s\n", result.colourNotice.c_str());
        if (result.frames == 0) {
            std::fprintf(env.err, "kerris: no frame could be written to %s\n", file.c_str());
            return kExitFailed;
        }
        std::fprintf(env.out, "%s: %d frame%s, 15 frames per second\n", file.c_str(), result.frames,
                     result.frames == 1 ? "" : "s");
        if (result.end == CommandEnd::Stopped)
            std::fprintf(env.err,
                         "kerris: the movie ends at picture %d: the next picture has "
                         "another format or could not be read\n",
                         result.frames);
        return kExitOk;
    case CommandEnd::NoMovie:
        if (!exists(file))
            std::fprintf(env.err, "kerris: could not create %s\n", file.c_str());
        return kExitFailed;
    default:
        return kExitFailed;
    }
}

} // namespace kerris::tool
