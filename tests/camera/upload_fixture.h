// A camera opened on the fake transport and colour libraries, with helpers to script the
// replies and frames of uploads and to read back what the camera library did.
#pragma once

#include "camera/cpi.h"
#include "tests/fakes/fake_control.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kerris::camera::testing {

using fakes::Call;
using fakes::FakeColour;
using fakes::FakeTransport;

// Capability bits of the camera information (reply byte 6).
inline constexpr uint8_t kCapSettle = 0x01;     // bit 0: settle wait, addressed block reads
inline constexpr uint8_t kCapThumbnails = 0x08; // bit 3: the camera keeps thumbnails

// Camera versions on either side of the extended command set.
inline constexpr uint32_t kVersionExtended = 0x00610000;
inline constexpr uint32_t kVersionOlder = 0x00600000;

inline void putBe16(std::vector<uint8_t>& v, size_t at, uint32_t value) {
    v[at] = uint8_t(value >> 8);
    v[at + 1] = uint8_t(value);
}
inline void putBe32(std::vector<uint8_t>& v, size_t at, uint32_t value) {
    putBe16(v, at, value >> 16);
    putBe16(v, at + 2, value);
}

// The 16 reply bytes of a descriptor command (0x83, 0x84, 0x8F).
inline std::vector<uint8_t> descriptorReply(uint16_t width, uint16_t height, uint32_t rawSize,
                                            uint8_t flags = 0) {
    std::vector<uint8_t> r(16, 0);
    putBe32(r, 0, rawSize);
    putBe16(r, 4, width);
    putBe16(r, 6, height);
    putBe16(r, 8, 0x1122);
    putBe16(r, 10, 0x3344);
    r[12] = 0x55;
    r[13] = 0x66;
    r[14] = 0x77;
    r[15] = flags;
    return r;
}

// The reply of command 0x86: counts, frame size of the picture, thumbnail frame and size.
inline std::vector<uint8_t> imageInfoReply(uint16_t imageCount, uint16_t headerCount,
                                           uint16_t frameWidth, uint16_t frameHeight,
                                           uint32_t rawSize, uint8_t thumbFrameWidth = 84,
                                           uint8_t thumbFrameHeight = 68,
                                           uint16_t rawThumbSize = 5712) {
    std::vector<uint8_t> r(16, 0);
    putBe16(r, 0, imageCount);
    putBe16(r, 2, headerCount);
    putBe16(r, 4, frameWidth);
    putBe16(r, 6, frameHeight);
    putBe32(r, 8, rawSize);
    r[12] = thumbFrameWidth;
    r[13] = thumbFrameHeight;
    putBe16(r, 14, rawThumbSize);
    return r;
}

// A bunched frame whose sample at (row, col) is a function of both, distinct between
// neighbouring rows and columns.
inline uint8_t sampleAt(uint32_t row, uint32_t col) {
    return uint8_t(row * 31 + col * 7);
}
inline std::vector<uint8_t> patternFrame(uint32_t width, uint32_t height) {
    std::vector<uint8_t> f(size_t{width} * height);
    for (uint32_t r = 0; r < height; ++r)
        for (uint32_t c = 0; c < width; ++c)
            f[size_t{r} * width + c] = sampleAt(r, c);
    return f;
}

// The Bayer sample at (row, col) of a bunched frame of width w (the colour library's
// interleaving of the row's two halves).
inline uint8_t bayerOf(const std::vector<uint8_t>& bunched, uint32_t w, uint32_t row,
                       uint32_t col) {
    const size_t base = size_t{row} * w;
    return col % 2 == 0 ? bunched[base + col / 2] : bunched[base + w / 2 + col / 2];
}

// A picture record that frees itself.
struct Picture {
    CpiImage* image;
    Picture(int32_t w, int32_t h) : image(CpiCreateImage(w, h)) {}
    ~Picture() { CpiFreeImage(image); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    uint8_t* pixels() const { return cpiImagePixels(image); }
    size_t bytes() const { return size_t(image->width) * image->height * 3; }
    // The stored pixel of picture row y (top = 0) and column x: rows are stored bottom-up.
    const uint8_t* at(int32_t x, int32_t y) const {
        return pixels() + (size_t(image->height - 1 - y) * image->width + x) * 3;
    }
    void fill(uint8_t value) const { std::memset(pixels(), value, bytes()); }
    bool allEqual(uint8_t value) const {
        for (size_t i = 0; i < bytes(); ++i)
            if (pixels()[i] != value)
                return false;
        return true;
    }
};

// What the fake colour library makes of a Bayer sample: B, G, R = sample + 0, 1, 2.
inline void expectPixel(const uint8_t* pixel, uint8_t sample, const std::string& where) {
    EXPECT_EQ(pixel[0], sample) << where;
    EXPECT_EQ(pixel[1], uint8_t(sample + 1)) << where;
    EXPECT_EQ(pixel[2], uint8_t(sample + 2)) << where;
}

class CameraTest : public ::testing::Test {
protected:
    FakeTransport cti;
    FakeColour kerc;
    CpiConnection* c = nullptr;

    void SetUp() override {
        cti.reset();
        kerc.reset();
    }

    void TearDown() override {
        if (c) {
            EXPECT_EQ(CpiCameraClose(c), 0u);
        }
        c = nullptr;
    }

    // Opens the camera on the USB fake, then clears both logs.
    void open(uint32_t version = kVersionOlder, uint8_t capabilities = 0) {
        std::vector<uint8_t> info(16, 0);
        putBe32(info, 0, version);
        info[6] = capabilities;
        cti.setReply(0x85, info);
        ASSERT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), 0u);
        ASSERT_NE(c, nullptr);
        cti.clearLog();
        kerc.clearLog();
    }

    // The reset sequence's signature in the log: abort, transport reset, idle commands.
    // Counts how many times it ran, each run checked to be complete and in order.
    int resetRuns() const {
        const std::vector<Call> log = cti.log();
        int runs = 0;
        for (size_t i = 0; i < log.size(); ++i) {
            if (log[i].name != "CtiCommand" || log[i].args[1] != 0x04)
                continue;
            ++runs;
            EXPECT_TRUE(i + 2 < log.size() && log[i + 1].name == "CtiResetTransport" &&
                        log[i + 2].name == "CtiCommand" && log[i + 2].args[1] == 0x00)
                << "reset sequence " << runs << " incomplete at log entry " << i;
        }
        return runs;
    }

    size_t count(const std::string& entry) const { return cti.calls(entry).size(); }
    size_t countRequest(uint8_t request) const {
        size_t n = 0;
        for (uint8_t r : cti.requests())
            n += r == request;
        return n;
    }
};

} // namespace kerris::camera::testing
