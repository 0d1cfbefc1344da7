// kerrisenc-setup: the installer's step for the media encoder component. It registers every
// class of libkerrisenc.so under HKEY_CLASSES_ROOT, the camera's virtual video device and
// microphone, and the "Murvane" profile the clip mail program records with. A profile already
// there is kept (a user may have changed it). "--remove" takes all of it away again.
#include "platform/encoder/component_classes.h"
#include "platform/encoder/profiles.h"
#include "platform/encoder/virtual_devices.h"

#include "platform/com/com_object.h"
#include "platform/registry/registry.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using kerris::registry::Hive;
using kerris::registry::Key;

constexpr const char* kDevicesKey = "SOFTWARE\\Kerris\\Encoder\\Devices";
constexpr const char* kMurvaneProfile = "Murvane";

std::string classKey(const kerris::com::GUID& clsid) {
    return "CLSID\\" + kerris::com::guidText(clsid);
}

bool registerClasses() {
    for (const auto& clsid : kerris::encoder::kComponentClasses) {
        auto key = Key::create(Hive::ClassesRoot, classKey(clsid) + "\\InprocServer32");
        if (!key || !key->writeString("", kerris::encoder::kComponentLibrary))
            return false;
    }
    return true;
}

bool registerDevices() {
    auto key = Key::create(Hive::LocalMachine, kDevicesKey);
    return key && key->writeString(kerris::encoder::kVirtualCameraName, "video") &&
           key->writeString(kerris::encoder::kVirtualMicrophoneName, "audio");
}

bool registerProfile() {
    const std::string path = std::string(kerris::encoder::kProfilesKey) + "\\" + kMurvaneProfile;
    bool created = false;
    auto key = Key::create(Hive::LocalMachine, path, &created);
    if (!key)
        return false;
    if (!created && key->readString("Description"))
        return true;
    return key->writeString("Description", "Clips for mail: 320 x 240, 15 fps, mono audio") &&
           key->writeDword("Width", 320) && key->writeDword("Height", 240) &&
           key->writeDword("FramesPerSecond", 15) && key->writeDword("VideoBitRate", 300000) &&
           key->writeDword("AudioBitRate", 32000) && key->writeDword("AudioSampleRate", 22050) &&
           key->writeDword("AudioChannels", 1);
}

// The camera's virtual devices go; the component stays registered.
void removeDevices() {
    if (auto devices = Key::open(Hive::LocalMachine, kDevicesKey)) {
        devices->removeValue(kerris::encoder::kVirtualCameraName);
        devices->removeValue(kerris::encoder::kVirtualMicrophoneName);
        const bool empty = devices->valueNames().empty() && devices->subKeyNames().empty();
        devices->close();
        if (empty)
            Key::remove(Hive::LocalMachine, kDevicesKey);
    }
}

// Removes only what is ours: a class registered to another library stays.
void removeAll() {
    for (const auto& clsid : kerris::encoder::kComponentClasses) {
        auto server = Key::open(Hive::ClassesRoot, classKey(clsid) + "\\InprocServer32");
        if (server && server->readString("") == kerris::encoder::kComponentLibrary) {
            server->close();
            Key::remove(Hive::ClassesRoot, classKey(clsid));
        }
    }
    removeDevices();
    Key::remove(Hive::LocalMachine,
                std::string(kerris::encoder::kProfilesKey) + "\\" + kMurvaneProfile);
}

} // namespace

int main(int argc, char** argv) {
    const bool remove = argc == 2 && std::strcmp(argv[1], "--remove") == 0;
    const bool removeDevicesOnly = argc == 2 && std::strcmp(argv[1], "--remove-devices") == 0;
    if (argc > 2 || (argc == 2 && !remove && !removeDevicesOnly)) {
        std::fprintf(stderr, "usage: kerrisenc-setup [--remove | --remove-devices]\n");
        return 2;
    }
    if (remove || removeDevicesOnly) {
        remove ? removeAll() : removeDevices();
        return 0;
    }
    struct Step {
        bool (*run)();
        const char* what;
    };
    bool ok = true;
    for (const Step& step : {Step{registerClasses, "the encoder component's classes"},
                             Step{registerDevices, "the camera's virtual devices"},
                             Step{registerProfile, "the \"Murvane\" profile"}}) {
        if (!step.run()) {
            std::fprintf(stderr, "kerrisenc-setup: cannot register %s\n", step.what);
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
