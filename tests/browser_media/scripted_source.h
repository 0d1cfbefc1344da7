// An acquisition source for tests: answers as told and logs every operation by its ordinal.
#pragma once

#include "platform/acquire/acquisition_source.h"

#include <memory>
#include <string>
#include <vector>

namespace lumicart::media::testing {

struct ScriptedSource : kerris::acquire::AcquisitionSource {
    using ImageHandle = kerris::acquire::ImageHandle;
    uint32_t available = 1;
    // The log outlives the source when a test shares it (the window owns its source).
    std::shared_ptr<std::vector<int>> log = std::make_shared<std::vector<int>>();
    uint32_t openAnswer = 1;
    ImageHandle acquireAnswer = 7;
    uint32_t width = 4, height = 3;
    std::vector<int>& calls = *log;
    std::vector<std::string> written;

    uint32_t isAvailable() override { return calls.push_back(26), available; }
    uint32_t selectSource(void*) override { return calls.push_back(38), 1; }
    void prepare(uint32_t option) override { calls.push_back(option == 0 ? 44 : -44); }
    uint32_t openSource() override { return calls.push_back(35), openAnswer; }
    ImageHandle acquire(void*, uint32_t) override { return calls.push_back(2), acquireAnswer; }
    uint32_t imageWidth(ImageHandle) override { return calls.push_back(10), width; }
    uint32_t imageHeight(ImageHandle) override { return calls.push_back(12), height; }
    uint32_t writeBitmapFile(ImageHandle, const std::string& name) override {
        calls.push_back(49);
        written.push_back(name);
        kerris::acquire::RgbImage image{int(width), int(height)};
        image.rgb.assign(std::size_t(width) * height * 3, 0x80);
        return kerris::acquire::WriteRgbBitmap(image, name) ? 1 : 0;
    }
    void freeImage(ImageHandle) override { calls.push_back(17); }
    void closeSource() override { calls.push_back(13); }
    void closeSession() override { calls.push_back(5); }
};

} // namespace lumicart::media::testing
