// Inputs of the engine's tests: a camera and a microphone that mark every whole second of the
// session clock (a white picture; a 100 ms 1 kHz tone), as the camera's virtual devices do, and
// that can be told to fail or to stall from a given moment on.
#pragma once

#include "platform/encoder/engine/inputs.h"

#include <atomic>
#include <chrono>
#include <memory>

namespace kerris::encoder::test {

struct TestInputFaults {
    int64_t failAtNs = -1;                  // from then on reads fail (the device was unplugged)
    int64_t stallFromNs = -1;               // from then on until stallUntilNs nothing comes
    int64_t stallUntilNs = -1;              // -1: for ever
    std::atomic<int>* openInputs = nullptr; // counts the inputs alive, so a test sees them closed
};

inline constexpr double kTestToneAmplitude = 0.5;
inline constexpr int kTestToneHz = 1000;
inline constexpr int64_t kTestToneNs = 100000000;

// The profile the clip mail program records with: 320 x 240, 15 frames/s, mono at 22050 Hz.
Profile murvaneProfile();

// Waits, at most `limit`, until `session` has ended by itself; true when it has.
bool waitUntilEnded(const CaptureSession& session, std::chrono::milliseconds limit);

std::unique_ptr<engine::VideoInput> makeTestCamera(int width, int height, int fps,
                                                   const TestInputFaults& faults = {});
std::unique_ptr<engine::AudioInput> makeTestMicrophone(int rate, int channels,
                                                       const TestInputFaults& faults = {});

} // namespace kerris::encoder::test
