// Recording from the camera's virtual devices through CaptureSession::start, as the encoder
// component does: the device lists, the file, devices in use, unknown devices, and devices
// that the registry tells to stop mid-recording.
#include "platform/encoder/capture_session.h"
#include "platform/encoder/engine/inputs.h"
#include "platform/encoder/virtual_devices.h"
#include "tests/encoder/engine_media_probe.h"
#include "tests/encoder/engine_test_inputs.h"
#include "tests/encoder/virtual_test_support.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace kerris::encoder {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class EngineVirtualTest : public VirtualDeviceTest {
protected:
    void SetUp() override {
        VirtualDeviceTest::SetUp();
        // No capture nodes and no sound server: the lists hold the virtual devices alone.
        fs::create_directories(m_root / "dev");
        setenv("KERRIS_VIDEO_DEVICE_DIR", (m_root / "dev").c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + (m_root / "no-server").string()).c_str(), 1);
        install(true, true);
    }
    void TearDown() override {
        unsetenv("KERRIS_VIDEO_DEVICE_DIR");
        unsetenv("PULSE_SERVER");
        VirtualDeviceTest::TearDown();
    }

    static void install(bool video, bool audio) {
        registry::Key::remove(registry::Hive::LocalMachine, virtualdev::kDevicesKey);
        auto key = registry::Key::create(registry::Hive::LocalMachine, virtualdev::kDevicesKey);
        ASSERT_TRUE(key);
        if (video) {
            ASSERT_TRUE(key->writeString(kVirtualCameraName, "video"));
        }
        if (audio) {
            ASSERT_TRUE(key->writeString(kVirtualMicrophoneName, "audio"));
        }
    }

    SessionSettings settings(const std::string& file = "VideoRec.wmv") const {
        SessionSettings s;
        s.videoDevice = kVirtualCameraName;
        s.audioDevice = kVirtualMicrophoneName;
        s.profile = test::murvaneProfile();
        s.outputPath = file.empty() ? std::string() : (m_root / file).string();
        return s;
    }
};

std::vector<std::string> names(const std::vector<DeviceInfo>& devices) {
    std::vector<std::string> result;
    for (const DeviceInfo& device : devices)
        result.push_back(device.friendlyName);
    return result;
}

TEST_F(EngineVirtualTest, TheListsHoldTheVirtualDevicesOnlyWhenBothAreInstalled) {
    struct {
        bool video, audio, listed;
    } cases[] = {
        {true, true, true}, {true, false, false}, {false, true, false}, {false, false, false}};
    for (const auto& c : cases) {
        install(c.video, c.audio);
        const auto video = listVideoDevices();
        const auto audio = listAudioDevices();
        if (c.listed) {
            ASSERT_FALSE(video.empty());
            ASSERT_FALSE(audio.empty());
            EXPECT_EQ(video.back().friendlyName, kVirtualCameraName);
            EXPECT_EQ(video.back().backend, "virtual");
            EXPECT_EQ(audio.back().friendlyName, kVirtualMicrophoneName);
        } else {
            EXPECT_EQ(names(video), std::vector<std::string>{}) << c.video << c.audio;
            for (const DeviceInfo& device : audio)
                EXPECT_NE(device.friendlyName, kVirtualMicrophoneName);
        }
    }
}

TEST_F(EngineVirtualTest, FiveSecondsOfMurvaneFromTheVirtualDevices) {
    const SessionSettings s = settings();
    std::string error;
    auto session = CaptureSession::start(s, error);
    ASSERT_TRUE(session) << error;
    std::this_thread::sleep_for(5s);
    const SessionStatistics statistics = session->statistics();
    session->stop();
    EXPECT_EQ(session->failure(), "");
    EXPECT_GT(statistics.videoBytes, 0);
    EXPECT_GT(statistics.audioBytes, 0);

    const test::ProbedFile file = test::probeFile(s.outputPath);
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_EQ(file.format, "asf");
    const test::ProbedStream* video = file.stream("video");
    const test::ProbedStream* audio = file.stream("audio");
    ASSERT_TRUE(video && audio);
    EXPECT_EQ(video->codecName, "wmv2");
    EXPECT_EQ(video->width, 320);
    EXPECT_EQ(video->height, 240);
    EXPECT_DOUBLE_EQ(video->frameRate, 15.0);
    EXPECT_EQ(audio->codecName, "wmav2");
    EXPECT_EQ(audio->channels, 1);
    EXPECT_NEAR(file.duration, statistics.elapsedMilliseconds / 1000.0, 0.3);
    EXPECT_NEAR(static_cast<double>(video->frames), file.duration * 15, 1.0);

    const test::AsfLayout layout = test::readAsfLayout(s.outputPath);
    ASSERT_TRUE(layout.ok);
    EXPECT_EQ(layout.maxBitRate,
              static_cast<uint32_t>(s.profile.videoBitRate + s.profile.audioBitRate));
    EXPECT_TRUE(layout.seekable);
    EXPECT_TRUE(layout.indexed);

    // The white frames of the first seconds each meet their tone.
    const test::SyncMarks marks = test::findSyncMarks(s.outputPath, 0.5);
    ASSERT_EQ(marks.error, "");
    EXPECT_GE(marks.whiteFrames.size(), 5u);
    const test::SyncReport report = test::compareMarks(marks, 0.5);
    EXPECT_EQ(report.unmatched, 0);
    EXPECT_LE(report.worstOffset, 0.067);
}

TEST_F(EngineVirtualTest, ADeviceOpenedTwiceIsInUse) {
    std::string error;
    auto first = CaptureSession::start(settings("First.wmv"), error);
    ASSERT_TRUE(first) << error;
    auto second = CaptureSession::start(settings("Second.wmv"), error);
    EXPECT_FALSE(second);
    EXPECT_EQ(error, "The video device \"Kerris Camera\" is in use by another program");
    EXPECT_FALSE(fs::exists(m_root / "Second.wmv"));
    first.reset();

    // The microphone held elsewhere: the start fails and lets the camera go again.
    auto microphone = VirtualCameraMicrophone::open(22050, 1, error);
    ASSERT_TRUE(microphone) << error;
    error.clear();
    EXPECT_FALSE(CaptureSession::start(settings("Third.wmv"), error));
    EXPECT_EQ(error, "The audio device \"Kerris Camera Microphone\" is in use by another program");
    EXPECT_FALSE(fs::exists(m_root / "Third.wmv"));
    microphone.reset();
    auto again = CaptureSession::start(settings("Fourth.wmv"), error);
    EXPECT_TRUE(again) << error;
}

TEST_F(EngineVirtualTest, AnUnknownMicrophoneLeavesTheCameraFree) {
    SessionSettings s = settings();
    s.audioDevice = "No Such Microphone";
    std::string error;
    EXPECT_FALSE(CaptureSession::start(s, error));
    EXPECT_EQ(error, "No audio device named \"No Such Microphone\" is connected");
    EXPECT_FALSE(fs::exists(s.outputPath));
    auto camera = VirtualCameraVideo::open(320, 240, 15, error);
    EXPECT_TRUE(camera) << error;
}

TEST_F(EngineVirtualTest, AnUnwritableFolderLeavesTheDevicesFree) {
    std::ofstream(m_root / "file") << "not a folder";
    SessionSettings s = settings("file/VideoRec.wmv");
    std::string error;
    EXPECT_FALSE(CaptureSession::start(s, error));
    EXPECT_EQ(error.rfind("The file \"" + s.outputPath + "\" cannot be written: ", 0), 0u) << error;
    auto camera = VirtualCameraVideo::open(320, 240, 15, error);
    EXPECT_TRUE(camera) << error;
    auto microphone = VirtualCameraMicrophone::open(22050, 1, error);
    EXPECT_TRUE(microphone) << error;
}

TEST_F(EngineVirtualTest, ADeviceTheRegistryStopsEndsTheRunWithAPlayableFile) {
    struct {
        const char* setting;
        const char* message;
    } cases[] = {
        {"VideoStopAfterMs", "The video device \"Kerris Camera\" stopped delivering pictures"},
        {"AudioStopAfterMs",
         "The audio device \"Kerris Camera Microphone\" stopped delivering sound"},
    };
    for (const auto& c : cases) {
        setSetting("VideoStopAfterMs", 0);
        setSetting("AudioStopAfterMs", 0);
        setSetting(c.setting, 1500);
        const SessionSettings s = settings(std::string(c.setting) + ".wmv");
        std::string error;
        auto session = CaptureSession::start(s, error);
        ASSERT_TRUE(session) << error;
        ASSERT_TRUE(test::waitUntilEnded(*session, 5s)) << c.setting;
        EXPECT_EQ(session->failure(), c.message);
        session->stop();
        const test::ProbedFile file = test::probeFile(s.outputPath);
        ASSERT_TRUE(file.ok) << c.setting << ": " << file.error;
        EXPECT_NEAR(file.duration, 1.5, 0.3) << c.setting;
        EXPECT_TRUE(test::readAsfLayout(s.outputPath).indexed) << c.setting;
    }
}

} // namespace
} // namespace kerris::encoder
