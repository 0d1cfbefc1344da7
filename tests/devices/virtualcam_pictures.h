// Pictures for the virtual camera suites: measures and simple synthetic pictures.
#pragma once

#include "devices/virtualcam/picture.h"

#include <cmath>
#include <cstdint>

namespace vcamtest {

// Peak signal-to-noise ratio of two pictures in dB; 0 when their sizes differ, 99 when equal.
inline double psnr(const kerris::virtualcam::Picture& a, const kerris::virtualcam::Picture& b) {
    if (a.width != b.width || a.height != b.height)
        return 0;
    double se = 0;
    for (size_t i = 0; i < a.bgr.size(); ++i) {
        const double d = double(a.bgr[i]) - double(b.bgr[i]);
        se += d * d;
    }
    const double mse = se / double(a.bgr.size());
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// A picture of one colour.
inline kerris::virtualcam::Picture flatPicture(int w, int h, uint8_t b, uint8_t g, uint8_t r) {
    kerris::virtualcam::Picture p(w, h);
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i) {
        p.bgr[i * 3] = b;
        p.bgr[i * 3 + 1] = g;
        p.bgr[i * 3 + 2] = r;
    }
    return p;
}

} // namespace vcamtest
