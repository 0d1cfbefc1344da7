// The sound server's sources, recorded through libpulse with a main loop of the input's own:
// each read waits for sound at most until its deadline, so a server that stops answering
// gives timeouts (the run fills in silence) instead of a read that never returns.
#include "platform/encoder/engine/inputs.h"
#include "platform/encoder/engine/pulse_connection.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <cstring>
#include <type_traits>
#include <vector>

namespace kerris::encoder::engine {

namespace {

// libpulse's sample format record, as pa_bytes_per_second takes it.
template <class F> struct FirstParameter;
template <class R, class A> struct FirstParameter<R(A)> { using type = A; };
using SampleFormat =
    std::remove_cv_t<std::remove_pointer_t<FirstParameter<decltype(pa_bytes_per_second)>::type>>;

// The server hands sound over in pieces of about this length (its default holds back seconds).
constexpr int kFragmentsPerSecond = 50;

bool streamAlive(pa_stream* stream) {
    const pa_stream_state_t state = pa_stream_get_state(stream);
    return state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED;
}

class PulseInput final : public AudioInput {
public:
    PulseInput(std::string name, const Profile& profile)
        : m_name(std::move(name)), m_rate(profile.audioSampleRate),
          m_channels(profile.audioChannels) {}

    ~PulseInput() override {
        av_frame_free(&m_block);
        if (m_stream) {
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
    }

    bool open(const std::string& source, std::string& error) {
        m_block = av_frame_alloc();
        if (!m_block) {
            error = cannotOpen("not enough memory");
            return false;
        }
        std::string reason;
        if (!m_server.connect(reason)) {
            error = cannotOpen(reason);
            return false;
        }
        if (m_rate <= 0 || uint32_t(m_rate) > PA_RATE_MAX || m_channels <= 0 ||
            uint32_t(m_channels) > PA_CHANNELS_MAX) {
            error = cannotOpen("the profile's sound format is not one the server takes");
            return false;
        }
        const SampleFormat format{PA_SAMPLE_S16LE, static_cast<uint32_t>(m_rate),
                                  static_cast<uint8_t>(m_channels)};
        m_stream = pa_stream_new(m_server.context(), "Recording", &format, nullptr);
        if (!m_stream) {
            error = cannotOpen(m_server.errorText());
            return false;
        }
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<uint32_t>(-1);
        attributes.fragsize =
            static_cast<uint32_t>(pa_bytes_per_second(&format) / kFragmentsPerSecond);
        if (pa_stream_connect_record(m_stream, source.c_str(), &attributes,
                                     PA_STREAM_ADJUST_LATENCY) < 0) {
            error = cannotOpen(m_server.errorText());
            return false;
        }
        const int64_t deadline = monotonicNow() + kSoundServerTimeoutNs;
        while (pa_stream_get_state(m_stream) != PA_STREAM_READY) {
            const int64_t left = deadline - monotonicNow();
            if (!streamAlive(m_stream) || !m_server.alive() || left <= 0 ||
                !m_server.iterate(left)) {
                if (pa_context_errno(m_server.context()) == PA_ERR_NOENTITY)
                    error = "No audio device named \"" + m_name + "\" is connected";
                else
                    error = cannotOpen(left <= 0 ? "the sound server does not answer"
                                                 : m_server.errorText());
                return false;
            }
        }
        return true;
    }

    ReadStatus read(const SessionClock& clock, int64_t deadline, const AVFrame*& block,
                    int64_t& time, std::string& error) override {
        const size_t frameBytes = static_cast<size_t>(m_channels) * 2;
        for (;;) {
            if (!takeReadable()) {
                error = "The audio device \"" + m_name + "\" stopped delivering sound (" +
                        m_server.errorText() + ")";
                return ReadStatus::Failed;
            }
            const size_t whole = m_pending.size() / frameBytes;
            if (whole > 0) {
                if (!fillBlock(static_cast<int>(whole))) {
                    error = "There is not enough memory to record \"" + m_name + "\"";
                    return ReadStatus::Failed;
                }
                // The block's first sample was taken its length before it could be read.
                time = clock.now() - int64_t{m_block->nb_samples} * kNanosecondsPerSecond / m_rate;
                block = m_block;
                return ReadStatus::Delivered;
            }
            const int64_t left = deadline - clock.now();
            if (left <= 0)
                return ReadStatus::Timeout;
            if (!m_server.iterate(left)) {
                error = "The audio device \"" + m_name + "\" stopped delivering sound";
                return ReadStatus::Failed;
            }
        }
    }

private:
    std::string cannotOpen(const std::string& reason) const {
        return "The audio device \"" + m_name + "\" cannot be opened: " + reason;
    }

    // Moves what the stream holds into m_pending; false when the stream or server failed.
    bool takeReadable() {
        if (!m_server.alive() || !streamAlive(m_stream))
            return false;
        for (;;) {
            const size_t readable = pa_stream_readable_size(m_stream);
            if (readable == static_cast<size_t>(-1))
                return false;
            if (readable == 0)
                return true;
            const void* data = nullptr;
            size_t bytes = 0;
            if (pa_stream_peek(m_stream, &data, &bytes) < 0)
                return false;
            if (bytes == 0)
                return true;
            // A hole (data null) is sound the server lost: it is left out, and the run fills
            // the gap with silence as for a late source.
            if (data)
                m_pending.insert(m_pending.end(), static_cast<const uint8_t*>(data),
                                 static_cast<const uint8_t*>(data) + bytes);
            pa_stream_drop(m_stream);
        }
    }

    // The first `samples` whole sample frames of m_pending as m_block (interleaved 16-bit).
    bool fillBlock(int samples) {
        av_frame_unref(m_block);
        m_block->format = AV_SAMPLE_FMT_S16;
        m_block->sample_rate = m_rate;
        av_channel_layout_default(&m_block->ch_layout, m_channels);
        m_block->nb_samples = samples;
        if (av_frame_get_buffer(m_block, 0) < 0)
            return false;
        const size_t bytes = static_cast<size_t>(samples) * static_cast<size_t>(m_channels) * 2;
        std::memcpy(m_block->data[0], m_pending.data(), bytes);
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(bytes));
        return true;
    }

    std::string m_name;
    int m_rate;
    int m_channels;
    PulseConnection m_server;
    pa_stream* m_stream = nullptr;
    AVFrame* m_block = nullptr;
    std::vector<uint8_t> m_pending;
};

} // namespace

std::unique_ptr<AudioInput> openPulseInput(const DeviceInfo& device, const Profile& profile,
                                           std::string& error) {
    auto input = std::make_unique<PulseInput>(device.friendlyName, profile);
    if (!input->open(device.address, error))
        return nullptr;
    return input;
}

} // namespace kerris::encoder::engine
