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

inline constexpr int kMinimumVideoSide = 16;
inline constexpr int kMaximumVideoWidth = 1920;
inline constexpr int kMaximumVideoHeight = 1080;

// The exclusive-use lock files live in $XDG_RUNTIME_DIR (else /tmp, named per user), so that
// the devices are taken once per user across all processes; the lock goes with the device.

class VirtualCameraVideo {
public:
    // Takes the device for this process (a second open, here or in another process, fails
    // with "The video device "Kerris Camera" is in use by another program"). Sizes from
    // kMinimumVideoSide up to kMaximumVideoWidth x kMaximumVideoHeight, odd ones too; the
    // frame rate (1..60) sets how long the white frame of each second lasts: one frame time.
    static std::unique_ptr<VirtualCameraVideo> open(int width, int height, int framesPerSecond,
                                                    std::string& error);
    virtual ~VirtualCameraVideo() = default;
    // The picture at streamTime (nanoseconds of the stream clock): width x height B,G,R
    // pixels, rows top-down, stride width * 3. White (every byte 255) while the stream time
    // lies in [k s, k s + one frame time) for a whole k. False, with error set, when the device
    // stopped delivering (unplugged: the virtual camera can be told to, through its registry
    // settings).
    virtual bool render(int64_t streamTimeNs, uint8_t* bgr, std::string& error) = 0;
};

class VirtualCameraMicrophone {
public:
    // Rates 8000..192000, 1 or 2 channels; exclusive like the video device ("The audio device
    // "Kerris Camera Microphone" is in use by another program").
    static std::unique_ptr<VirtualCameraMicrophone> open(int sampleRate, int channels,
                                                         std::string& error);
    virtual ~VirtualCameraMicrophone() = default;
    // `frames` sample frames of interleaved signed 16-bit audio, starting at sample frame
    // `firstFrame` of the stream clock (frame 0 = stream time 0): a 1 kHz tone at -6 dBFS from
    // sample frame k * rate for rate / 10 frames, quiet noise (about -50 dBFS) between; the
    // same frames give the same samples however they are split into calls. False with error set
    // when the device stopped delivering.
    virtual bool render(int64_t firstFrame, int16_t* samples, int frames, std::string& error) = 0;
};

} // namespace kerris::encoder
