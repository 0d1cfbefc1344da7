// A picture in memory as the camera's picture files hold it: top-down rows of B, G, R bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kerris::virtualcam {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr; // width * height * 3 bytes, row 0 is the top row

    Picture() = default;
    Picture(int w, int h) : width(w), height(h), bgr(size_t(w) * size_t(h) * 3, 0) {}

    uint8_t* pixel(int x, int y) {
        return bgr.data() + (size_t(y) * size_t(width) + size_t(x)) * 3;
    }
    const uint8_t* pixel(int x, int y) const {
        return bgr.data() + (size_t(y) * size_t(width) + size_t(x)) * 3;
    }
    bool empty() const { return width <= 0 || height <= 0; }
};

// Resamples to exactly w x h, keeping the aspect ratio: the picture is scaled to cover the
// target and its middle is cut out. Down-scaling averages the covered source pixels.
Picture fitPicture(const Picture& source, int w, int h);

// Resamples to exactly w x h without keeping the aspect ratio (thumbnails, like the
// library's own subsampling, stretch).
Picture stretchPicture(const Picture& source, int w, int h);

} // namespace kerris::virtualcam
