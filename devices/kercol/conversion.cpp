// Frame conversion. The demosaic is gradient-corrected bilinear interpolation with 5 x 5 kernels
// (each missing colour = bilinear estimate + a share of the local Laplacian of the known colour),
// which keeps edges sharper than plain bilinear and needs exactly the frame's 2-pixel border.
// This unit holds the tables, the choice of path by the processor and the plain x86-64 path;
// the AVX2 and AVX-512 paths convert each row as far as their steps reach, the plain row
// kernels (conversion_rows.h) the columns left over.
#include "devices/kercol/conversion.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "devices/kercol/conversion_rows.h"

namespace kercol {

namespace {

// The camera's frame sizes: pictures 352x288, 640x480, 176x144, 320x240 plus the 2-pixel border,
// and the 80x64 thumbnail's frame.
constexpr std::uint32_t kCameraFrames[][2] = {
    {356, 292}, {644, 484}, {180, 148}, {324, 244}, {84, 68}};

} // namespace

void buildTables(const ColourSettings& settings, ConversionTables& tables) {
    // A white level at or below the black offset (possible between two parameter calls) leaves a
    // range of one step: every pixel then saturates rather than dividing by zero.
    const int range = std::max(1, int(settings.whiteLevel) - int(settings.blackOffset));
    const float scale = 255.0f / float(range);
    tables.shortMatrixFits = true;
    for (int i = 0; i < 9; ++i) {
        const float entry = settings.matrix[i] * scale;
        tables.matrix[i] = entry / float(1 << (kDemosaicBits - kToneBits));
        // Entries just below 4 may round up to 2^15, which 16 bits cannot hold.
        const float fixed = std::nearbyint(entry * (1 << kShortMatrixBits));
        if (std::fabs(fixed) <= 32767.0f) {
            tables.shortMatrix[i] = static_cast<std::int16_t>(fixed);
        } else {
            tables.shortMatrixFits = false;
            tables.shortMatrix[i] = 0;
        }
    }
    tables.black = static_cast<std::int16_t>(settings.blackOffset << kDemosaicBits);

    tables.linearTone = !settings.gammaOn;
    const double exponent = 1000.0 / settings.gammaMilli;
    constexpr int half = 1 << (kToneBits - 1);
    for (int i = 0; i < kToneEntries; ++i) {
        if (!settings.gammaOn) {
            tables.tone[i] = static_cast<std::uint32_t>(std::min(255, (i + half) >> kToneBits));
        } else {
            const double linear = std::min(1.0, i / double(255 << kToneBits));
            tables.tone[i] =
                static_cast<std::uint32_t>(std::floor(std::pow(linear, exponent) * 255.0 + 0.5));
        }
        tables.toneBytes[i] = static_cast<std::uint8_t>(tables.tone[i]);
    }
}

bool isCameraFrame(std::uint32_t width, std::uint32_t height) {
    for (const auto& size : kCameraFrames)
        if (size[0] == width && size[1] == height)
            return true;
    return false;
}

bool pathSupported(ConversionPath path) {
    __builtin_cpu_init();
    switch (path) {
    case ConversionPath::baseline:
        return true;
    case ConversionPath::avx2:
        return __builtin_cpu_supports("avx2");
    case ConversionPath::avx512:
        // The tone table is looked up with byte permutes, which need VBMI besides BW.
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi");
    }
    return false;
}

ConversionPath bestPath() {
    static const ConversionPath best =
        pathSupported(ConversionPath::avx512) ? ConversionPath::avx512
        : pathSupported(ConversionPath::avx2) ? ConversionPath::avx2
                                              : ConversionPath::baseline;
    return best;
}

void bunchedToBayer(ConversionPath path, const std::uint8_t* bunched, std::uint8_t* bayer,
                    std::uint32_t width, std::uint32_t height, std::uint8_t* row) {
    const std::size_t w = width;
    const std::size_t half = w / 2;
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* src = bunched + y * w;
        std::uint8_t* dst = bayer + y * w;
        if (src == dst) {
            std::memcpy(row, src, w);
            src = row;
        }
        switch (path) {
        case ConversionPath::avx512:
            bunchedRowAvx512(src, src + half, dst, half);
            break;
        case ConversionPath::avx2:
            bunchedRowAvx2(src, src + half, dst, half);
            break;
        case ConversionPath::baseline:
            bunchedRow(src, src + half, dst, 0, half);
            break;
        }
    }
}

void bunchedToBayer(const std::uint8_t* bunched, std::uint8_t* bayer, std::uint32_t width,
                    std::uint32_t height, std::uint8_t* row) {
    bunchedToBayer(bestPath(), bunched, bayer, width, height, row);
}

void convertFrame(ConversionPath path, const ConversionTables& tables, const std::uint8_t* bayer,
                  std::uint8_t* bgr, std::uint32_t width, std::uint32_t height,
                  std::int16_t* scratch) {
    const std::ptrdiff_t w = width;
    const std::ptrdiff_t ow = w - 4;
    const std::ptrdiff_t oh = std::ptrdiff_t(height) - 4;
    std::int16_t* r = scratch;
    std::int16_t* g = r + ow;
    std::int16_t* b = g + ow;
    for (std::ptrdiff_t y = 0; y < oh; ++y) {
        std::ptrdiff_t done = 0;
        if (path == ConversionPath::avx512)
            done = convertRowAvx512(tables, bayer, bgr, w, y);
        else if (path == ConversionPath::avx2)
            done = convertRowAvx2(tables, bayer, bgr, w, y);
        convertRowTail(tables, bayer, bgr, w, y, done, r, g, b);
    }
}

void convertFrame(const ConversionTables& tables, const std::uint8_t* bayer, std::uint8_t* bgr,
                  std::uint32_t width, std::uint32_t height, std::int16_t* scratch) {
    convertFrame(bestPath(), tables, bayer, bgr, width, height, scratch);
}

} // namespace kercol
