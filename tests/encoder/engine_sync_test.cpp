// A/V sync over a minute from the camera's virtual devices: every white picture and the start
// of its tone lie within one frame time (67 ms at 15 frames/s) of each other. The worst
// offset is printed and kept as the test's property "worst_offset_ms".
#include "platform/encoder/capture_session.h"
#include "platform/encoder/virtual_devices.h"
#include "tests/encoder/engine_media_probe.h"
#include "tests/encoder/engine_test_inputs.h"
#include "tests/encoder/virtual_test_support.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace kerris::encoder {
namespace {

using namespace std::chrono_literals;

class EngineSyncTest : public VirtualDeviceTest {};

TEST_F(EngineSyncTest, Sync60sWhitePicturesMeetTheirTones) {
    auto key = registry::Key::create(registry::Hive::LocalMachine, virtualdev::kDevicesKey);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->writeString(kVirtualCameraName, "video"));
    ASSERT_TRUE(key->writeString(kVirtualMicrophoneName, "audio"));
    std::filesystem::create_directories(m_root / "dev");
    setenv("KERRIS_VIDEO_DEVICE_DIR", (m_root / "dev").c_str(), 1);

    SessionSettings s;
    s.videoDevice = kVirtualCameraName;
    s.audioDevice = kVirtualMicrophoneName;
    s.profile = test::murvaneProfile();
    s.outputPath = (m_root / "Sync.wmv").string();
    std::string error;
    auto session = CaptureSession::start(s, error);
    ASSERT_TRUE(session) << error;
    std::this_thread::sleep_for(60s);
    session->stop();
    unsetenv("KERRIS_VIDEO_DEVICE_DIR");
    EXPECT_EQ(session->failure(), "");

    const test::SyncMarks marks = test::findSyncMarks(s.outputPath, 0.5);
    ASSERT_EQ(marks.error, "");
    // A white picture is one frame long: a busy machine (a sanitizer build) may drop some,
    // and the statistics count each; the sync is still measured on half of them at least.
    const auto dropped = static_cast<size_t>(session->statistics().droppedFrames);
    EXPECT_GE(marks.whiteFrames.size() + dropped, 60u);
    EXPECT_GE(marks.whiteFrames.size(), 30u);
    const test::SyncReport report = test::compareMarks(marks, 0.5);
    EXPECT_EQ(report.unmatched, 0);
    EXPECT_LE(report.worstOffset, 1.0 / 15);
    std::printf("A/V sync over %zu white pictures: worst offset %.1f ms, %lld frames dropped\n",
                marks.whiteFrames.size(), report.worstOffset * 1000.0,
                static_cast<long long>(dropped));
    RecordProperty("worst_offset_ms", static_cast<int>(report.worstOffset * 1000.0 + 0.5));
}

} // namespace
} // namespace kerris::encoder
