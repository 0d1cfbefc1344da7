// Test pictures for the colour library: synthetic RGB pictures, their GRBG mosaic and bunching
// (the inverse of the library's conversion), PSNR, and a handle that closes itself.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "devices/kercol/kercol.h"

namespace kercol_test {

// An RGB picture, 3 bytes per pixel in the order R, G, B, rows top-down.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    Picture(int w, int h) : width(w), height(h), rgb(std::size_t(w) * h * 3) {}
    std::uint8_t* at(int x, int y) { return &rgb[(std::size_t(y) * width + x) * 3]; }
    const std::uint8_t* at(int x, int y) const { return &rgb[(std::size_t(y) * width + x) * 3]; }
};

inline Picture flatPicture(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            p.at(x, y)[0] = r;
            p.at(x, y)[1] = g;
            p.at(x, y)[2] = b;
        }
    return p;
}

// Slowly varying colours (periods of 100 pixels and more), as a camera sees a soft scene.
inline Picture smoothPicture(int w, int h) {
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double r = 128 + 100 * std::sin(x / 31.0 + y / 47.0);
            const double g = 128 + 90 * std::cos(x / 53.0 - y / 29.0);
            const double b = 120 + 80 * std::sin((x + 2 * y) / 71.0 + 1.0);
            p.at(x, y)[0] = std::uint8_t(std::lround(r));
            p.at(x, y)[1] = std::uint8_t(std::lround(g));
            p.at(x, y)[2] = std::uint8_t(std::lround(b));
        }
    return p;
}

// Sharp detail: a checker of small squares under fine stripes, tinted. As in real scenes the
// three channels share their edges (they differ in level, not in shape).
inline Picture detailedPicture(int w, int h) {
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool square = ((x / 7) + (y / 9)) % 2 == 0;
            const double stripe = 0.25 * std::sin(x * x / 900.0 + y / 5.0);
            const double light = (square ? 0.8 : 0.25) + stripe * 0.5 + 0.1;
            const double tint[3] = {1.0, 0.85, 0.6 + 0.3 * std::sin(y / 60.0)};
            for (int c = 0; c < 3; ++c)
                p.at(x, y)[c] =
                    std::uint8_t(std::lround(std::clamp(light * tint[c], 0.0, 1.0) * 255));
        }
    return p;
}

// The GRBG mosaic a sensor would record: row 0 = G R G R, row 1 = B G B G.
inline std::vector<std::uint8_t> mosaic(const Picture& p) {
    std::vector<std::uint8_t> bayer(std::size_t(p.width) * p.height);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            int channel = 1;
            if (y % 2 == 0 && x % 2 == 1)
                channel = 0;
            else if (y % 2 == 1 && x % 2 == 0)
                channel = 2;
            bayer[std::size_t(y) * p.width + x] = p.at(x, y)[channel];
        }
    return bayer;
}

// Each row as its even columns, then its odd columns.
inline std::vector<std::uint8_t> bunch(const std::vector<std::uint8_t>& bayer, int w, int h) {
    std::vector<std::uint8_t> out(bayer.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int to = (x % 2 == 0) ? x / 2 : w / 2 + x / 2;
            out[std::size_t(y) * w + to] = bayer[std::size_t(y) * w + x];
        }
    return out;
}

// PSNR of a converted picture (B, G, R bytes, (w-4) x (h-4)) against the interior of `original`.
inline double psnrAgainstInterior(const std::vector<std::uint8_t>& bgr, const Picture& original) {
    const int ow = original.width - 4, oh = original.height - 4;
    double sum = 0;
    for (int y = 0; y < oh; ++y)
        for (int x = 0; x < ow; ++x) {
            const std::uint8_t* want = original.at(x + 2, y + 2);
            const std::uint8_t* got = &bgr[(std::size_t(y) * ow + x) * 3];
            for (int c = 0; c < 3; ++c) {
                const double d = double(got[2 - c]) - double(want[c]);
                sum += d * d;
            }
        }
    const double mse = sum / (double(ow) * oh * 3);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

class Handle {
public:
    Handle() : m_handle(KERC_Open(0, 0)) {}
    ~Handle() {
        if (m_handle != 0)
            KERC_Close(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    operator std::uint32_t() const { return m_handle; }

private:
    std::uint32_t m_handle;
};

// Converts a Bayer frame with the handle's settings; status in `*status` when asked.
inline std::vector<std::uint8_t> convert(std::uint32_t handle, std::vector<std::uint8_t> bayer,
                                         int w, int h, std::uint32_t* status = nullptr) {
    std::vector<std::uint8_t> out(std::size_t(w - 4) * (h - 4) * 3, 0xEE);
    const std::uint32_t s = KERC_Colour(handle, bayer.data(), out.data(), w, h, 0);
    if (status)
        *status = s;
    return out;
}

inline void setMode(std::uint32_t handle, std::uint32_t mode) {
    KERC_SetParameter(handle, KERC_PARAM_MODE, &mode, 4);
}

} // namespace kercol_test
