// The start-up probe of capture drivers and acquisition, and the menu states it decides.
#pragma once

#include "platform/capture/capture.h"

#include <functional>
#include <optional>
#include <string>

namespace lumicart::media {

// What the capture driver list showed.
struct CaptureProbe {
    bool anyDriver = false;     // index 0 answered
    bool cameraPresent = false; // a driver described as "Kerris Camera"
};

// The enabled states of the four File-menu commands the probe and the check decide.
struct AcquisitionMenuStates {
    bool selectSource = false;
    bool active = false;
    bool autoDownload = false;
    bool createAvi = false;
};

// True when `description` is the camera's capture driver: "Kerris Camera" compared over the
// whole text without regard to case.
bool IsCameraDriver(const std::string& description);

// Asks `driverAt` for index 0, 1, 2, ... until it answers nothing.
CaptureProbe ProbeCaptureDrivers(
    const std::function<std::optional<kerris::capture::DriverDescription>(unsigned)>& driverAt =
        kerris::capture::DriverAt);

// The states after the probe: without any driver all four off (and message 0 is due);
// otherwise "&Active" and "&Select Source" on, the camera commands on with the camera's driver.
AcquisitionMenuStates MenuStatesAfterProbe(const CaptureProbe& probe);

// The availability check when the window is shown: an answer of 0 turns "&Active" and the two
// camera commands off; "&Select Source" keeps its state.
AcquisitionMenuStates ApplyAvailability(AcquisitionMenuStates states, uint32_t available);

} // namespace lumicart::media
