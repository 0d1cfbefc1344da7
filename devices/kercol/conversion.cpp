// Frame conversion. The demosaic is gradient-corrected bilinear interpolation with 5 x 5 kernels
// (each missing colour = bilinear estimate + a share of the local Laplacian of the known colour),
// which keeps edges sharper than plain bilinear and needs exactly the frame's 2-pixel border.
// Work runs row by row in three passes over small planar buffers so that the compiler can
// vectorise the first two; the third packs B,G,R through the tone table.
#include "devices/kercol/conversion.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace kercol {

namespace {

constexpr int kToneMax = kToneEntries - 1;

// The camera's frame sizes: pictures 352x288, 640x480, 176x144, 320x240 plus the 2-pixel border,
// and the 80x64 thumbnail's frame.
constexpr std::uint32_t kCameraFrames[][2] = {
    {356, 292}, {644, 484}, {180, 148}, {324, 244}, {84, 68}};

inline std::int16_t pick(std::int16_t mask, std::int16_t ifSet, std::int16_t ifClear) {
    return static_cast<std::int16_t>((ifSet & mask) | (ifClear & ~mask));
}

// One output row of the demosaic, each channel with 4 fraction bits (x16). Row pointers address
// the first output column; kernels reach two columns either side. On a G R G R row (bgRow false)
// even columns are green with red beside and blue above and below, odd columns red. On a B G B G
// row even columns are blue, odd columns green with blue beside and red above and below.
template <bool BgRow>
[[gnu::always_inline]] inline void
demosaicRow(const std::uint8_t* __restrict m2, const std::uint8_t* __restrict m1,
            const std::uint8_t* __restrict c0, const std::uint8_t* __restrict p1,
            const std::uint8_t* __restrict p2, std::ptrdiff_t n, std::int16_t* __restrict r,
            std::int16_t* __restrict g, std::int16_t* __restrict b) {
    // Sixteen-bit arithmetic throughout (every sum below lies within -3100..7200) doubles the
    // number of pixels per vector compared with int.
    using S = std::int16_t;
    for (std::ptrdiff_t x = 0; x < n; ++x) {
        const S c = c0[x];
        const S h1 = S(c0[x - 1] + c0[x + 1]);
        const S h2 = S(c0[x - 2] + c0[x + 2]);
        const S v1 = S(m1[x] + p1[x]);
        const S v2 = S(m2[x] + p2[x]);
        const S d = S(m1[x - 1] + m1[x + 1] + p1[x - 1] + p1[x + 1]);
        const S own = S(16 * c);
        // Green at a red or blue site.
        const S green = S(8 * c + 4 * (h1 + v1) - 2 * (h2 + v2));
        // At a green site: the colour of the horizontal neighbours, and of the vertical ones.
        const S across = S(10 * c + 8 * h1 - 2 * h2 - 2 * d + v2);
        const S upDown = S(10 * c + 8 * v1 - 2 * v2 - 2 * d + h2);
        // At a red site blue (and at a blue site red), from the diagonal neighbours.
        const S diagonal = S(12 * c + 4 * d - 3 * (h2 + v2));
        const std::int16_t odd = static_cast<std::int16_t>(-(x & 1));
        if constexpr (!BgRow) {
            r[x] = pick(odd, own, across);
            g[x] = pick(odd, green, own);
            b[x] = pick(odd, diagonal, upDown);
        } else {
            r[x] = pick(odd, upDown, diagonal);
            g[x] = pick(odd, own, green);
            b[x] = pick(odd, across, own);
        }
    }
}

// Fixed-point position of the 16-bit matrix: x * entry / 2^15 with entries in units of 2^-13
// takes demosaic units (x16) to tone units (x4).
constexpr int kShortMatrixBits = 13;

inline std::int16_t clampTone(std::int32_t v) {
    return static_cast<std::int16_t>(v < 0 ? 0 : v > kToneMax ? kToneMax : v);
}

// a * b / 2^15, rounded: the vectoriser turns this into one multiply-high-round instruction.
inline std::int16_t mulRound(std::int16_t a, std::int16_t b) {
    return static_cast<std::int16_t>(((std::int32_t(a) * b >> 14) + 1) >> 1);
}

// Black offset, white level and colour matrix in 16-bit lanes, in place; the results are tone
// table indices. Each product is at most 7200 x 4 / 4 in size, so the sum of three stays inside
// 16 bits.
[[gnu::always_inline]] inline void matrixRowShort(const ConversionTables& t, std::ptrdiff_t n,
                                                  std::int16_t* __restrict r,
                                                  std::int16_t* __restrict g,
                                                  std::int16_t* __restrict b) {
    const std::int16_t* m = t.shortMatrix;
    const std::int16_t m0 = m[0], m1 = m[1], m2 = m[2], m3 = m[3], m4 = m[4], m5 = m[5];
    const std::int16_t m6 = m[6], m7 = m[7], m8 = m[8];
    const std::int16_t black = t.black;
    for (std::ptrdiff_t x = 0; x < n; ++x) {
        const std::int16_t rr = std::int16_t(r[x] - black);
        const std::int16_t gg = std::int16_t(g[x] - black);
        const std::int16_t bb = std::int16_t(b[x] - black);
        // Narrowed before the clamp so that the whole loop stays in 16-bit lanes.
        const auto sum = [](std::int16_t p, std::int16_t q, std::int16_t s) {
            const std::int16_t v = std::int16_t(p + q + s);
            return std::int16_t(v < 0 ? 0 : v > kToneMax ? kToneMax : v);
        };
        r[x] = sum(mulRound(rr, m0), mulRound(gg, m1), mulRound(bb, m2));
        g[x] = sum(mulRound(rr, m3), mulRound(gg, m4), mulRound(bb, m5));
        b[x] = sum(mulRound(rr, m6), mulRound(gg, m7), mulRound(bb, m8));
    }
}

// The same for any matrix, in single precision. Conversions round half up; negative sums round
// towards zero, which the clamp takes to 0 anyway. Sums stay far inside 32 bits.
[[gnu::always_inline]] inline void matrixRowFloat(const ConversionTables& t, std::ptrdiff_t n,
                                                  std::int16_t* __restrict r,
                                                  std::int16_t* __restrict g,
                                                  std::int16_t* __restrict b) {
    const float* m = t.matrix;
    const float m0 = m[0], m1 = m[1], m2 = m[2], m3 = m[3], m4 = m[4], m5 = m[5];
    const float m6 = m[6], m7 = m[7], m8 = m[8];
    const std::int32_t black = t.black;
    for (std::ptrdiff_t x = 0; x < n; ++x) {
        const float rr = float(r[x] - black), gg = float(g[x] - black), bb = float(b[x] - black);
        r[x] = clampTone(std::int32_t(m0 * rr + m1 * gg + m2 * bb + 0.5f));
        g[x] = clampTone(std::int32_t(m3 * rr + m4 * gg + m5 * bb + 0.5f));
        b[x] = clampTone(std::int32_t(m6 * rr + m7 * gg + m8 * bb + 0.5f));
    }
}

[[gnu::always_inline]] inline void toneRow(const std::uint32_t* __restrict tone, std::ptrdiff_t n,
                                           const std::int16_t* __restrict r,
                                           const std::int16_t* __restrict g,
                                           const std::int16_t* __restrict b,
                                           std::uint8_t* __restrict out) {
    for (std::ptrdiff_t x = 0; x < n; ++x) {
        out[3 * x] = static_cast<std::uint8_t>(tone[b[x]]);
        out[3 * x + 1] = static_cast<std::uint8_t>(tone[g[x]]);
        out[3 * x + 2] = static_cast<std::uint8_t>(tone[r[x]]);
    }
}

// The same without gamma: plain rounding to whole steps, which vectorises where the table
// lookups cannot.
[[gnu::always_inline]] inline void toneRowLinear(std::ptrdiff_t n, const std::int16_t* __restrict r,
                                                 const std::int16_t* __restrict g,
                                                 const std::int16_t* __restrict b,
                                                 std::uint8_t* __restrict out) {
    constexpr int half = 1 << (kToneBits - 1);
    const auto step = [](std::int16_t v) {
        const std::int16_t s = std::int16_t((v + half) >> kToneBits);
        return static_cast<std::uint8_t>(s > 255 ? 255 : s);
    };
    for (std::ptrdiff_t x = 0; x < n; ++x) {
        out[3 * x] = step(b[x]);
        out[3 * x + 1] = step(g[x]);
        out[3 * x + 2] = step(r[x]);
    }
}

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
    }
}

bool isCameraFrame(std::uint32_t width, std::uint32_t height) {
    for (const auto& size : kCameraFrames)
        if (size[0] == width && size[1] == height)
            return true;
    return false;
}

void bunchedToBayer(const std::uint8_t* bunched, std::uint8_t* bayer, std::uint32_t width,
                    std::uint32_t height, std::uint8_t* row) {
    const std::size_t w = width;
    const std::size_t half = w / 2;
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* src = bunched + y * w;
        std::uint8_t* dst = bayer + y * w;
        if (src == dst) {
            std::memcpy(row, src, w);
            src = row;
        }
        const std::uint8_t* __restrict even = src;
        const std::uint8_t* __restrict oddCols = src + half;
        std::uint8_t* __restrict out = dst;
        for (std::size_t k = 0; k < half; ++k) {
            out[2 * k] = even[k];
            out[2 * k + 1] = oddCols[k];
        }
    }
}

// Built for AVX-512 (x86-64-v4), AVX2 and the x86-64 baseline; the loader picks the best one
// the processor runs.
[[gnu::target_clones("arch=x86-64-v4", "avx2", "default")]] void
convertFrame(const ConversionTables& tables, const std::uint8_t* bayer, std::uint8_t* bgr,
             std::uint32_t width, std::uint32_t height, std::int16_t* scratch) {
    const std::ptrdiff_t w = width;
    const std::ptrdiff_t ow = w - 4;
    const std::ptrdiff_t oh = std::ptrdiff_t(height) - 4;
    std::int16_t* r = scratch;
    std::int16_t* g = r + ow;
    std::int16_t* b = g + ow;
    for (std::ptrdiff_t y = 0; y < oh; ++y) {
        const std::uint8_t* m2 = bayer + y * w + 2;
        const std::uint8_t* m1 = m2 + w;
        const std::uint8_t* c0 = m1 + w;
        const std::uint8_t* p1 = c0 + w;
        const std::uint8_t* p2 = p1 + w;
        // Output row y is frame row y + 2: same parity, and frame row 0 is G R G R.
        if ((y & 1) == 0)
            demosaicRow<false>(m2, m1, c0, p1, p2, ow, r, g, b);
        else
            demosaicRow<true>(m2, m1, c0, p1, p2, ow, r, g, b);
        if (tables.shortMatrixFits)
            matrixRowShort(tables, ow, r, g, b);
        else
            matrixRowFloat(tables, ow, r, g, b);
        if (tables.linearTone)
            toneRowLinear(ow, r, g, b, bgr + y * ow * 3);
        else
            toneRow(tables.tone, ow, r, g, b, bgr + y * ow * 3);
    }
}

} // namespace kercol
