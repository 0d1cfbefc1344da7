// The recording session: a video and an audio thread, each reading its device, placing what it
// reads on the session clock's grid (pictures) or timeline (sound), converting and encoding it;
// the last thread to end finishes the file. The newest picture is kept for the views.
#include "platform/encoder/capture_session.h"

#include "platform/encoder/engine/asf_writer.h"
#include "platform/encoder/engine/audio_timeline.h"
#include "platform/encoder/engine/frame_pacer.h"
#include "platform/encoder/engine/inputs.h"
#include "platform/encoder/engine/recorder.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

namespace kerris::encoder {

namespace engine {

namespace {

// How far behind the clock a stalled sound source is filled with silence: more than a sound
// server's latency, so a late block still finds its place.
constexpr int64_t kSilenceLagNs = 300000000;
// How long one audio read waits, so that stop and stalls are seen in time.
constexpr int64_t kAudioWaitNs = 100000000;

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

FramePtr allocateFrame() {
    FramePtr frame(av_frame_alloc());
    if (!frame)
        throw std::bad_alloc();
    return frame;
}

// A black YUV420P picture at the profile's size: what the file shows before the first one.
FramePtr blackPicture(const Profile& profile) {
    FramePtr frame = allocateFrame();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = profile.width;
    frame->height = profile.height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        throw std::bad_alloc();
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? profile.height : profile.height / 2;
        std::memset(frame->data[plane], plane == 0 ? 16 : 128,
                    static_cast<size_t>(frame->linesize[plane]) * static_cast<size_t>(rows));
    }
    return frame;
}

class Recorder final : public CaptureSession {
public:
    Recorder(const SessionSettings& settings, std::unique_ptr<VideoInput> video,
             std::unique_ptr<AudioInput> audio, std::unique_ptr<AsfWriter> writer,
             const RecorderOptions& options)
        : m_settings(settings), m_options(options), m_video(std::move(video)),
          m_audio(std::move(audio)), m_writer(std::move(writer)), m_latest(allocateFrame()) {}

    ~Recorder() override {
        stop();
        sws_freeContext(m_previewScaler);
        av_channel_layout_uninit(&m_inLayout);
    }

    void begin() {
        // The views show black until the first picture.
        publish(blackPicture(m_settings.profile).get());
        m_running = true;
        m_active = m_audio ? 2 : 1;
        m_clock.restart();
        m_videoThread = std::thread([this] { videoLoop(); });
        if (m_audio)
            m_audioThread = std::thread([this] { audioLoop(); });
    }

    void stop() override {
        if (!m_stopRequested) {
            m_stopTime = m_clock.now();
            m_stopRequested = true;
        }
        if (m_videoThread.joinable())
            m_videoThread.join();
        if (m_audioThread.joinable())
            m_audioThread.join();
    }

    bool running() const override { return m_running; }

    std::string failure() const override {
        std::lock_guard lock(m_failureLock);
        return m_failure;
    }

    SessionStatistics statistics() const override {
        SessionStatistics statistics;
        if (m_writer) {
            statistics.elapsedMilliseconds =
                (m_running ? m_clock.now() : m_endTime.load()) / 1000000;
            statistics.videoBytes = m_writer->videoBytes();
            statistics.audioBytes = m_writer->audioBytes();
            statistics.videoFrames = m_writer->videoFrames();
            statistics.audioPackets = m_writer->audioPackets();
        }
        statistics.droppedFrames = m_dropped;
        return statistics;
    }

    uint64_t latestFrame(uint64_t known, std::vector<uint32_t>& pixels, int& width,
                         int& height) const override {
        FramePtr picture;
        uint64_t sequence;
        {
            std::lock_guard lock(m_latestLock);
            sequence = m_sequence;
            if (sequence == 0 || sequence == known)
                return sequence;
            picture.reset(av_frame_clone(m_latest.get()));
        }
        if (!picture)
            return known;
        std::lock_guard lock(m_previewLock);
        m_previewScaler = sws_getCachedContext(m_previewScaler, picture->width, picture->height,
                                               static_cast<AVPixelFormat>(picture->format),
                                               picture->width, picture->height, AV_PIX_FMT_RGB32,
                                               SWS_POINT, nullptr, nullptr, nullptr);
        if (!m_previewScaler)
            return known;
        std::vector<uint32_t> converted(static_cast<size_t>(picture->width) *
                                        static_cast<size_t>(picture->height));
        uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(converted.data()), nullptr, nullptr,
                              nullptr};
        int strides[4] = {picture->width * 4, 0, 0, 0};
        sws_scale(m_previewScaler, picture->data, picture->linesize, 0, picture->height, planes,
                  strides);
        pixels = std::move(converted);
        width = picture->width;
        height = picture->height;
        return sequence;
    }

private:
    void fail(const std::string& error) {
        {
            std::lock_guard lock(m_failureLock);
            if (m_failure.empty())
                m_failure = error;
        }
        if (!m_stopRequested) {
            m_stopTime = m_clock.now();
            m_stopRequested = true;
        }
    }

    // The last capture thread out finishes the file, then the run counts as ended.
    void threadDone() {
        if (--m_active > 0)
            return;
        m_endTime = m_clock.now();
        if (m_writer) {
            std::string error;
            if (!m_writer->finish(error))
                fail(error);
        }
        m_running = false;
    }

    void publish(const AVFrame* picture) {
        std::lock_guard lock(m_latestLock);
        av_frame_unref(m_latest.get());
        if (av_frame_ref(m_latest.get(), picture) == 0)
            ++m_sequence;
    }

    // Scales and converts a device's picture into `into` (YUV420P at the profile's size).
    bool convert(const AVFrame* picture, AVFrame* into) {
        m_scaler = sws_getCachedContext(
            m_scaler, picture->width, picture->height, static_cast<AVPixelFormat>(picture->format),
            into->width, into->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!m_scaler)
            return false;
        // A picture still held by a view or the encoder keeps its buffer; this one gets a
        // fresh one (no copy: every byte is written below).
        if (!av_frame_is_writable(into)) {
            const int width = into->width, height = into->height, format = into->format;
            av_frame_unref(into);
            into->width = width;
            into->height = height;
            into->format = format;
            if (av_frame_get_buffer(into, 0) < 0)
                throw std::bad_alloc();
        }
        sws_scale(m_scaler, picture->data, picture->linesize, 0, picture->height, into->data,
                  into->linesize);
        return true;
    }

    bool encodeVideo(AVFrame* picture, int64_t slot) {
        if (!m_writer)
            return true;
        std::string error;
        if (m_writer->writeVideo(picture, slot, error))
            return true;
        fail(error);
        return false;
    }

    void videoLoop() {
        try {
            runVideo();
        } catch (const std::bad_alloc&) {
            fail("There is not enough memory to record \"" + m_settings.videoDevice + "\"");
        }
        sws_freeContext(m_scaler);
        m_scaler = nullptr;
        threadDone();
    }

    void runVideo() {
        FramePacer pacer(m_settings.profile.framesPerSecond);
        FramePtr current = blackPicture(m_settings.profile);
        int64_t lastDelivered = 0;
        while (!m_stopRequested) {
            const AVFrame* picture = nullptr;
            int64_t time = 0;
            std::string error;
            const ReadStatus status =
                m_video->read(m_clock, pacer.deadline(), picture, time, error);
            const int64_t now = m_clock.now();
            if (status == ReadStatus::Failed) {
                fail(error);
                return;
            }
            if (status == ReadStatus::Delivered) {
                lastDelivered = now;
                const FramePacer::Step step = pacer.picture(time, now);
                for (int64_t i = 0; i < step.repeats; ++i) {
                    ++m_dropped;
                    if (!encodeVideo(current.get(), step.firstSlot + i))
                        return;
                }
                if (!step.take)
                    ++m_dropped;
                if (!convert(picture, current.get())) {
                    fail("The pictures of \"" + m_settings.videoDevice + "\" cannot be converted");
                    return;
                }
                publish(current.get());
                if (step.take && !encodeVideo(current.get(), step.firstSlot + step.repeats))
                    return;
                continue;
            }
            if (now - lastDelivered > m_options.stallLimitNs) {
                fail("The video device \"" + m_settings.videoDevice +
                     "\" stopped delivering pictures");
                return;
            }
            // Late: the last picture stands in, so the file keeps its frame rate.
            while (pacer.deadline() <= now) {
                ++m_dropped;
                if (!encodeVideo(current.get(), pacer.late()))
                    return;
            }
        }
    }

    void audioLoop() {
        try {
            runAudio();
        } catch (const std::bad_alloc&) {
            fail("There is not enough memory to record \"" + m_settings.audioDevice + "\"");
        }
        swr_free(&m_resampler);
        threadDone();
    }

    // Converts a block into planar float at the profile's rate and channels, resetting the
    // converter when the device changes its format.
    bool resample(const AVFrame* block, AVFrame* into) {
        const bool same = m_resampler && m_inFormat == block->format &&
                          m_inRate == block->sample_rate &&
                          av_channel_layout_compare(&m_inLayout, &block->ch_layout) == 0;
        if (!same) {
            swr_free(&m_resampler);
            AVChannelLayout out{};
            AVChannelLayout in{};
            av_channel_layout_default(&out, m_settings.profile.audioChannels);
            int made = av_channel_layout_copy(&in, &block->ch_layout);
            if (made >= 0)
                made = swr_alloc_set_opts2(
                    &m_resampler, &out, AV_SAMPLE_FMT_FLTP, m_settings.profile.audioSampleRate, &in,
                    static_cast<AVSampleFormat>(block->format), block->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&out);
            av_channel_layout_uninit(&in);
            if (made < 0 || swr_init(m_resampler) < 0)
                return false;
            m_inFormat = block->format;
            m_inRate = block->sample_rate;
            av_channel_layout_uninit(&m_inLayout);
            if (av_channel_layout_copy(&m_inLayout, &block->ch_layout) < 0)
                return false;
        }
        av_frame_unref(into);
        into->format = AV_SAMPLE_FMT_FLTP;
        into->sample_rate = m_settings.profile.audioSampleRate;
        av_channel_layout_default(&into->ch_layout, m_settings.profile.audioChannels);
        into->nb_samples = swr_get_out_samples(m_resampler, block->nb_samples);
        if (into->nb_samples <= 0)
            return into->nb_samples == 0;
        if (av_frame_get_buffer(into, 0) < 0)
            throw std::bad_alloc();
        const int count =
            swr_convert(m_resampler, into->data, into->nb_samples,
                        const_cast<const uint8_t**>(block->extended_data), block->nb_samples);
        if (count < 0)
            return false;
        into->nb_samples = count;
        return true;
    }

    bool encodeAudio(AudioTimeline& timeline, AVFrame* frame) {
        while (timeline.takeFrame(frame)) {
            std::string error;
            if (!m_writer->writeAudio(frame, error)) {
                fail(error);
                return false;
            }
        }
        return true;
    }

    void runAudio() {
        const int frameSize = m_writer ? m_writer->audioFrameSize() : 0;
        AudioTimeline timeline(m_settings.profile.audioSampleRate, m_settings.profile.audioChannels,
                               frameSize > 0 ? frameSize : 1024,
                               m_writer ? m_writer->audioFirstSample() : 0);
        FramePtr converted = allocateFrame();
        FramePtr frame = allocateFrame();
        int64_t lastDelivered = 0;
        int64_t fillLag = kSilenceLagNs;
        while (!m_stopRequested) {
            const AVFrame* block = nullptr;
            int64_t time = 0;
            std::string error;
            const ReadStatus status =
                m_audio->read(m_clock, m_clock.now() + kAudioWaitNs, block, time, error);
            const int64_t now = m_clock.now();
            if (status == ReadStatus::Failed) {
                fail(error);
                break;
            }
            if (status == ReadStatus::Delivered) {
                lastDelivered = now;
                if (!m_writer)
                    continue; // preview: the sound is read and let go
                if (!resample(block, converted.get())) {
                    fail("The sound of \"" + m_settings.audioDevice + "\" cannot be converted");
                    break;
                }
                // Sound taken after the stop (a block that came in while stopping) stays out.
                int count = converted->nb_samples;
                if (m_stopRequested)
                    count = static_cast<int>(std::clamp<int64_t>(
                        timeline.sampleAt(m_stopTime) - timeline.sampleAt(time), 0, count));
                timeline.add(reinterpret_cast<const float* const*>(converted->extended_data), count,
                             time);
                // A source that delivers in long blocks is not stalled between them.
                fillLag = std::max(fillLag, now - time + kSilenceLagNs);
            } else if (now - lastDelivered > m_options.stallLimitNs) {
                fail("The audio device \"" + m_settings.audioDevice +
                     "\" stopped delivering sound");
                break;
            }
            if (!m_writer)
                continue;
            timeline.fillSilenceUntil(now - fillLag);
            if (!encodeAudio(timeline, frame.get()))
                return;
        }
        if (m_writer) {
            timeline.padToWholeFrame();
            encodeAudio(timeline, frame.get());
        }
    }

    SessionSettings m_settings;
    RecorderOptions m_options;
    std::unique_ptr<VideoInput> m_video;
    std::unique_ptr<AudioInput> m_audio;
    std::unique_ptr<AsfWriter> m_writer;
    SessionClock m_clock;

    std::thread m_videoThread;
    std::thread m_audioThread;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_running{false};
    std::atomic<int> m_active{0};
    std::atomic<int64_t> m_endTime{0};
    std::atomic<int64_t> m_stopTime{0};
    std::atomic<int64_t> m_dropped{0};

    mutable std::mutex m_failureLock;
    std::string m_failure;

    // Video thread only.
    SwsContext* m_scaler = nullptr;
    // Audio thread only.
    SwrContext* m_resampler = nullptr;
    int m_inFormat = -1;
    int m_inRate = 0;
    AVChannelLayout m_inLayout{};

    mutable std::mutex m_latestLock;
    FramePtr m_latest;
    uint64_t m_sequence = 0;
    mutable std::mutex m_previewLock;
    mutable SwsContext* m_previewScaler = nullptr;
};

const DeviceInfo* findDevice(const std::vector<DeviceInfo>& devices, const std::string& name) {
    for (const DeviceInfo& device : devices)
        if (device.friendlyName == name)
            return &device;
    return nullptr;
}

} // namespace

std::unique_ptr<CaptureSession> startRecorder(const SessionSettings& settings,
                                              std::unique_ptr<VideoInput> video,
                                              std::unique_ptr<AudioInput> audio,
                                              const RecorderOptions& options, std::string& error) {
    if (!video) {
        error = "No video device is chosen";
        return nullptr;
    }
    if (!checkProfile(settings.profile, error))
        return nullptr;
    std::unique_ptr<AsfWriter> writer;
    if (!settings.outputPath.empty()) {
        writer = AsfWriter::create(settings.outputPath, settings.profile, audio != nullptr, error);
        if (!writer)
            return nullptr;
    }
    try {
        auto recorder = std::make_unique<Recorder>(settings, std::move(video), std::move(audio),
                                                   std::move(writer), options);
        recorder->begin();
        return recorder;
    } catch (const std::exception&) {
        error = "There is not enough memory to start recording";
        return nullptr;
    }
}

} // namespace engine

std::unique_ptr<CaptureSession> CaptureSession::start(const SessionSettings& settings,
                                                      std::string& error) {
    const std::vector<DeviceInfo> videoDevices = listVideoDevices();
    const DeviceInfo* videoDevice = engine::findDevice(videoDevices, settings.videoDevice);
    if (!videoDevice) {
        error = "No video device named \"" + settings.videoDevice + "\" is connected";
        return nullptr;
    }
    std::vector<DeviceInfo> audioDevices;
    const DeviceInfo* audioDevice = nullptr;
    if (!settings.audioDevice.empty()) {
        audioDevices = listAudioDevices();
        audioDevice = engine::findDevice(audioDevices, settings.audioDevice);
        if (!audioDevice) {
            error = "No audio device named \"" + settings.audioDevice + "\" is connected";
            return nullptr;
        }
    }
    if (!engine::checkProfile(settings.profile, error))
        return nullptr;
    std::unique_ptr<engine::VideoInput> video =
        engine::openVideoInput(*videoDevice, settings.profile, error);
    if (!video)
        return nullptr;
    std::unique_ptr<engine::AudioInput> audio;
    if (audioDevice && !(audio = engine::openAudioInput(*audioDevice, settings.profile, error)))
        return nullptr;
    return engine::startRecorder(settings, std::move(video), std::move(audio), {}, error);
}

} // namespace kerris::encoder
