// Inputs through libavdevice: V4L2 cameras ("video4linux2") and ALSA capture devices ("alsa");
// the sound server's sources have an input of their own (pulse_input.cpp). Each packet is
// decoded (raw formats and MJPEG alike) and stamped on the session clock from the device's own
// timestamp.
#include "platform/encoder/engine/inputs.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>

namespace kerris::encoder::engine {

namespace {

// How often a non-blocking V4L2 read looks again when the driver has no picture yet.
constexpr auto kPollInterval = std::chrono::milliseconds(2);

void registerDevices() {
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

// One open libavdevice input with its decoder.
class LavInput {
public:
    ~LavInput() {
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        avcodec_free_context(&m_decoder);
        avformat_close_input(&m_format);
    }

    // Opens `url` with `format`; on failure returns the libav error code (0: success).
    int open(const char* format, const std::string& url, AVDictionary** options, bool nonBlocking) {
        registerDevices();
        const AVInputFormat* input = av_find_input_format(format);
        if (!input)
            return AVERROR_DEMUXER_NOT_FOUND;
        m_format = avformat_alloc_context();
        if (!m_format)
            return AVERROR(ENOMEM);
        if (nonBlocking)
            m_format->flags |= AVFMT_FLAG_NONBLOCK;
        int result = avformat_open_input(&m_format, url.c_str(), input, options);
        if (result < 0)
            return result; // avformat_open_input freed the context
        if (m_format->nb_streams < 1)
            return AVERROR_STREAM_NOT_FOUND;
        const AVCodecParameters* parameters = m_format->streams[0]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
        if (!codec)
            return AVERROR_DECODER_NOT_FOUND;
        m_decoder = avcodec_alloc_context3(codec);
        m_packet = av_packet_alloc();
        m_frame = av_frame_alloc();
        if (!m_decoder || !m_packet || !m_frame)
            return AVERROR(ENOMEM);
        if ((result = avcodec_parameters_to_context(m_decoder, parameters)) < 0)
            return result;
        m_decoder->pkt_timebase = m_format->streams[0]->time_base;
        return avcodec_open2(m_decoder, codec, nullptr);
    }

    // The next decoded frame, or Timeout / Failed (with the libav code in `code`).
    ReadStatus read(const SessionClock& clock, int64_t deadline, const AVFrame*& frame,
                    int64_t& time, int& code) {
        for (;;) {
            const int received = avcodec_receive_frame(m_decoder, m_frame);
            if (received == 0) {
                int64_t stamp = m_frame->best_effort_timestamp;
                if (stamp == AV_NOPTS_VALUE)
                    stamp = m_frame->pts;
                if (stamp == AV_NOPTS_VALUE) {
                    time = clock.now();
                } else {
                    const int64_t us = av_rescale_q(stamp, m_format->streams[0]->time_base,
                                                    AVRational{1, 1000000});
                    time = clock.fromDeviceMicroseconds(us);
                }
                frame = m_frame;
                return ReadStatus::Delivered;
            }
            if (received != AVERROR(EAGAIN)) {
                code = received;
                return ReadStatus::Failed;
            }
            const int result = av_read_frame(m_format, m_packet);
            if (result == AVERROR(EAGAIN)) {
                if (clock.now() >= deadline)
                    return ReadStatus::Timeout;
                std::this_thread::sleep_for(kPollInterval);
                continue;
            }
            if (result < 0) {
                code = result;
                return ReadStatus::Failed;
            }
            if (m_packet->stream_index == 0) {
                const int sent = avcodec_send_packet(m_decoder, m_packet);
                // A damaged picture is left out; the next one decodes on its own.
                if (sent < 0 && sent != AVERROR_INVALIDDATA) {
                    av_packet_unref(m_packet);
                    code = sent;
                    return ReadStatus::Failed;
                }
            }
            av_packet_unref(m_packet);
        }
    }

private:
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_decoder = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
};

std::string openFailure(const char* kind, const std::string& name, int code) {
    if (code == AVERROR(EBUSY))
        return std::string("The ") + kind + " device \"" + name + "\" is in use by another program";
    if (code == AVERROR(ENOENT) || code == AVERROR(ENODEV) || code == AVERROR(ENXIO))
        return std::string("No ") + kind + " device named \"" + name + "\" is connected";
    return std::string("The ") + kind + " device \"" + name +
           "\" cannot be opened: " + avErrorText(code);
}

class V4l2Input final : public VideoInput {
public:
    explicit V4l2Input(std::string name) : m_name(std::move(name)) {}
    LavInput input;

    ReadStatus read(const SessionClock& clock, int64_t deadline, const AVFrame*& picture,
                    int64_t& time, std::string& error) override {
        int code = 0;
        const ReadStatus status = input.read(clock, deadline, picture, time, code);
        if (status == ReadStatus::Failed)
            error = "The video device \"" + m_name + "\" stopped delivering pictures (" +
                    avErrorText(code) + ")";
        return status;
    }

private:
    std::string m_name;
};

class SoundInput final : public AudioInput {
public:
    explicit SoundInput(std::string name) : m_name(std::move(name)) {}
    LavInput input;

    ReadStatus read(const SessionClock& clock, int64_t deadline, const AVFrame*& block,
                    int64_t& time, std::string& error) override {
        int code = 0;
        const ReadStatus status = input.read(clock, deadline, block, time, code);
        if (status == ReadStatus::Failed)
            error = "The audio device \"" + m_name + "\" stopped delivering sound (" +
                    avErrorText(code) + ")";
        if (status == ReadStatus::Delivered && block->sample_rate > 0) {
            // A block's first sample was taken at least its length before it could be read;
            // sound servers stamp some sources' blocks with the time of their last sample.
            const int64_t length =
                int64_t{block->nb_samples} * kNanosecondsPerSecond / block->sample_rate;
            time = std::min(time, clock.now() - length);
        }
        return status;
    }

private:
    std::string m_name;
};

} // namespace

std::string avErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::unique_ptr<VideoInput> openV4l2Input(const DeviceInfo& device, const Profile& profile,
                                          std::string& error) {
    auto input = std::make_unique<V4l2Input>(device.friendlyName);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "video_size",
                (std::to_string(profile.width) + "x" + std::to_string(profile.height)).c_str(), 0);
    av_dict_set(&options, "framerate", std::to_string(profile.framesPerSecond).c_str(), 0);
    const int code = input->input.open("video4linux2", device.address, &options, true);
    av_dict_free(&options);
    if (code < 0) {
        error = openFailure("video", device.friendlyName, code);
        return nullptr;
    }
    return input;
}

std::unique_ptr<AudioInput> openAlsaInput(const DeviceInfo& device, const Profile& profile,
                                          std::string& error) {
    auto input = std::make_unique<SoundInput>(device.friendlyName);
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "sample_rate", profile.audioSampleRate, 0);
    av_dict_set_int(&options, "channels", profile.audioChannels, 0);
    const int code = input->input.open("alsa", device.address, &options, false);
    av_dict_free(&options);
    if (code < 0) {
        error = openFailure("audio", device.friendlyName, code);
        return nullptr;
    }
    return input;
}

} // namespace kerris::encoder::engine
