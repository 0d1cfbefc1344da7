// The recording engine's CPU per recorded frame (conversion of the captured picture, wmv2,
// wmav2, ASF muxing) beside the ffmpeg program encoding the same raw frames and sound with the
// same codec settings, in the same run; and the frames dropped at 640 x 480, 30 frames/s
// from the virtual camera with a view polling the newest picture.
#include "platform/encoder/capture_session.h"
#include "platform/encoder/engine/recorder.h"
#include "platform/encoder/virtual_devices.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kerris::encoder::CaptureSession;
using kerris::encoder::Profile;
using kerris::encoder::SessionSettings;
using kerris::encoder::engine::AudioInput;
using kerris::encoder::engine::kNanosecondsPerSecond;
using kerris::encoder::engine::ReadStatus;
using kerris::encoder::engine::SessionClock;
using kerris::encoder::engine::VideoInput;

// How many seconds each recording lasts.
constexpr int kSeconds = 8;
// Distinct pictures, shown in turn (rendered once by the virtual camera).
constexpr int kPictures = 30;

fs::path scratch() {
    static const fs::path folder = [] {
        char pattern[] = "/tmp/kerris-bench-encoder-XXXXXX";
        const char* made = mkdtemp(pattern);
        const fs::path path = made ? made : "/tmp";
        setenv("KERRIS_REGISTRY_DIR", (path / "registry").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
        return path;
    }();
    return folder;
}

Profile profile(int width, int height, int fps) {
    Profile p;
    p.name = "Bench";
    p.width = width;
    p.height = height;
    p.framesPerSecond = fps;
    p.videoBitRate = width >= 640 ? 1000000 : 300000;
    p.audioBitRate = 32000;
    p.audioSampleRate = 22050;
    p.audioChannels = 1;
    return p;
}

// The virtual camera's pictures (B,G,R rows) and microphone's sound, rendered beforehand so
// that neither side of the comparison pays for them.
struct Material {
    std::vector<std::vector<uint8_t>> pictures;
    std::vector<int16_t> sound; // kSeconds of it
};

Material render(const Profile& p) {
    Material m;
    std::string error;
    auto camera =
        kerris::encoder::VirtualCameraVideo::open(p.width, p.height, p.framesPerSecond, error);
    auto microphone = kerris::encoder::VirtualCameraMicrophone::open(p.audioSampleRate, 1, error);
    if (!camera || !microphone) {
        std::fprintf(stderr, "virtual devices: %s\n", error.c_str());
        std::abort();
    }
    for (int i = 0; i < kPictures; ++i) {
        m.pictures.emplace_back(static_cast<size_t>(p.width) * p.height * 3);
        // Away from the white second marks: the moving scene.
        camera->render((i + 1) * kNanosecondsPerSecond / p.framesPerSecond,
                       m.pictures.back().data(), error);
    }
    m.sound.resize(static_cast<size_t>(p.audioSampleRate) * kSeconds);
    microphone->render(0, m.sound.data(), static_cast<int>(m.sound.size()), error);
    return m;
}

// Pictures from memory at the profile's rate, as a camera delivers them.
class MemoryCamera final : public VideoInput {
public:
    MemoryCamera(const Material& material, const Profile& p)
        : m_material(material), m_fps(p.framesPerSecond) {
        m_frame = av_frame_alloc();
        m_frame->format = AV_PIX_FMT_BGR24;
        m_frame->width = p.width;
        m_frame->height = p.height;
        m_frame->linesize[0] = p.width * 3;
    }
    ~MemoryCamera() override { av_frame_free(&m_frame); }
    ReadStatus read(const SessionClock& clock, int64_t deadline, const AVFrame*& picture,
                    int64_t& time, std::string&) override {
        const int64_t at = m_slot * kNanosecondsPerSecond / m_fps;
        if (at > deadline) {
            clock.sleepUntil(deadline);
            return ReadStatus::Timeout;
        }
        clock.sleepUntil(at);
        m_frame->data[0] = const_cast<uint8_t*>(
            m_material.pictures[static_cast<size_t>(m_slot % kPictures)].data());
        ++m_slot;
        time = at;
        picture = m_frame;
        return ReadStatus::Delivered;
    }

private:
    const Material& m_material;
    int64_t m_fps;
    int64_t m_slot = 0;
    AVFrame* m_frame;
};

// Sound from memory in 20 ms blocks.
class MemoryMicrophone final : public AudioInput {
public:
    MemoryMicrophone(const Material& material, const Profile& p)
        : m_material(material), m_rate(p.audioSampleRate) {
        m_block = av_frame_alloc();
    }
    ~MemoryMicrophone() override { av_frame_free(&m_block); }
    ReadStatus read(const SessionClock& clock, int64_t deadline, const AVFrame*& block,
                    int64_t& time, std::string&) override {
        const int count = static_cast<int>(m_rate / 50);
        const int64_t end = (m_position + count) * kNanosecondsPerSecond / m_rate;
        if (end > deadline) {
            clock.sleepUntil(deadline);
            return ReadStatus::Timeout;
        }
        clock.sleepUntil(end);
        av_frame_unref(m_block);
        m_block->format = AV_SAMPLE_FMT_S16;
        m_block->sample_rate = static_cast<int>(m_rate);
        m_block->nb_samples = count;
        av_channel_layout_default(&m_block->ch_layout, 1);
        const size_t first = static_cast<size_t>(m_position) %
                             (m_material.sound.size() - static_cast<size_t>(count));
        m_block->data[0] =
            reinterpret_cast<uint8_t*>(const_cast<int16_t*>(m_material.sound.data() + first));
        m_block->extended_data = m_block->data;
        m_block->linesize[0] = count * 2;
        time = m_position * kNanosecondsPerSecond / m_rate;
        m_position += count;
        block = m_block;
        return ReadStatus::Delivered;
    }

private:
    const Material& m_material;
    int64_t m_rate;
    int64_t m_position = 0;
    AVFrame* m_block;
};

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double seconds(const timeval& v) {
    return static_cast<double>(v.tv_sec) + static_cast<double>(v.tv_usec) * 1e-6;
}

double loadAverage() {
    double load = -1;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1)
            load = -1;
        std::fclose(f);
    }
    return load;
}

// Runs the ffmpeg program and returns its CPU seconds (user + system, from wait4), or -1.
double runFfmpeg(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execvp("ffmpeg", argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One recording by the engine and one by ffmpeg of the same frames per iteration; the
// counters are CPU milliseconds per frame of each and their ratio.
void BM_RecordedFrameCpu(benchmark::State& state) {
    const Profile p = profile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                              static_cast<int>(state.range(2)));
    const fs::path folder = scratch();
    const Material material = render(p);
    const int frames = p.framesPerSecond * kSeconds;
    // The raw input of the ffmpeg program: the same pictures in the same order, and the sound.
    const fs::path rawVideo = folder / "frames.bgr";
    const fs::path rawAudio = folder / "sound.s16";
    {
        std::ofstream video(rawVideo, std::ios::binary);
        for (int i = 0; i < frames; ++i) {
            const auto& picture = material.pictures[static_cast<size_t>(i % kPictures)];
            video.write(reinterpret_cast<const char*>(picture.data()),
                        static_cast<std::streamsize>(picture.size()));
        }
        std::ofstream audio(rawAudio, std::ios::binary);
        audio.write(reinterpret_cast<const char*>(material.sound.data()),
                    static_cast<std::streamsize>(material.sound.size() * 2));
    }
    const std::string size = std::to_string(p.width) + "x" + std::to_string(p.height);
    const std::vector<std::string> ffmpeg = {"ffmpeg",
                                             "-v",
                                             "error",
                                             "-y",
                                             "-threads",
                                             "1",
                                             "-f",
                                             "rawvideo",
                                             "-pix_fmt",
                                             "bgr24",
                                             "-s",
                                             size,
                                             "-r",
                                             std::to_string(p.framesPerSecond),
                                             "-i",
                                             rawVideo.string(),
                                             "-f",
                                             "s16le",
                                             "-ar",
                                             std::to_string(p.audioSampleRate),
                                             "-ac",
                                             "1",
                                             "-i",
                                             rawAudio.string(),
                                             "-c:v",
                                             "wmv2",
                                             "-pix_fmt",
                                             "yuv420p",
                                             "-b:v",
                                             std::to_string(p.videoBitRate),
                                             "-g",
                                             std::to_string(p.framesPerSecond),
                                             "-bf",
                                             "0",
                                             "-threads",
                                             "1",
                                             "-c:a",
                                             "wmav2",
                                             "-b:a",
                                             std::to_string(p.audioBitRate),
                                             "-f",
                                             "asf",
                                             (folder / "ffmpeg.wmv").string()};

    // What ffmpeg spends whatever it encodes (starting, opening the codecs, the header):
    // measured on a run of a tenth of the frames and taken out of its figure per frame.
    std::vector<std::string> shortRun = ffmpeg;
    shortRun.insert(shortRun.end() - 1, {"-frames:v", std::to_string(frames / 10)});
    const double startupCpu = runFfmpeg(shortRun);
    double oursMs = 0, theirsMs = 0, theirsMarginalMs = 0;
    int64_t dropped = 0;
    for (auto _ : state) {
        SessionSettings settings;
        settings.videoDevice = "Memory";
        settings.audioDevice = "Memory";
        settings.profile = p;
        settings.outputPath = (folder / "engine.wmv").string();
        std::string error;
        const double before = processCpuSeconds();
        auto session = kerris::encoder::engine::startRecorder(
            settings, std::make_unique<MemoryCamera>(material, p),
            std::make_unique<MemoryMicrophone>(material, p), {}, error);
        if (!session) {
            state.SkipWithError(error.c_str());
            return;
        }
        std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
        session->stop();
        const double ours = processCpuSeconds() - before;
        const int64_t written = session->statistics().videoFrames;
        dropped += session->statistics().droppedFrames;
        const double theirs = runFfmpeg(ffmpeg);
        if (theirs < 0 || written <= 0) {
            state.SkipWithError("ffmpeg failed or nothing was recorded");
            return;
        }
        oursMs += ours * 1000.0 / static_cast<double>(written);
        theirsMs += theirs * 1000.0 / frames;
        theirsMarginalMs += (theirs - startupCpu) * 1000.0 / (frames - frames / 10);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["engine_cpu_ms_per_frame"] = oursMs / n;
    state.counters["ffmpeg_cpu_ms_per_frame"] = theirsMs / n;
    state.counters["ratio"] = oursMs / theirsMs;
    // Against ffmpeg's cost per frame beyond its start (a tenth of the frames subtracted).
    state.counters["ffmpeg_marginal_cpu_ms_per_frame"] = theirsMarginalMs / n;
    state.counters["ratio_marginal"] = oursMs / theirsMarginalMs;
    state.counters["dropped"] = static_cast<double>(dropped) / n;
    state.counters["load1"] = loadAverage();
}
BENCHMARK(BM_RecordedFrameCpu)
    ->Args({320, 240, 15})
    ->Args({640, 480, 30})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The virtual camera and microphone at 640 x 480, 30 frames/s, recording, while a view polls
// the newest picture 30 times a second as the encoder's view does: frames dropped per run.
void BM_DroppedFramesWithPreview(benchmark::State& state) {
    const fs::path folder = scratch();
    double dropped = 0, written = 0;
    for (auto _ : state) {
        const Profile p = profile(640, 480, 30);
        SessionSettings settings;
        settings.profile = p;
        settings.outputPath = (folder / "preview.wmv").string();
        std::string error;
        auto video = kerris::encoder::engine::openVirtualCameraInput(p, error);
        auto audio = kerris::encoder::engine::openVirtualMicrophoneInput(p, error);
        if (!video || !audio) {
            state.SkipWithError(error.c_str());
            return;
        }
        settings.videoDevice = kerris::encoder::kVirtualCameraName;
        settings.audioDevice = kerris::encoder::kVirtualMicrophoneName;
        auto session = kerris::encoder::engine::startRecorder(settings, std::move(video),
                                                              std::move(audio), {}, error);
        if (!session) {
            state.SkipWithError(error.c_str());
            return;
        }
        std::vector<uint32_t> pixels;
        int width = 0, height = 0;
        uint64_t known = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kSeconds);
        while (std::chrono::steady_clock::now() < end) {
            known = session->latestFrame(known, pixels, width, height);
            std::this_thread::sleep_for(std::chrono::milliseconds(33));
        }
        session->stop();
        dropped += static_cast<double>(session->statistics().droppedFrames);
        written += static_cast<double>(session->statistics().videoFrames);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["dropped_frames"] = dropped / n;
    state.counters["frames"] = written / n;
    state.counters["load1"] = loadAverage();
}
BENCHMARK(BM_DroppedFramesWithPreview)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
