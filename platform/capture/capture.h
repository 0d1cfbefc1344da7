// The video capture driver list: capture devices of the system and registered capture drivers.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kerris::capture {

// One capture driver: its description (the name users see) and its version text.
struct DriverDescription {
    std::string name;
    std::string version;
};

// Where installed capture drivers register: HKEY_LOCAL_MACHINE, this key, one string value
// per driver whose name is the driver's description and whose data is its version text.
inline constexpr const char* kRegisteredDriversKey = "SOFTWARE\\Kerris\\CaptureDrivers";
// The description of the virtual camera's capture driver.
inline constexpr const char* kCameraDriverName = "Kerris Camera";

// A V4L2 node that captures video: its path, card name and version text ("Version: a.b.c").
struct CaptureDevice {
    std::string path;
    std::string card;
    std::string version;
};

// The V4L2 nodes "video*" of $KERRIS_VIDEO_DEVICE_DIR (default /dev) that answer
// VIDIOC_QUERYCAP with a video-capture capability, in device number order. Nodes that only
// output, metadata nodes and files that are no V4L2 device are left out.
std::vector<CaptureDevice> CaptureDevices();

// The capture drivers in index order: first every video capture device of the system by its
// card name (V4L2 devices "video*" in $KERRIS_VIDEO_DEVICE_DIR, default /dev, in device
// number order), then the registered drivers in the order of the registry key.
std::vector<DriverDescription> CaptureDrivers();

// The driver at `index` of that list, or nullopt past its end (the list is read anew).
std::optional<DriverDescription> DriverAt(unsigned index);

// Registers or unregisters a driver in the registry (the installer and tests do this).
bool RegisterDriver(const std::string& name, const std::string& version);
bool UnregisterDriver(const std::string& name);

} // namespace kerris::capture
