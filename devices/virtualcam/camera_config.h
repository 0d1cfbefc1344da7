// The virtual camera's settings, read from the registry key documented in README.md.
#pragma once

#include "devices/virtualcam/raw_frame.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kerris::virtualcam {

enum class TransportKind : uint8_t { Usb = 0, Serial = 1 };

// HKEY_LOCAL_MACHINE key of the settings; per-transport sub-keys "USB" and "Serial" override
// the values of the key itself.
inline constexpr const char* kSettingsKey = "SOFTWARE\\Kerris\\VirtualCamera";
const char* transportSubKey(TransportKind kind);

// Command-set generations: older cameras lack commands 0x8D, 0x8F and 0x90.
enum class Generation : uint8_t { Older = 0, Extended = 1 };

// Injected faults; "at" values count calls on one handle from 1 (0 = never).
struct FaultPlan {
    uint32_t failReadAt = 0;        // "FailReadAt": this data read fails ...
    uint32_t failReadCount = 1;     // "FailReadCount": ... and so many after it
    uint32_t failReadStatus = 0;    // "FailReadStatus": with this status (0: kReadFailed)
    uint32_t shortReadAt = 0;       // "ShortReadAt": this data read delivers less ...
    uint32_t shortReadCount = 1;    // "ShortReadCount": ... and so many after it
    uint32_t shortReadBytes = 0;    // "ShortReadBytes": bytes delivered (0: half the length)
    uint32_t shortReadStatus = 0;   // "ShortReadStatus": status returned with it
    uint32_t failCommandAt = 0;     // "FailCommandAt": this command fails unexecuted ...
    uint32_t failCommandCount = 1;  // "FailCommandCount": ... and so many after it
    uint32_t failCommandStatus = 0; // "FailCommandStatus": with this status (0: kCommandFailed)
    int32_t failCommandCode = -1;   // "FailCommandCode": count only this request code (-1: all)
    uint32_t busyReads = 0;         // "Busy": camera state reads that report busy (~0: always)
    uint16_t wrongEcho = 0;         // "WrongEcho": XORed into every echo
    uint32_t taskDelay = 0;         // "TaskDelay": ms before a task completes (~0: never)
    uint32_t stickyLastError = 0;   // "StickyLastError": last-error reads that still report it
};

struct CameraConfig {
    std::string pictureFolder;                    // "PictureFolder"; default: the installed samples
    Generation generation = Generation::Extended; // "Generation": 0 older, 1 extended
    uint32_t cameraVersion = 0;                   // "CameraVersion"; default by generation
    uint8_t capabilities = 0;   // "Capabilities" (byte 6 of the camera information)
    uint16_t sensorId = 0x1941; // "SensorId"
    uint16_t cameraWord1 = 0;   // "CameraWord1", "CameraWord2", "CameraLong"
    uint16_t cameraWord2 = 0;
    uint32_t cameraLong = 0;
    std::vector<uint8_t> colourData; // "ColourData" (36 bytes); default: the neutral set
    uint32_t colourDataLength = 36;  // "ColourDataLength": what command 0x8A reports
    uint8_t imageFormat = 1;         // "ImageFormat": 0..3, the format of new pictures
    uint8_t powerRegister = 0x04;    // "PowerRegister": control register 0x0041
    uint8_t imageFlags = 0x01;       // "ImageFlags": flags byte of every picture header
    std::string name;                // "Name<n>" in the transport's sub-key
    FaultPlan faults;
};

// Cameras on a transport ("Cameras"): 1 on USB and 0 on the serial link unless set; at most 16.
inline constexpr uint32_t kMaxCameras = 16;
uint32_t readCameraCount(TransportKind kind);

// The settings of camera `number` of a transport, with the defaults filled in.
CameraConfig readCameraConfig(TransportKind kind, uint8_t number);

// Stores a camera's name in its transport's sub-key; false when the registry refused.
bool writeCameraName(TransportKind kind, uint8_t number, const std::string& name);

// The folder of the sample pictures installed beside this library:
// <folder of the library>/../share/kerris/virtualcam/pictures/.
std::string defaultPictureFolder();

// The colour model the receiving side will use for this camera: the one of its colour data
// when it serves valid data, else that of the library's built-in sensor matrices.
ColourModel colourModelFor(const CameraConfig& config);

// The 36 bytes the camera serves as colour data.
std::vector<uint8_t> servedColourData(const CameraConfig& config);

} // namespace kerris::virtualcam
