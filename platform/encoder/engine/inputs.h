// The engine's side of a capture device: a video input delivering pictures and an audio input
// delivering sample blocks, each stamped on the session clock. One implementation per kind of
// device (libavdevice's V4L2, sound server and ALSA inputs; the camera's virtual devices);
// tests give the session inputs of their own.
#pragma once

#include "platform/encoder/capture_session.h"
#include "platform/encoder/engine/session_clock.h"

#include <memory>
#include <string>

extern "C" {
struct AVFrame;
}

namespace kerris::encoder::engine {

enum class ReadStatus { Delivered, Timeout, Failed };

class VideoInput {
public:
    virtual ~VideoInput() = default;
    // Waits until `deadline` (session clock) for the next picture. Delivered: `picture` holds
    // it (any size and pixel format, valid until the next read) and `time` its capture time on
    // `clock`. Timeout: nothing came in time. Failed: the device stopped delivering, `error`
    // says so in a sentence (the run then ends).
    virtual ReadStatus read(const SessionClock& clock, int64_t deadline, const AVFrame*& picture,
                            int64_t& time, std::string& error) = 0;
};

class AudioInput {
public:
    virtual ~AudioInput() = default;
    // As VideoInput::read, for a block of samples (any format, rate and channel layout set in
    // the frame); `time` is the capture time of its first sample.
    virtual ReadStatus read(const SessionClock& clock, int64_t deadline, const AVFrame*& block,
                            int64_t& time, std::string& error) = 0;
};

// Opens `device` (as listed) for the profile's size, rate and sound format; null with `error`
// set ("... is in use by another program", "... cannot be opened: ...") when it fails.
std::unique_ptr<VideoInput> openVideoInput(const DeviceInfo& device, const Profile& profile,
                                           std::string& error);
std::unique_ptr<AudioInput> openAudioInput(const DeviceInfo& device, const Profile& profile,
                                           std::string& error);

// The back ends behind them.
std::unique_ptr<VideoInput> openV4l2Input(const DeviceInfo& device, const Profile& profile,
                                          std::string& error);
std::unique_ptr<AudioInput> openPulseInput(const DeviceInfo& device, const Profile& profile,
                                           std::string& error);
std::unique_ptr<AudioInput> openAlsaInput(const DeviceInfo& device, const Profile& profile,
                                          std::string& error);
std::unique_ptr<VideoInput> openVirtualCameraInput(const Profile& profile, std::string& error);
std::unique_ptr<AudioInput> openVirtualMicrophoneInput(const Profile& profile, std::string& error);

// Whether this build has the camera's virtual devices and they are installed.
bool virtualInputsInstalled();

// Texts for libavutil's error codes and errno values.
std::string avErrorText(int code);

} // namespace kerris::encoder::engine
