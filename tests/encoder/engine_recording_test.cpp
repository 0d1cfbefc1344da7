// Recording sessions on the test camera and microphone: the file as a player reads it, the
// preview, the statistics, and every way a run can fail (at start, and mid-recording).
#include "platform/encoder/capture_session.h"
#include "platform/encoder/engine/recorder.h"
#include "tests/encoder/engine_media_probe.h"
#include "tests/encoder/engine_test_inputs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

namespace kerris::encoder {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using engine::kNanosecondsPerSecond;

Profile murvane() {
    return test::murvaneProfile();
}

class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   ("kerris-engine-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override {
        if (!std::getenv("KEEP"))
            fs::remove_all(m_folder);
    }

    SessionSettings settings(const std::string& file = "VideoRec.wmv") const {
        SessionSettings s;
        s.videoDevice = "Test Camera";
        s.audioDevice = "Test Microphone";
        s.profile = murvane();
        s.outputPath = file.empty() ? std::string() : (m_folder / file).string();
        return s;
    }

    std::unique_ptr<CaptureSession> start(const SessionSettings& s,
                                          const test::TestInputFaults& video = {},
                                          const test::TestInputFaults& audio = {},
                                          engine::RecorderOptions options = {}) {
        std::string error;
        auto session = engine::startRecorder(
            s,
            test::makeTestCamera(s.profile.width, s.profile.height, s.profile.framesPerSecond,
                                 video),
            test::makeTestMicrophone(s.profile.audioSampleRate, s.profile.audioChannels, audio),
            options, error);
        EXPECT_TRUE(session) << error;
        return session;
    }

    fs::path m_folder;
};

TEST_F(RecordingTest, FiveSecondsOfMurvaneAsAPlayerReadsThem) {
    const SessionSettings s = settings();
    auto session = start(s);
    ASSERT_TRUE(session);
    EXPECT_TRUE(session->running());
    std::this_thread::sleep_for(5s);
    const SessionStatistics statistics = session->statistics();
    session->stop();
    EXPECT_FALSE(session->running());
    EXPECT_EQ(session->failure(), "");

    EXPECT_GE(statistics.elapsedMilliseconds, 5000);
    EXPECT_LT(statistics.elapsedMilliseconds, 5500);
    EXPECT_GT(statistics.videoBytes, 0);
    EXPECT_GT(statistics.audioBytes, 0);

    const test::ProbedFile file = test::probeFile(s.outputPath);
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_EQ(file.format, "asf");
    const test::ProbedStream* video = file.stream("video");
    const test::ProbedStream* audio = file.stream("audio");
    ASSERT_TRUE(video);
    ASSERT_TRUE(audio);
    EXPECT_EQ(video->codecName, "wmv2");
    EXPECT_EQ(video->width, 320);
    EXPECT_EQ(video->height, 240);
    EXPECT_DOUBLE_EQ(video->frameRate, 15.0);
    EXPECT_EQ(audio->codecName, "wmav2");
    EXPECT_EQ(audio->sampleRate, 22050);
    EXPECT_EQ(audio->channels, 1);
    EXPECT_NEAR(file.duration, statistics.elapsedMilliseconds / 1000.0, 0.3);
    EXPECT_NEAR(static_cast<double>(video->frames), file.duration * 15, 1.0);
    // Every frame the statistics counted is in the file.
    EXPECT_EQ(video->frames, session->statistics().videoFrames);
}

TEST_F(RecordingTest, PreviewOnlyShowsPicturesAndWritesNothing) {
    auto session = start(settings(""));
    ASSERT_TRUE(session);
    std::vector<uint32_t> pixels;
    int width = -1, height = -1;
    uint64_t known = 0;
    bool sawWhite = false, sawScene = false;
    const auto end = std::chrono::steady_clock::now() + 2500ms;
    while ((!sawWhite || !sawScene) && std::chrono::steady_clock::now() < end) {
        const uint64_t sequence = session->latestFrame(known, pixels, width, height);
        if (sequence != known) {
            known = sequence;
            ASSERT_EQ(width, 320);
            ASSERT_EQ(height, 240);
            ASSERT_EQ(pixels.size(), 320u * 240u);
            const uint32_t pixel = pixels[160 + 239 * 320];
            EXPECT_EQ(pixel >> 24, 0xffu);
            const uint32_t red = (pixel >> 16) & 0xff, green = (pixel >> 8) & 0xff,
                           blue = pixel & 0xff;
            if (red > 240 && green > 240 && blue > 240)
                sawWhite = true;
            else if (red > 70 && red < 110 && green > 70 && green < 110 && blue > 70 && blue < 110)
                sawScene = true;
        }
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(sawWhite);
    EXPECT_TRUE(sawScene);
    const SessionStatistics statistics = session->statistics();
    EXPECT_EQ(statistics.elapsedMilliseconds, 0);
    EXPECT_EQ(statistics.videoBytes + statistics.audioBytes, 0);
    session->stop();
    EXPECT_TRUE(fs::is_empty(m_folder));
}

TEST_F(RecordingTest, LatestFrameLeavesItsOutputsAloneWhenNothingIsNewer) {
    auto session = start(settings(""));
    ASSERT_TRUE(session);
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
    const uint64_t first = session->latestFrame(0, pixels, width, height);
    ASSERT_NE(first, 0u); // the session shows black before the first picture
    session->stop();
    const uint64_t last = session->latestFrame(0, pixels, width, height);
    std::vector<uint32_t> sentinel{0xdeadbeef};
    width = height = -7;
    EXPECT_EQ(session->latestFrame(last, sentinel, width, height), last);
    EXPECT_EQ(sentinel, std::vector<uint32_t>{0xdeadbeef});
    EXPECT_EQ(width, -7);
    EXPECT_EQ(height, -7);
}

TEST_F(RecordingTest, StopIsIdempotentAndDestroyingStops) {
    const SessionSettings s = settings();
    auto session = start(s);
    ASSERT_TRUE(session);
    std::this_thread::sleep_for(500ms);
    session->stop();
    const SessionStatistics once = session->statistics();
    session->stop();
    EXPECT_EQ(session->statistics().elapsedMilliseconds, once.elapsedMilliseconds);
    EXPECT_EQ(session->statistics().videoBytes, once.videoBytes);

    const SessionSettings other = settings("Other.wmv");
    auto dropped = start(other);
    ASSERT_TRUE(dropped);
    std::this_thread::sleep_for(500ms);
    dropped.reset(); // no stop: the destructor finishes the file
    const test::ProbedFile file = test::probeFile(other.outputPath);
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_GT(file.duration, 0.2);
}

struct StartFailure {
    const char* what;
    Profile profile;
    std::string output;  // relative to the test folder; "<file>/..." puts it below a file
    const char* message; // the start of the error text
};

TEST_F(RecordingTest, StartFailuresLeaveNothingOpenAndNoFile) {
    std::ofstream(m_folder / "file") << "not a folder";
    Profile odd = murvane();
    odd.width = 321;
    Profile tiny = murvane();
    tiny.height = 8;
    Profile still = murvane();
    still.framesPerSecond = 0;
    Profile fast = murvane();
    fast.framesPerSecond = 61;
    Profile starved = murvane();
    starved.videoBitRate = 0;
    Profile loud = murvane();
    loud.audioChannels = 7;
    Profile hifi = murvane();
    hifi.audioSampleRate = 192000;
    const StartFailure cases[] = {
        {"missing folder", murvane(), "missing/VideoRec.wmv", "The file \""},
        {"folder is a file", murvane(), "file/VideoRec.wmv", "The file \""},
        {"output is a folder", murvane(), ".", "The file \""},
        {"odd width", odd, "VideoRec.wmv", "The profile \"Murvane\" cannot be recorded: "},
        {"tiny picture", tiny, "VideoRec.wmv", "The profile \"Murvane\" cannot be recorded: "},
        {"no frame rate", still, "VideoRec.wmv", "The profile \"Murvane\" cannot be recorded: "},
        {"too fast", fast, "VideoRec.wmv", "The profile \"Murvane\" cannot be recorded: "},
        {"no bit rate", starved, "VideoRec.wmv", "The profile \"Murvane\" cannot be recorded: "},
        {"seven channels", loud, "VideoRec.wmv", "The profile \"Murvane\" cannot be recorded: "},
        {"192 kHz", hifi, "VideoRec.wmv", "The profile \"Murvane\" cannot be recorded: "},
    };
    for (const StartFailure& c : cases) {
        std::atomic<int> open{0};
        test::TestInputFaults faults;
        faults.openInputs = &open;
        SessionSettings s = settings();
        s.profile = c.profile;
        s.outputPath = (m_folder / c.output).string();
        std::string error;
        auto session = engine::startRecorder(s, test::makeTestCamera(320, 240, 15, faults),
                                             test::makeTestMicrophone(22050, 1, faults), {}, error);
        EXPECT_FALSE(session) << c.what;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.what << ": " << error;
        if (std::string(c.message) == "The file \"") {
            EXPECT_NE(error.find(s.outputPath + "\" cannot be written: "), std::string::npos)
                << error;
        }
        EXPECT_EQ(open, 0) << c.what;
        EXPECT_FALSE(fs::exists(m_folder / "VideoRec.wmv")) << c.what;
    }
}

TEST_F(RecordingTest, UnknownDevicesAreNamed) {
    struct {
        const char* video;
        const char* audio;
        const char* message;
    } cases[] = {
        {"No Such Camera", "", "No video device named \"No Such Camera\" is connected"},
        {"", "", "No video device named \"\" is connected"},
        {"No Such Camera", "No Such Microphone",
         "No video device named \"No Such Camera\" is connected"},
    };
    for (const auto& c : cases) {
        SessionSettings s = settings();
        s.videoDevice = c.video;
        s.audioDevice = c.audio;
        std::string error;
        EXPECT_FALSE(CaptureSession::start(s, error));
        EXPECT_EQ(error, c.message);
        EXPECT_FALSE(fs::exists(s.outputPath));
    }
}

struct MidRunFailure {
    const char* what;
    bool video; // else the microphone fails
    int64_t failAtNs;
    const char* message;
};

TEST_F(RecordingTest, ADeviceThatStopsEndsTheRunAndTheFileStaysPlayable) {
    const MidRunFailure cases[] = {
        {"camera unplugged", true, 1500000000,
         "The video device \"Test Camera\" stopped delivering pictures"},
        {"microphone unplugged", false, 1500000000,
         "The audio device \"Test Microphone\" stopped delivering sound"},
    };
    for (const MidRunFailure& c : cases) {
        const SessionSettings s = settings(std::string(c.what) + ".wmv");
        test::TestInputFaults faults;
        faults.failAtNs = c.failAtNs;
        auto session = c.video ? start(s, faults, {}) : start(s, {}, faults);
        ASSERT_TRUE(session);
        ASSERT_TRUE(test::waitUntilEnded(*session, 5s)) << c.what;
        EXPECT_EQ(session->failure(), c.message);
        const SessionStatistics statistics = session->statistics();
        EXPECT_NEAR(statistics.elapsedMilliseconds, 1500, 200) << c.what;
        session->stop();
        const test::ProbedFile file = test::probeFile(s.outputPath);
        ASSERT_TRUE(file.ok) << c.what << ": " << file.error;
        EXPECT_NEAR(file.duration, 1.5, 0.3) << c.what;
        ASSERT_TRUE(file.stream("video"));
        EXPECT_NEAR(static_cast<double>(file.stream("video")->frames), file.duration * 15, 1.5)
            << c.what;
    }
}

TEST_F(RecordingTest, AStalledCameraIsBridgedWithItsLastPicture) {
    const SessionSettings s = settings();
    test::TestInputFaults faults;
    faults.stallFromNs = 1 * kNanosecondsPerSecond;
    faults.stallUntilNs = 2 * kNanosecondsPerSecond;
    auto session = start(s, faults);
    ASSERT_TRUE(session);
    std::this_thread::sleep_for(3s);
    session->stop();
    EXPECT_EQ(session->failure(), "");
    // One second without pictures: 15 slots filled with the last one.
    EXPECT_GE(session->statistics().droppedFrames, 14);
    EXPECT_LE(session->statistics().droppedFrames, 17);
    const test::ProbedFile file = test::probeFile(s.outputPath);
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_NEAR(static_cast<double>(file.stream("video")->frames), file.duration * 15, 1.0);
    EXPECT_NEAR(file.duration, 3.0, 0.3);
}

TEST_F(RecordingTest, ASilentMicrophoneIsFedSilence) {
    const SessionSettings s = settings();
    test::TestInputFaults faults;
    faults.stallFromNs = 500000000; // never again
    auto session = start(s, {}, faults);
    ASSERT_TRUE(session);
    std::this_thread::sleep_for(3s);
    const SessionStatistics statistics = session->statistics();
    session->stop();
    EXPECT_EQ(session->failure(), "");
    // The muxer kept writing the pictures, so the sound was not waited for.
    EXPECT_GE(statistics.videoFrames, 40);
    const test::ProbedFile file = test::probeFile(s.outputPath);
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_NEAR(file.duration, 3.0, 0.3);
    EXPECT_NEAR(static_cast<double>(file.stream("video")->frames), file.duration * 15, 1.0);
}

TEST_F(RecordingTest, ASourceStalledPastTheLimitEndsTheRun) {
    struct {
        const char* what;
        bool video;
        const char* message;
    } cases[] = {
        {"camera", true, "The video device \"Test Camera\" stopped delivering pictures"},
        {"microphone", false, "The audio device \"Test Microphone\" stopped delivering sound"},
    };
    for (const auto& c : cases) {
        const SessionSettings s = settings(std::string(c.what) + ".wmv");
        test::TestInputFaults faults;
        faults.stallFromNs = 500000000;
        engine::RecorderOptions options;
        options.stallLimitNs = kNanosecondsPerSecond;
        auto session = c.video ? start(s, faults, {}, options) : start(s, {}, faults, options);
        ASSERT_TRUE(session);
        ASSERT_TRUE(test::waitUntilEnded(*session, 4s)) << c.what;
        EXPECT_EQ(session->failure(), c.message);
        const test::ProbedFile file = test::probeFile(s.outputPath);
        ASSERT_TRUE(file.ok) << c.what << ": " << file.error;
        EXPECT_NEAR(file.duration, 1.5, 0.35) << c.what;
    }
}

} // namespace
} // namespace kerris::encoder
