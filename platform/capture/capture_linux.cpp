// The capture driver list on Linux: V4L2 devices that capture video, then registered drivers.
#include "platform/capture/capture.h"

#include "platform/registry/registry.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace kerris::capture {

namespace {

std::string deviceFolder() {
    const char* folder = std::getenv("KERRIS_VIDEO_DEVICE_DIR");
    return folder && *folder ? folder : "/dev";
}

// The number of a "videoN" device name, or -1 for other names.
long videoNumber(const std::string& name) {
    if (name.rfind("video", 0) != 0 || name.size() == 5)
        return -1;
    char* end = nullptr;
    const long n = std::strtol(name.c_str() + 5, &end, 10);
    return *end == '\0' && n >= 0 ? n : -1;
}

std::optional<CaptureDevice> queryDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    v4l2_capability cap{};
    const bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
    ::close(fd);
    if (!ok)
        return std::nullopt;
    const uint32_t caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)))
        return std::nullopt;
    CaptureDevice device;
    device.path = path;
    device.card.assign(reinterpret_cast<const char*>(cap.card),
                       strnlen(reinterpret_cast<const char*>(cap.card), sizeof cap.card));
    device.version = "Version: " + std::to_string((cap.version >> 16) & 0xFF) + "." +
                     std::to_string((cap.version >> 8) & 0xFF) + "." +
                     std::to_string(cap.version & 0xFF);
    return device;
}

} // namespace

std::vector<CaptureDevice> CaptureDevices() {
    std::vector<CaptureDevice> found;
    std::vector<std::pair<long, std::string>> devices;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(deviceFolder(), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const long n = videoNumber(name);
        if (n >= 0)
            devices.emplace_back(n, it->path().string());
    }
    std::sort(devices.begin(), devices.end());
    for (const auto& device : devices)
        if (auto node = queryDevice(device.second))
            found.push_back(std::move(*node));
    return found;
}

namespace {

void appendRegistered(std::vector<DriverDescription>& drivers) {
    const auto key = registry::Key::open(registry::Hive::LocalMachine, kRegisteredDriversKey);
    if (!key)
        return;
    for (const std::string& name : key->valueNames()) {
        if (name.empty())
            continue; // the key's default value names no driver
        drivers.push_back({name, key->readString(name).value_or(std::string())});
    }
}

} // namespace

std::vector<DriverDescription> CaptureDrivers() {
    std::vector<DriverDescription> drivers;
    for (CaptureDevice& device : CaptureDevices())
        drivers.push_back({std::move(device.card), std::move(device.version)});
    appendRegistered(drivers);
    return drivers;
}

std::optional<DriverDescription> DriverAt(unsigned index) {
    const auto drivers = CaptureDrivers();
    if (index >= drivers.size())
        return std::nullopt;
    return drivers[index];
}

bool RegisterDriver(const std::string& name, const std::string& version) {
    auto key = registry::Key::create(registry::Hive::LocalMachine, kRegisteredDriversKey);
    return key && key->writeString(name, version);
}

bool UnregisterDriver(const std::string& name) {
    auto key = registry::Key::open(registry::Hive::LocalMachine, kRegisteredDriversKey);
    return key && key->removeValue(name);
}

} // namespace kerris::capture
