// Resampling of pictures to the camera's formats.
#include "devices/virtualcam/picture.h"

#include <algorithm>
#include <cmath>

namespace kerris::virtualcam {

namespace {

// Samples the source rectangle [x0, x1) x [y0, y1) (source pixel units): the mean of the
// pixels it covers, weighted by coverage, or a bilinear sample when it is under a pixel.
void sampleArea(const Picture& src, double x0, double y0, double x1, double y1, uint8_t* out) {
    if (x1 - x0 <= 1.0 && y1 - y0 <= 1.0) {
        double cx = std::clamp((x0 + x1) / 2 - 0.5, 0.0, double(src.width - 1));
        double cy = std::clamp((y0 + y1) / 2 - 0.5, 0.0, double(src.height - 1));
        int ix = int(cx), iy = int(cy);
        int jx = std::min(ix + 1, src.width - 1), jy = std::min(iy + 1, src.height - 1);
        double fx = cx - ix, fy = cy - iy;
        for (int c = 0; c < 3; ++c) {
            double top = src.pixel(ix, iy)[c] * (1 - fx) + src.pixel(jx, iy)[c] * fx;
            double bottom = src.pixel(ix, jy)[c] * (1 - fx) + src.pixel(jx, jy)[c] * fx;
            out[c] = uint8_t(std::lround(top * (1 - fy) + bottom * fy));
        }
        return;
    }
    double sum[3] = {0, 0, 0};
    double total = 0;
    int yStart = std::max(0, int(std::floor(y0))), yEnd = std::min(src.height, int(std::ceil(y1)));
    int xStart = std::max(0, int(std::floor(x0))), xEnd = std::min(src.width, int(std::ceil(x1)));
    for (int y = yStart; y < yEnd; ++y) {
        double wy = std::min(y1, double(y + 1)) - std::max(y0, double(y));
        for (int x = xStart; x < xEnd; ++x) {
            double w = wy * (std::min(x1, double(x + 1)) - std::max(x0, double(x)));
            const uint8_t* p = src.pixel(x, y);
            for (int c = 0; c < 3; ++c)
                sum[c] += w * p[c];
            total += w;
        }
    }
    for (int c = 0; c < 3; ++c)
        out[c] = total > 0 ? uint8_t(std::lround(sum[c] / total)) : 0;
}

// Maps the source window [ox, ox + sw) x [oy, oy + sh) onto a w x h picture.
Picture resample(const Picture& src, double ox, double oy, double sw, double sh, int w, int h) {
    Picture out(w, h);
    if (src.empty() || w <= 0 || h <= 0)
        return out;
    double sx = sw / w, sy = sh / h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            sampleArea(src, ox + x * sx, oy + y * sy, ox + (x + 1) * sx, oy + (y + 1) * sy,
                       out.pixel(x, y));
    return out;
}

} // namespace

Picture fitPicture(const Picture& source, int w, int h) {
    if (source.width == w && source.height == h)
        return source;
    // Cover the target: the smaller of the two scale factors decides the cut.
    double scale = std::min(double(source.width) / w, double(source.height) / h);
    double sw = w * scale, sh = h * scale;
    return resample(source, (source.width - sw) / 2, (source.height - sh) / 2, sw, sh, w, h);
}

Picture stretchPicture(const Picture& source, int w, int h) {
    if (source.width == w && source.height == h)
        return source;
    return resample(source, 0, 0, source.width, source.height, w, h);
}

} // namespace kerris::virtualcam
