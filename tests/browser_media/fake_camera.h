// A scriptable camera behind a CameraApi table: pictures by format, injected failures, a call log.
#pragma once

#include "browser/media/camera_api.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lumicart::media::testing {

struct FakeCamera {
    struct Picture {
        uint32_t format = 0; // 0 CIF, 1 VGA, 2 QCIF, 3 QVGA
        uint8_t seed = 0;    // varies the pixels
    };
    std::vector<Picture> pictures;

    uint32_t openStatus = 0;
    bool handBackOnOpenFailure = false;
    uint32_t stateStatus = 0;
    int formatFailsAt = -1;    // CpiGetImageFormatEx fails for this index
    int uploadFailsAt = -1;    // CpiUploadImage fails for this index
    int emptyPictureAt = -1;   // CpiUploadImage leaves width 0 for this index
    int createFailsAfter = -1; // CpiCreateImage gives null once this many were made

    // What happened.
    std::vector<std::string> calls; // entry point names in call order
    int opens = 0, closes = 0, created = 0, freed = 0;
    bool connectionOpen = false;
    std::vector<uint32_t> uploaded; // indexes
};

// The one fake the table's functions use; reset() gives a fresh camera.
FakeCamera& fakeCamera();
void resetFakeCamera();

// A table whose seven browser entry points call the fake; the other 34 stay null.
CameraApi fakeCameraApi();

// Width and height of a format code.
void formatSize(uint32_t format, int& width, int& height);
// The pixel byte the fake writes at byte offset `k` of picture `seed`.
uint8_t fakePixel(uint8_t seed, std::size_t k);

} // namespace lumicart::media::testing
