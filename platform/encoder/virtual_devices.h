// The camera's own capture devices in its video mode: "Kerris Camera" renders the virtual
// camera's live scene as raw sensor frames through the camera's sensor model and the colour
// library; "Kerris Camera Microphone" gives a synthetic signal. On every whole second of
// their shared stream clock the video shows a white frame and the microphone a 100 ms
// 1 kHz tone, so A/V sync can be seen (and measured) at a glance.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kerris::encoder {

inline constexpr char kVirtualCameraName[] = "Kerris Camera";
inline constexpr char kVirtualMicrophoneName[] = "Kerris Camera Microphone";

// True when the install step has registered the virtual devices (registry).
bool virtualDevicesInstalled();

class VirtualCameraVideo {
public:
    // Takes the device for this process (a second open, here or in another process, fails
    // with "The video device "Kerris Camera" is in use by another program").
    static std::unique_ptr<VirtualCameraVideo> open(int width, int height, std::string& error);
    virtual ~VirtualCameraVideo() = default;
    // The picture at streamTime (nanoseconds of the stream clock): width x height B,G,R
    // pixels, rows top-down, stride width * 3. False, with error set, when the device stopped
    // delivering (unplugged: the virtual camera can be told to, through its registry settings).
    virtual bool render(int64_t streamTimeNs, uint8_t* bgr, std::string& error) = 0;
};

class VirtualCameraMicrophone {
public:
    static std::unique_ptr<VirtualCameraMicrophone> open(int sampleRate, int channels,
                                                         std::string& error);
    virtual ~VirtualCameraMicrophone() = default;
    // `frames` sample frames of interleaved signed 16-bit audio, starting at sample frame
    // `firstFrame` of the stream clock (frame 0 = stream time 0). False with error set when
    // the device stopped delivering.
    virtual bool render(int64_t firstFrame, int16_t* samples, int frames, std::string& error) = 0;
};

} // namespace kerris::encoder
