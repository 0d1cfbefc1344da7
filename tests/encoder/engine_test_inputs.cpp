// The test camera and microphone.
#include "tests/encoder/engine_test_inputs.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <cmath>
#include <cstring>
#include <thread>

namespace kerris::encoder::test {

namespace {

using engine::kNanosecondsPerSecond;
using engine::ReadStatus;
using engine::SessionClock;

bool stalled(const TestInputFaults& faults, int64_t time) {
    return faults.stallFromNs >= 0 && time >= faults.stallFromNs &&
           (faults.stallUntilNs < 0 || time < faults.stallUntilNs);
}

class TestCamera final : public engine::VideoInput {
public:
    TestCamera(int width, int height, int fps, const TestInputFaults& faults)
        : m_fps(fps), m_faults(faults), m_frame(av_frame_alloc()) {
        if (m_faults.openInputs)
            ++*m_faults.openInputs;
        m_frame->format = AV_PIX_FMT_BGR24;
        m_frame->width = width;
        m_frame->height = height;
        av_frame_get_buffer(m_frame, 0);
    }
    ~TestCamera() override {
        av_frame_free(&m_frame);
        if (m_faults.openInputs)
            --*m_faults.openInputs;
    }

    ReadStatus read(const SessionClock& clock, int64_t deadline, const AVFrame*& picture,
                    int64_t& time, std::string& error) override {
        int64_t at = m_slot * kNanosecondsPerSecond / m_fps;
        if (at > deadline) {
            clock.sleepUntil(deadline);
            return ReadStatus::Timeout;
        }
        clock.sleepUntil(at);
        const int64_t now = clock.now();
        if (m_faults.failAtNs >= 0 && now >= m_faults.failAtNs) {
            error = "The video device \"Test Camera\" stopped delivering pictures";
            return ReadStatus::Failed;
        }
        if (now * m_fps / kNanosecondsPerSecond > m_slot) {
            m_slot = now * m_fps / kNanosecondsPerSecond;
            at = m_slot * kNanosecondsPerSecond / m_fps;
        }
        ++m_slot;
        if (stalled(m_faults, at)) {
            clock.sleepUntil(deadline);
            return ReadStatus::Timeout;
        }
        av_frame_make_writable(m_frame);
        // White on the first picture of each second, else a dark bar moving down.
        const bool white = at % kNanosecondsPerSecond < kNanosecondsPerSecond / m_fps;
        const int bar = static_cast<int>((at / 10000000) % m_frame->height);
        for (int y = 0; y < m_frame->height; ++y) {
            uint8_t* row = m_frame->data[0] + y * m_frame->linesize[0];
            const uint8_t value = white ? 255 : (std::abs(y - bar) < 8 ? 20 : 90);
            std::memset(row, value, static_cast<size_t>(m_frame->width) * 3);
        }
        time = at;
        picture = m_frame;
        return ReadStatus::Delivered;
    }

private:
    int64_t m_fps;
    TestInputFaults m_faults;
    AVFrame* m_frame;
    int64_t m_slot = 0;
};

class TestMicrophone final : public engine::AudioInput {
public:
    TestMicrophone(int rate, int channels, const TestInputFaults& faults)
        : m_rate(rate), m_channels(channels), m_faults(faults), m_block(av_frame_alloc()) {
        if (m_faults.openInputs)
            ++*m_faults.openInputs;
    }
    ~TestMicrophone() override {
        av_frame_free(&m_block);
        if (m_faults.openInputs)
            --*m_faults.openInputs;
    }

    ReadStatus read(const SessionClock& clock, int64_t deadline, const AVFrame*& block,
                    int64_t& time, std::string& error) override {
        const int64_t end = (m_position + m_rate / 50) * kNanosecondsPerSecond / m_rate;
        if (end > deadline) {
            clock.sleepUntil(deadline);
            return ReadStatus::Timeout;
        }
        clock.sleepUntil(end);
        const int64_t now = clock.now();
        if (m_faults.failAtNs >= 0 && now >= m_faults.failAtNs) {
            error = "The audio device \"Test Microphone\" stopped delivering sound";
            return ReadStatus::Failed;
        }
        const int64_t due = now * m_rate / kNanosecondsPerSecond;
        const int count = static_cast<int>(due - m_position);
        const int64_t first = m_position;
        m_position = due;
        if (stalled(m_faults, first * kNanosecondsPerSecond / m_rate))
            return ReadStatus::Timeout;
        av_frame_unref(m_block);
        m_block->format = AV_SAMPLE_FMT_S16;
        m_block->sample_rate = m_rate;
        m_block->nb_samples = count;
        av_channel_layout_default(&m_block->ch_layout, m_channels);
        av_frame_get_buffer(m_block, 0);
        auto* samples = reinterpret_cast<int16_t*>(m_block->data[0]);
        for (int i = 0; i < count; ++i) {
            const int64_t n = first + i;
            const int64_t inSecond = n % m_rate;
            const bool tone = inSecond < m_rate * kTestToneNs / kNanosecondsPerSecond;
            const double value =
                tone ? kTestToneAmplitude * std::sin(2.0 * M_PI * kTestToneHz *
                                                     static_cast<double>(inSecond) / m_rate)
                     : 0.002 * ((n * 7919) % 200 - 100) / 100.0;
            for (int c = 0; c < m_channels; ++c)
                samples[i * m_channels + c] = static_cast<int16_t>(value * 32767.0);
        }
        time = first * kNanosecondsPerSecond / m_rate;
        block = m_block;
        return ReadStatus::Delivered;
    }

private:
    int64_t m_rate;
    int m_channels;
    TestInputFaults m_faults;
    AVFrame* m_block;
    int64_t m_position = 0;
};

} // namespace

Profile murvaneProfile() {
    Profile profile;
    profile.name = "Murvane";
    profile.width = 320;
    profile.height = 240;
    profile.framesPerSecond = 15;
    profile.videoBitRate = 300000;
    profile.audioBitRate = 32000;
    profile.audioSampleRate = 22050;
    profile.audioChannels = 1;
    return profile;
}

bool waitUntilEnded(const CaptureSession& session, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (session.running() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return !session.running();
}

std::unique_ptr<engine::VideoInput> makeTestCamera(int width, int height, int fps,
                                                   const TestInputFaults& faults) {
    return std::make_unique<TestCamera>(width, height, fps, faults);
}

std::unique_ptr<engine::AudioInput> makeTestMicrophone(int rate, int channels,
                                                       const TestInputFaults& faults) {
    return std::make_unique<TestMicrophone>(rate, channels, faults);
}

} // namespace kerris::encoder::test
