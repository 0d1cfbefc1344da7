// "Kerris Camera Microphone": quiet noise, and a 1 kHz tone for the first 100 ms of every
// second of the stream clock. Every sample is a function of its frame number alone, so the
// signal does not depend on how the caller cuts it into buffers.
#include "platform/encoder/virtual/device_support.h"
#include "platform/encoder/virtual_devices.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <vector>

namespace kerris::encoder {

namespace {

constexpr int kMinimumRate = 8000;
constexpr int kMaximumRate = 192000;
constexpr double kToneHz = 1000.0;
constexpr double kToneAmplitude = 0.5012 * 32767; // -6 dBFS
// Uniform noise of +-180 has an RMS of 104: about -50 dBFS.
constexpr int kNoisePeak = 180;
constexpr char kLockName[] = "kerris-camera-microphone";

// A 64-bit mix of the sample's position (splitmix64's finaliser).
uint64_t mix(uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

class CameraMicrophone final : public VirtualCameraMicrophone {
public:
    CameraMicrophone(int rate, int channels)
        : m_rate(rate), m_channels(channels),
          m_stop(virtualdev::stopAfterMilliseconds("AudioStopAfterMs")) {}

    bool start(std::string& error) {
        if (!m_lock.acquire(kLockName, "audio", kVirtualMicrophoneName, error))
            return false;
        // The tone starts at its crest, so its first sample stands out of the noise.
        m_tone.resize(size_t(m_rate / 10));
        for (size_t i = 0; i < m_tone.size(); ++i)
            m_tone[i] = kToneAmplitude *
                        std::cos(2 * std::numbers::pi * kToneHz * double(i) / double(m_rate));
        m_stop.start();
        return true;
    }

    bool render(int64_t firstFrame, int16_t* samples, int frames, std::string& error) override {
        if (m_stop.stopped()) {
            error = std::string("The audio device \"") + kVirtualMicrophoneName +
                    "\" stopped delivering sound";
            return false;
        }
        if (frames < 0 || (frames > 0 && !samples)) {
            error = std::string("The audio device \"") + kVirtualMicrophoneName +
                    "\" was given no room for its sound";
            return false;
        }
        int64_t inSecond = virtualdev::floorMod(firstFrame, m_rate);
        for (int i = 0; i < frames; ++i) {
            const int64_t frame = firstFrame + i;
            const double tone = size_t(inSecond) < m_tone.size() ? m_tone[size_t(inSecond)] : 0.0;
            for (int c = 0; c < m_channels; ++c) {
                const uint64_t noise = mix(uint64_t(frame) * uint64_t(m_channels) + uint64_t(c));
                const int value =
                    int(std::lround(tone)) + int(noise % (2 * kNoisePeak + 1)) - kNoisePeak;
                samples[size_t(i) * size_t(m_channels) + size_t(c)] =
                    int16_t(std::clamp(value, -32768, 32767));
            }
            if (++inSecond == m_rate)
                inSecond = 0;
        }
        return true;
    }

private:
    int m_rate;
    int m_channels;
    virtualdev::StopClock m_stop;
    virtualdev::DeviceLock m_lock;
    std::vector<double> m_tone; // one tone, rate / 10 samples
};

} // namespace

std::unique_ptr<VirtualCameraMicrophone> VirtualCameraMicrophone::open(int sampleRate, int channels,
                                                                       std::string& error) {
    if (sampleRate < kMinimumRate || sampleRate > kMaximumRate) {
        error = std::string("The audio device \"") + kVirtualMicrophoneName +
                "\" cannot record at " + std::to_string(sampleRate) + " samples a second";
        return nullptr;
    }
    if (channels < 1 || channels > 2) {
        error = std::string("The audio device \"") + kVirtualMicrophoneName + "\" cannot record " +
                std::to_string(channels) + " channels";
        return nullptr;
    }
    try {
        auto device = std::make_unique<CameraMicrophone>(sampleRate, channels);
        if (!device->start(error))
            return nullptr;
        return device;
    } catch (const std::bad_alloc&) {
        error = std::string("There is not enough memory for the audio device \"") +
                kVirtualMicrophoneName + "\"";
        return nullptr;
    }
}

} // namespace kerris::encoder
