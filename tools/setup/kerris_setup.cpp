// kerris-setup: the installer's per-user steps for the camera software. It registers the
// virtual camera's capture driver, so that the picture browser offers its camera commands,
// and gives a first start of the browser a pictures folder and a comfortable window instead of
// the program's own folder. What is already set is kept. "--remove" unregisters the driver.
#include "platform/capture/capture.h"
#include "platform/registry/registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

using kerris::registry::Hive;
using kerris::registry::Key;

// The browser's settings key; written only when the browser has never saved its own.
constexpr const char* kBrowserKey = "SOFTWARE\\VELTRANE\\Lumicart";

std::string picturesFolder() {
    std::string base;
    if (const char* dir = std::getenv("XDG_PICTURES_DIR"); dir && *dir == '/')
        base = dir;
    else if (const char* home = std::getenv("HOME"); home && *home == '/')
        base = std::string(home) + "/Pictures";
    else
        return {};
    return base + "/Kerris/";
}

bool seedBrowserSettings() {
    if (Key::open(Hive::CurrentUser, kBrowserKey))
        return true;
    const std::string folder = picturesFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (folder.empty() || ec) {
        std::fprintf(stderr, "kerris-setup: cannot make the pictures folder %s\n", folder.c_str());
        return false;
    }
    auto key = Key::create(Hive::CurrentUser, kBrowserKey);
    // The order the browser itself writes them; it stops reading at the first one missing.
    return key && key->writeString("RunDefaultPath", folder) && key->writeDword("Left", 80) &&
           key->writeDword("Top", 60) && key->writeDword("Height", 700) &&
           key->writeDword("Width", 1040) && key->writeDword("TreeView1Height", 330) &&
           key->writeDword("Panel1Width", 280) && key->writeDword("WindowState", 0);
}

bool registerCameraDriver() {
    using namespace kerris::capture;
    for (const auto& driver : CaptureDrivers())
        if (driver.name == kCameraDriverName)
            return true;
    return RegisterDriver(kCameraDriverName, "1.0");
}

} // namespace

int main(int argc, char** argv) {
    bool remove = argc == 2 && std::strcmp(argv[1], "--remove") == 0;
    if (argc > 2 || (argc == 2 && !remove)) {
        std::fprintf(stderr, "usage: kerris-setup [--remove]\n");
        return 2;
    }
    if (remove) {
        kerris::capture::UnregisterDriver(kerris::capture::kCameraDriverName);
        return 0;
    }
    bool ok = registerCameraDriver();
    if (!ok)
        std::fprintf(stderr, "kerris-setup: cannot register the camera's capture driver\n");
    ok = seedBrowserSettings() && ok;
    return ok ? 0 : 1;
}
