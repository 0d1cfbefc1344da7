// The capture hardware check of the first start: the capture devices the system lists, the
// three messages when a kind is missing, and the encoder's source group built from the first
// video and the first audio device with the "Murvane" profile.
#pragma once

#include "platform/encoder/encoder_interfaces.h"

#include <functional>
#include <string>
#include <vector>

namespace kerris::clipmail {

inline constexpr const char* kNoCaptureHardware =
    "Sorry, you have no Video/Audio capture hardware\n this program will to terminate ";
inline constexpr const char* kNoAudioCaptureHardware =
    "Sorry, you have no Audio capture hardware\n this program will to terminate ";
inline constexpr const char* kNoVideoCaptureHardware =
    "Sorry, you have no Video capture hardware\n this program will to terminate ";
inline constexpr const char* kDeviceInputPrefix = "device://";
inline constexpr const char* kProfileName = "Murvane";

// Empties both lists, then fills them with the friendly names of the video and of the audio
// capture devices, in the order the system device enumerator gives them. A category that
// cannot be enumerated leaves its list empty.
void EnumerateCaptureDevices(std::vector<std::string>& video, std::vector<std::string>& audio);

// The check: with no audio or no video device, shows the matching message through `show` and
// fails. Otherwise builds a source group named after the first video device with a video and
// an audio source on the first device of each kind, selects a profile named "Murvane" (in any
// letter case) when there is one, and succeeds whether or not those steps worked.
bool CheckCaptureHardware(encoder::IEncoder* encoder,
                          const std::function<void(const std::string&)>& show);

} // namespace kerris::clipmail
