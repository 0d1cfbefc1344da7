// Recording from a real sound server: a PulseAudio daemon of the test's own (a null sink and a
// 440 Hz sine source, no hardware), its sources in the list, a recording from the sine source,
// and the server going away mid-recording.
#include "platform/encoder/capture_session.h"
#include "platform/encoder/virtual_devices.h"
#include "tests/encoder/engine_media_probe.h"
#include "tests/encoder/engine_test_inputs.h"
#include "tests/encoder/virtual_test_support.h"

#include <fcntl.h>
#include <signal.h>

#include <chrono>
#include <thread>

namespace kerris::encoder {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class EngineSoundServerTest : public VirtualDeviceTest {
protected:
    void SetUp() override {
        VirtualDeviceTest::SetUp();
        auto key = registry::Key::create(registry::Hive::LocalMachine, virtualdev::kDevicesKey);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->writeString(kVirtualCameraName, "video"));
        ASSERT_TRUE(key->writeString(kVirtualMicrophoneName, "audio"));
        fs::create_directories(m_root / "dev");
        setenv("KERRIS_VIDEO_DEVICE_DIR", (m_root / "dev").c_str(), 1);
        ASSERT_NO_FATAL_FAILURE(startServer());
    }
    void TearDown() override {
        stopServer();
        unsetenv("KERRIS_VIDEO_DEVICE_DIR");
        unsetenv("PULSE_SERVER");
        VirtualDeviceTest::TearDown();
    }

    // Runs the daemon with a home and runtime folder of its own; it runs as root too (no
    // system mode: -n and the modules on the command line, anonymous access to its socket).
    void startServer() {
        const fs::path home = m_root / "pulse-home";
        const fs::path runtime = m_root / "pulse-runtime";
        fs::create_directories(home);
        fs::create_directories(runtime);
        const std::string socket = (runtime / "native").string();
        const std::string protocol =
            "module-native-protocol-unix auth-anonymous=1 socket=" + socket;
        const std::string log = (m_root / "pulse.log").string();
        m_server = fork();
        ASSERT_GE(m_server, 0);
        if (m_server == 0) {
            setenv("HOME", home.c_str(), 1);
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(out, 2);
            execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                   "--disallow-exit", "--use-pid-file=no", "--log-target=stderr", "-L",
                   protocol.c_str(), "-L", "module-null-sink", "-L",
                   "module-sine-source frequency=440", static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!fs::exists(socket) && std::chrono::steady_clock::now() < end) {
            int status = 0;
            ASSERT_EQ(waitpid(m_server, &status, WNOHANG), 0)
                << "pulseaudio ended at once (is it installed?); see " << log;
            std::this_thread::sleep_for(50ms);
        }
        ASSERT_TRUE(fs::exists(socket)) << "no server socket after 10 s; see " << log;
        setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    }

    void stopServer(int signal = SIGTERM) {
        if (m_server <= 0)
            return;
        kill(m_server, signal);
        const auto end = std::chrono::steady_clock::now() + 5s;
        int status = 0;
        while (waitpid(m_server, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                kill(m_server, SIGKILL);
                waitpid(m_server, &status, 0);
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        m_server = -1;
    }

    // The listed sine source of the server.
    static const DeviceInfo* sineSource(const std::vector<DeviceInfo>& devices) {
        for (const DeviceInfo& device : devices)
            if (device.backend == "pulse" && device.address == "sine_input")
                return &device;
        return nullptr;
    }

    SessionSettings settings(const std::string& audioDevice, const std::string& file) const {
        SessionSettings s;
        s.videoDevice = kVirtualCameraName;
        s.audioDevice = audioDevice;
        s.profile = test::murvaneProfile();
        s.outputPath = (m_root / file).string();
        return s;
    }

    pid_t m_server = -1;
};

TEST_F(EngineSoundServerTest, TheSineSourceIsListedAndMonitorsAreNot) {
    const std::vector<DeviceInfo> devices = listAudioDevices();
    const DeviceInfo* sine = sineSource(devices);
    ASSERT_TRUE(sine);
    EXPECT_FALSE(sine->friendlyName.empty());
    for (const DeviceInfo& device : devices) {
        EXPECT_EQ(device.address.find(".monitor"), std::string::npos) << device.address;
        EXPECT_NE(device.backend, "alsa");
    }
    // The server's sources come first, the virtual microphone after them.
    EXPECT_EQ(devices.back().friendlyName, kVirtualMicrophoneName);
}

TEST_F(EngineSoundServerTest, RecordsFromTheSineSource) {
    const std::vector<DeviceInfo> devices = listAudioDevices();
    const DeviceInfo* sine = sineSource(devices);
    ASSERT_TRUE(sine);
    const SessionSettings s = settings(sine->friendlyName, "Sine.wmv");
    std::string error;
    auto session = CaptureSession::start(s, error);
    ASSERT_TRUE(session) << error;
    std::this_thread::sleep_for(3s);
    const SessionStatistics statistics = session->statistics();
    session->stop();
    EXPECT_EQ(session->failure(), "");
    EXPECT_GT(statistics.audioBytes, 0);
    const test::ProbedFile file = test::probeFile(s.outputPath);
    ASSERT_TRUE(file.ok) << file.error;
    ASSERT_TRUE(file.stream("audio"));
    EXPECT_EQ(file.stream("audio")->codecName, "wmav2");
    EXPECT_NEAR(file.duration, statistics.elapsedMilliseconds / 1000.0, 0.3);
    // The sine is in the file: well above silence.
    EXPECT_GT(test::soundLevel(s.outputPath), 0.01);
}

TEST_F(EngineSoundServerTest, TheServerGoingAwayEndsTheRunWithAPlayableFile) {
    const std::vector<DeviceInfo> devices = listAudioDevices();
    const DeviceInfo* sine = sineSource(devices);
    ASSERT_TRUE(sine);
    const SessionSettings s = settings(sine->friendlyName, "Gone.wmv");
    std::string error;
    auto session = CaptureSession::start(s, error);
    ASSERT_TRUE(session) << error;
    std::this_thread::sleep_for(1500ms);
    stopServer(SIGKILL);
    ASSERT_TRUE(test::waitUntilEnded(*session, 8s));
    const std::string failure = session->failure();
    EXPECT_EQ(failure.rfind(
                  "The audio device \"" + sine->friendlyName + "\" stopped delivering sound", 0),
              0u)
        << failure;
    session->stop();
    const test::ProbedFile file = test::probeFile(s.outputPath);
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_NEAR(file.duration, 1.5, 0.5);
}

// A server that stops answering (stopped, not gone) must not hold the recording: the run goes on
// with silence for the sound, and Stop finishes the file at once.
TEST_F(EngineSoundServerTest, AServerThatStopsAnsweringDoesNotHoldStop) {
    const std::vector<DeviceInfo> devices = listAudioDevices();
    const DeviceInfo* sine = sineSource(devices);
    ASSERT_TRUE(sine);
    const SessionSettings s = settings(sine->friendlyName, "Stalled.wmv");
    std::string error;
    auto session = CaptureSession::start(s, error);
    ASSERT_TRUE(session) << error;
    std::this_thread::sleep_for(1s);
    kill(m_server, SIGSTOP);
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(session->running());
    const auto before = std::chrono::steady_clock::now();
    std::thread stopper([&] { session->stop(); });
    const auto limit = before + 3s;
    while (session->running() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(20ms);
    const bool stopped = !session->running();
    kill(m_server, SIGCONT); // lets a stop that waits on the server end
    stopper.join();
    EXPECT_TRUE(stopped) << "stop waited on the stopped server";
    EXPECT_EQ(session->failure(), "");
    const test::ProbedFile file = test::probeFile(s.outputPath);
    ASSERT_TRUE(file.ok) << file.error;
    ASSERT_TRUE(file.stream("audio"));
    EXPECT_NEAR(file.duration, 2.5, 0.5);
}

} // namespace
} // namespace kerris::encoder
