// A build without the camera's virtual devices: they are never installed.
#include "platform/encoder/engine/inputs.h"
#include "platform/encoder/virtual_devices.h"

namespace kerris::encoder::engine {

bool virtualInputsInstalled() {
    return false;
}

std::unique_ptr<VideoInput> openVirtualCameraInput(const Profile&, std::string& error) {
    error = "No video device named \"" + std::string(kVirtualCameraName) + "\" is connected";
    return nullptr;
}

std::unique_ptr<AudioInput> openVirtualMicrophoneInput(const Profile&, std::string& error) {
    error = "No audio device named \"" + std::string(kVirtualMicrophoneName) + "\" is connected";
    return nullptr;
}

} // namespace kerris::encoder::engine
