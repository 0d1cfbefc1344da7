// Opening a listed device through the back end that lists it.
#include "platform/encoder/engine/inputs.h"

namespace kerris::encoder::engine {

std::unique_ptr<VideoInput> openVideoInput(const DeviceInfo& device, const Profile& profile,
                                           std::string& error) {
    if (device.backend == "virtual")
        return openVirtualCameraInput(profile, error);
    if (device.backend == "v4l2")
        return openV4l2Input(device, profile, error);
    error = "No video device named \"" + device.friendlyName + "\" is connected";
    return nullptr;
}

std::unique_ptr<AudioInput> openAudioInput(const DeviceInfo& device, const Profile& profile,
                                           std::string& error) {
    if (device.backend == "virtual")
        return openVirtualMicrophoneInput(profile, error);
    if (device.backend == "pulse")
        return openPulseInput(device, profile, error);
    if (device.backend == "alsa")
        return openAlsaInput(device, profile, error);
    error = "No audio device named \"" + device.friendlyName + "\" is connected";
    return nullptr;
}

} // namespace kerris::encoder::engine
