// The capture driver probe: menu states for no driver, other drivers, the camera's driver in
// any case, and the registered-driver list it reads.
#include "browser/media/capture_probe.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <vector>

using namespace lumicart::media;
using kerris::capture::DriverDescription;

namespace {

auto driverTable(std::vector<std::string> names) {
    return [names](unsigned index) -> std::optional<DriverDescription> {
        if (index >= names.size())
            return std::nullopt;
        return DriverDescription{names[index], "1.0"};
    };
}

struct ProbeCase {
    const char* name;
    std::vector<std::string> drivers;
    uint32_t available;
    AcquisitionMenuStates expected; // selectSource, active, autoDownload, createAvi
};

class ProbeOutcome : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeOutcome, DecidesTheFourMenuStates) {
    const ProbeCase& c = GetParam();
    const CaptureProbe probe = ProbeCaptureDrivers(driverTable(c.drivers));
    EXPECT_EQ(probe.anyDriver, !c.drivers.empty());
    const AcquisitionMenuStates states =
        ApplyAvailability(MenuStatesAfterProbe(probe), c.available);
    EXPECT_EQ(states.selectSource, c.expected.selectSource);
    EXPECT_EQ(states.active, c.expected.active);
    EXPECT_EQ(states.autoDownload, c.expected.autoDownload);
    EXPECT_EQ(states.createAvi, c.expected.createAvi);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProbeOutcome,
    ::testing::Values(
        ProbeCase{"no_driver", {}, 1, {false, false, false, false}},
        ProbeCase{"another_driver_only", {"USB2.0 HD UVC WebCam"}, 1, {true, true, false, false}},
        ProbeCase{"camera_driver", {"Kerris Camera"}, 1, {true, true, true, true}},
        ProbeCase{"camera_driver_in_capitals", {"KERRIS CAMERA"}, 1, {true, true, true, true}},
        ProbeCase{
            "camera_driver_after_others", {"a", "b", "kerris camera"}, 1, {true, true, true, true}},
        ProbeCase{
            "longer_name_is_not_the_camera", {"Kerris Camera 2"}, 1, {true, true, false, false}},
        ProbeCase{"prefix_is_not_the_camera", {"Kerris"}, 1, {true, true, false, false}},
        ProbeCase{"acquisition_unavailable", {"Kerris Camera"}, 0, {true, false, false, false}},
        ProbeCase{"nothing_at_all", {}, 0, {false, false, false, false}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CaptureProbe, StopsAtTheFirstIndexThatDoesNotAnswer) {
    std::vector<unsigned> asked;
    ProbeCaptureDrivers([&](unsigned index) -> std::optional<DriverDescription> {
        asked.push_back(index);
        if (index < 2)
            return DriverDescription{"x", ""};
        return std::nullopt;
    });
    EXPECT_EQ(asked, (std::vector<unsigned>{0, 1, 2}));
}

// The real list: no V4L2 devices in an empty device folder, drivers from the registry.
class CaptureList : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_registry.isValid() && m_devices.isValid());
        ::setenv("KERRIS_REGISTRY_DIR", m_registry.path().toLocal8Bit().constData(), 1);
        ::setenv("KERRIS_VIDEO_DEVICE_DIR", m_devices.path().toLocal8Bit().constData(), 1);
    }
    QTemporaryDir m_registry, m_devices;
};

TEST_F(CaptureList, RegisteredCameraDriverIsFoundAndCanBeRemoved) {
    EXPECT_FALSE(ProbeCaptureDrivers().anyDriver);
    ASSERT_TRUE(kerris::capture::RegisterDriver("Kerris Camera", "1.0"));
    auto probe = ProbeCaptureDrivers();
    EXPECT_TRUE(probe.anyDriver);
    EXPECT_TRUE(probe.cameraPresent);
    ASSERT_TRUE(kerris::capture::RegisterDriver("Other Grabber", "2.0"));
    ASSERT_TRUE(kerris::capture::UnregisterDriver("Kerris Camera"));
    probe = ProbeCaptureDrivers();
    EXPECT_TRUE(probe.anyDriver);
    EXPECT_FALSE(probe.cameraPresent);
    const auto drivers = kerris::capture::CaptureDrivers();
    ASSERT_EQ(drivers.size(), 1u);
    EXPECT_EQ(drivers[0].name, "Other Grabber");
    EXPECT_EQ(drivers[0].version, "2.0");
}

TEST_F(CaptureList, FilesThatAreNotCaptureDevicesAreSkipped) {
    // Named like devices, but ordinary files and folders: they answer no capability query.
    for (const char* name : {"video0", "video12", "videox"}) {
        QFile file(m_devices.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QDir(m_devices.path()).mkdir("video3");
    EXPECT_TRUE(kerris::capture::CaptureDrivers().empty());
    EXPECT_FALSE(kerris::capture::DriverAt(0).has_value());
}

} // namespace
