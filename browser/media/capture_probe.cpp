// The capture driver probe and the acquisition availability check.
#include "browser/media/capture_probe.h"

#include <QString>

namespace lumicart::media {

namespace {
// Drivers are numbered from 0; a list that never ends is cut here.
constexpr unsigned kMaxDrivers = 256;
} // namespace

bool IsCameraDriver(const std::string& description) {
    return QString::fromStdString(description)
               .compare(QLatin1String(kerris::capture::kCameraDriverName), Qt::CaseInsensitive) ==
           0;
}

CaptureProbe ProbeCaptureDrivers(
    const std::function<std::optional<kerris::capture::DriverDescription>(unsigned)>& driverAt) {
    CaptureProbe probe;
    for (unsigned index = 0; index < kMaxDrivers; ++index) {
        const auto driver = driverAt(index);
        if (!driver)
            break;
        probe.anyDriver = true;
        if (IsCameraDriver(driver->name))
            probe.cameraPresent = true;
    }
    return probe;
}

AcquisitionMenuStates MenuStatesAfterProbe(const CaptureProbe& probe) {
    AcquisitionMenuStates states;
    if (!probe.anyDriver)
        return states;
    states.active = states.selectSource = true;
    states.autoDownload = states.createAvi = probe.cameraPresent;
    return states;
}

AcquisitionMenuStates ApplyAvailability(AcquisitionMenuStates states, uint32_t available) {
    if (available == 0)
        states.active = states.autoDownload = states.createAvi = false;
    return states;
}

} // namespace lumicart::media
