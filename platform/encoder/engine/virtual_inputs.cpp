// Inputs from the camera's virtual devices: the picture and the sound of each moment of the
// session clock are rendered when that moment has come, so both share the clock exactly.
#include "platform/encoder/engine/inputs.h"
#include "platform/encoder/virtual_devices.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <algorithm>

namespace kerris::encoder::engine {

namespace {

// The microphone is read in blocks of this many per second.
constexpr int kBlocksPerSecond = 50;

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

class VirtualCameraInput final : public VideoInput {
public:
    VirtualCameraInput(std::unique_ptr<VirtualCameraVideo> camera, FramePtr frame, int fps)
        : m_camera(std::move(camera)), m_frame(std::move(frame)), m_fps(fps) {}

    ReadStatus read(const SessionClock& clock, int64_t deadline, const AVFrame*& picture,
                    int64_t& time, std::string& error) override {
        int64_t at = slotTime(m_slot);
        if (at > deadline) {
            clock.sleepUntil(deadline);
            return ReadStatus::Timeout;
        }
        clock.sleepUntil(at);
        // Woken late (a busy machine): render the moment that is due now, not the past ones.
        const int64_t now = clock.now();
        if (now >= slotTime(m_slot + 1)) {
            m_slot = now * m_fps / kNanosecondsPerSecond;
            at = slotTime(m_slot);
        }
        if (av_frame_make_writable(m_frame.get()) < 0) {
            error =
                "Not enough memory for the pictures of \"" + std::string(kVirtualCameraName) + "\"";
            return ReadStatus::Failed;
        }
        if (!m_camera->render(at, m_frame->data[0], error)) {
            if (error.empty())
                error = "The video device \"" + std::string(kVirtualCameraName) +
                        "\" stopped delivering pictures";
            return ReadStatus::Failed;
        }
        ++m_slot;
        time = at;
        picture = m_frame.get();
        return ReadStatus::Delivered;
    }

private:
    int64_t slotTime(int64_t slot) const { return slot * kNanosecondsPerSecond / m_fps; }

    std::unique_ptr<VirtualCameraVideo> m_camera;
    FramePtr m_frame;
    int64_t m_fps;
    int64_t m_slot = 0;
};

class VirtualMicrophoneInput final : public AudioInput {
public:
    VirtualMicrophoneInput(std::unique_ptr<VirtualCameraMicrophone> microphone, int rate,
                           int channels)
        : m_microphone(std::move(microphone)), m_rate(rate), m_channels(channels) {}
    ~VirtualMicrophoneInput() override { av_frame_free(&m_block); }

    ReadStatus read(const SessionClock& clock, int64_t deadline, const AVFrame*& block,
                    int64_t& time, std::string& error) override {
        const int64_t blockEnd = m_position + m_rate / kBlocksPerSecond;
        const int64_t endTime = blockEnd * kNanosecondsPerSecond / m_rate;
        if (endTime > deadline) {
            clock.sleepUntil(deadline);
            return ReadStatus::Timeout;
        }
        clock.sleepUntil(endTime);
        const int64_t due = clock.now() * m_rate / kNanosecondsPerSecond;
        const int count = static_cast<int>(std::clamp<int64_t>(due - m_position, 1, m_rate));
        if (!allocate(count)) {
            error = "Not enough memory for the sound of \"" + std::string(kVirtualMicrophoneName) +
                    "\"";
            return ReadStatus::Failed;
        }
        if (!m_microphone->render(m_position, reinterpret_cast<int16_t*>(m_block->data[0]), count,
                                  error)) {
            if (error.empty())
                error = "The audio device \"" + std::string(kVirtualMicrophoneName) +
                        "\" stopped delivering sound";
            return ReadStatus::Failed;
        }
        time = m_position * kNanosecondsPerSecond / m_rate;
        m_position += count;
        block = m_block;
        return ReadStatus::Delivered;
    }

private:
    bool allocate(int count) {
        if (!m_block && !(m_block = av_frame_alloc()))
            return false;
        av_frame_unref(m_block);
        m_block->format = AV_SAMPLE_FMT_S16;
        m_block->sample_rate = m_rate;
        m_block->nb_samples = count;
        av_channel_layout_default(&m_block->ch_layout, m_channels);
        return av_frame_get_buffer(m_block, 1) >= 0;
    }

    std::unique_ptr<VirtualCameraMicrophone> m_microphone;
    int m_rate;
    int m_channels;
    int64_t m_position = 0;
    AVFrame* m_block = nullptr;
};

} // namespace

bool virtualInputsInstalled() {
    return virtualDevicesInstalled();
}

std::unique_ptr<VideoInput> openVirtualCameraInput(const Profile& profile, std::string& error) {
    FramePtr frame(av_frame_alloc());
    if (!frame) {
        error = "Not enough memory for the pictures of \"" + std::string(kVirtualCameraName) + "\"";
        return nullptr;
    }
    frame->format = AV_PIX_FMT_BGR24;
    frame->width = profile.width;
    frame->height = profile.height;
    // Rows of exactly width * 3 bytes, as the camera renders them.
    if (av_frame_get_buffer(frame.get(), 1) < 0 || frame->linesize[0] != profile.width * 3) {
        error = "Not enough memory for the pictures of \"" + std::string(kVirtualCameraName) + "\"";
        return nullptr;
    }
    auto camera =
        VirtualCameraVideo::open(profile.width, profile.height, profile.framesPerSecond, error);
    if (!camera)
        return nullptr;
    return std::make_unique<VirtualCameraInput>(std::move(camera), std::move(frame),
                                                profile.framesPerSecond);
}

std::unique_ptr<AudioInput> openVirtualMicrophoneInput(const Profile& profile, std::string& error) {
    auto microphone =
        VirtualCameraMicrophone::open(profile.audioSampleRate, profile.audioChannels, error);
    if (!microphone)
        return nullptr;
    return std::make_unique<VirtualMicrophoneInput>(std::move(microphone), profile.audioSampleRate,
                                                    profile.audioChannels);
}

} // namespace kerris::encoder::engine
