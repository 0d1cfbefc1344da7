// The encoder's recording engine, without the component layer: the capture devices of this
// machine, profiles, and a session that captures one video and one audio device on their own
// threads, stamps both on one clock, converts, encodes (wmv2 + wmav2), writes ASF and keeps
// the newest picture for the views.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kerris::encoder {

// One capture device as the pages and the device enumerator show it.
struct DeviceInfo {
    std::string
        friendlyName;    // "Kerris Camera", a V4L2 card name, a sound server source's description
    std::string backend; // "v4l2", "pulse", "alsa" or "virtual"
    std::string address; // "/dev/video0", the sound server's source name, "hw:0,0", "camera"
};

// Video input devices: V4L2 nodes with the video-capture capability (by card name), then the
// camera's virtual video device once the install step has registered it.
std::vector<DeviceInfo> listVideoDevices();
// Audio input devices: the sound server's sources (monitors left out) or, without a sound
// server, the ALSA capture devices; then the camera's virtual microphone once registered.
std::vector<DeviceInfo> listAudioDevices();

struct Profile {
    std::string name;
    std::string description;
    int width = 320;
    int height = 240;
    int framesPerSecond = 15;
    int videoBitRate = 300000; // bits/s
    int audioBitRate = 32000;  // bits/s
    int audioSampleRate = 22050;
    int audioChannels = 1;
};

struct SessionSettings {
    std::string videoDevice; // friendly name ("device://" stripped)
    std::string audioDevice; // friendly name
    Profile profile;
    std::string outputPath; // empty: preview only, nothing written
};

struct SessionStatistics {
    int64_t elapsedMilliseconds = 0; // since the start of the file (0 without one)
    int64_t videoBytes = 0;          // written to the file per stream
    int64_t audioBytes = 0;
    int64_t videoFrames = 0; // frames written
    int64_t audioPackets = 0;
    int64_t droppedFrames = 0; // frames the source delivered late or not at all
};

class CaptureSession {
public:
    // Opens both devices and the output file and starts the threads; null with `error` set
    // to a sentence a user understands when any step fails (nothing left open, no file left).
    static std::unique_ptr<CaptureSession> start(const SessionSettings& settings,
                                                 std::string& error);
    virtual ~CaptureSession() = default; // stops, as stop() does

    // Ends the run: the file gets its header, index and trailer and stays playable. Idempotent.
    virtual void stop() = 0;
    // False once stopped, or once a device ended the run by itself (failure() says why).
    virtual bool running() const = 0;
    virtual std::string failure() const = 0;
    virtual SessionStatistics statistics() const = 0;
    // The newest picture for the views, 32-bit 0xffRRGGBB pixels at the profile's size.
    // Returns its sequence number (0: none yet); copies only when it is newer than `known`.
    virtual uint64_t latestFrame(uint64_t known, std::vector<uint32_t>& pixels, int& width,
                                 int& height) const = 0;
};

} // namespace kerris::encoder
