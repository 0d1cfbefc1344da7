// The commands of the `kerris` tool: one file each, all dispatched from main.cpp.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "browser/media/media_host.h"
#include "tools/kerris/camera_calls.h"

namespace kerris::tool {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Everything a command talks to, so that tests can run it in-process.
struct Environment {
    CameraApi api = libraryCameraApi();
    // Read for every picture, so a download that crosses midnight moves to the new date.
    lumicart::media::LocalClock date = lumicart::media::SystemLocalTime;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool forceProgress = false; // draw the progress bar even when err is not a terminal
};

struct Command {
    const char* name;
    const char* arguments; // for the usage line
    const char* summary;
    int (*run)(const std::vector<std::string>& arguments, Environment& environment);
};

// `kerris list`: the cameras of both transports with their information and picture counts.
int runList(const std::vector<std::string>& arguments, Environment& environment);

// `kerris download DIR`: every picture of the first camera into DIR as new bitmap files.
int runDownload(const std::vector<std::string>& arguments, Environment& environment);

// `kerris movie FILE.avi`: every camera picture of the first picture's format as one movie.
int runMovie(const std::vector<std::string>& arguments, Environment& environment);

} // namespace kerris::tool
