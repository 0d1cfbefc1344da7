// `kerris download DIR`: every picture of the camera into DIR as a new bitmap file, named after
// the date and a running number as the picture browser names them.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "browser/media/bitmap_file.h"
#include "browser/media/download.h"
#include "tools/kerris/commands.h"
#include "tools/kerris/progress_bar.h"

namespace kerris::tool {

namespace {

bool isFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

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
    const CameraCalls& calls = env.calls;

    CpiConnection* raw = nullptr;
    std::uint16_t id = 0;
    const std::uint32_t openStatus = calls.cameraOpen(kCpiSelectAny, 0, &raw, &id);
    // A failed open may still hand back a connection; it is closed all the same.
    OpenCamera camera(calls, raw);
    if (openStatus != 0) {
        std::fprintf(env.err, "kerris: could not open the camera: %s\n",
                     describeStatus(calls, raw, openStatus).c_str());
        return kExitFailed;
    }
    CpiCameraStateInfo state{};
    if (const std::uint32_t s = calls.getCameraStateInfo(camera.get(), &state); s != 0) {
        std::fprintf(env.err, "kerris: could not read the camera's state: %s\n",
                     describeStatus(calls, camera.get(), s).c_str());
        return kExitFailed;
    }
    const unsigned count = state.ImageCount;
    if (count == 0) {
        std::fprintf(env.err, "kerris: no pictures on the camera\n");
        return kExitOk;
    }

    PictureRecord picture(calls);
    std::uint32_t currentFormat = 0xFFFFFFFF;
    std::uint16_t number = 0; // the running number, shared by the whole run
    ProgressBar progress(env.err, env.forceProgress);
    progress.start(int(count));
    unsigned written = 0;
    auto fail = [&](unsigned index, const std::string& what) {
        progress.clear();
        std::fprintf(env.err, "kerris: picture %u of %u: %s\n", index + 1, count, what.c_str());
        std::fprintf(env.err, "kerris: %u of %u pictures written to %s\n", written, count,
                     folder.c_str());
        return kExitFailed;
    };

    for (unsigned i = 0; i < count; ++i) {
        std::uint32_t format = 0;
        CpiImageInfoEx info{};
        if (const std::uint32_t s = calls.getImageFormatEx(camera.get(), i, &format, &info); s != 0)
            return fail(i, "could not read its format: " + describeStatus(calls, camera.get(), s));
        if (format != currentFormat || picture.get() == nullptr) {
            if (!picture.recreate(info.imageWidth, info.imageHeight))
                return fail(i, "no picture record of " + std::to_string(info.imageWidth) + " x " +
                                   std::to_string(info.imageHeight));
            currentFormat = format;
        }
        CpiImage* record = picture.get();
        if (const std::uint32_t s = calls.uploadImage(camera.get(), i, record, nullptr); s != 0)
            return fail(i, "upload failed: " + describeStatus(calls, camera.get(), s));
        if (record->width == 0 || record->height == 0)
            return fail(i, "the camera delivered an empty picture");

        // The first free name from the run's running number on; should another program take a
        // name between the look and the write, the next number is tried.
        std::string path;
        lumicart::media::PictureWrite outcome = lumicart::media::PictureWrite::NameTaken;
        std::string error;
        while (outcome == lumicart::media::PictureWrite::NameTaken) {
            if (!lumicart::media::NextFreePictureName(folder, env.date(), record->compression,
                                                      number, path))
                return fail(i, "every file name of the day is taken in " + folder);
            outcome = lumicart::media::WritePictureBitmapFile(record, picture.bytes(), path, error);
        }
        if (outcome == lumicart::media::PictureWrite::Failed)
            return fail(i, "cannot save " + path + ": " + error);
        ++written;
        progress.clear();
        std::fprintf(env.out, "%s\n", path.c_str());
        std::fflush(env.out);
        progress.update(int(i + 1), path.substr(path.rfind('/') + 1));
    }
    progress.finish();
    return kExitOk;
}

} // namespace kerris::tool
