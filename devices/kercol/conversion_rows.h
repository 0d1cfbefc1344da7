// The conversion's row kernels in plain C++: the baseline path, and the columns at the right edge
// that the vector paths leave over. Everything here has internal linkage, so each translation
// unit (compiled for its own instruction set) keeps its own copy and no other unit's copy is
// ever called in its place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devices/kercol/conversion.h"

namespace kercol {

namespace {

constexpr int kToneMax = kToneEntries - 1;

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

// One bunched row (even columns, then odd columns) into a Bayer row, from column pair `from` on.
inline void bunchedRow(const std::uint8_t* __restrict even, const std::uint8_t* __restrict oddCols,
                       std::uint8_t* __restrict out, std::size_t from, std::size_t half) {
    for (std::size_t k = from; k < half; ++k) {
        out[2 * k] = even[k];
        out[2 * k + 1] = oddCols[k];
    }
}

// Output row y of the frame, columns [from, ow) of it, through the scratch rows r, g, b.
inline void convertRowTail(const ConversionTables& tables, const std::uint8_t* bayer,
                           std::uint8_t* bgr, std::ptrdiff_t w, std::ptrdiff_t y,
                           std::ptrdiff_t from, std::int16_t* r, std::int16_t* g, std::int16_t* b) {
    const std::ptrdiff_t ow = w - 4;
    const std::ptrdiff_t n = ow - from;
    if (n <= 0)
        return;
    const std::uint8_t* m2 = bayer + y * w + 2 + from;
    const std::uint8_t* m1 = m2 + w;
    const std::uint8_t* c0 = m1 + w;
    const std::uint8_t* p1 = c0 + w;
    const std::uint8_t* p2 = p1 + w;
    // Output row y is frame row y + 2: same parity, and frame row 0 is G R G R. `from` is even,
    // so column parity is that of the whole row.
    if ((y & 1) == 0)
        demosaicRow<false>(m2, m1, c0, p1, p2, n, r, g, b);
    else
        demosaicRow<true>(m2, m1, c0, p1, p2, n, r, g, b);
    if (tables.shortMatrixFits)
        matrixRowShort(tables, n, r, g, b);
    else
        matrixRowFloat(tables, n, r, g, b);
    std::uint8_t* out = bgr + (y * ow + from) * 3;
    if (tables.linearTone)
        toneRowLinear(n, r, g, b, out);
    else
        toneRow(tables.tone, n, r, g, b, out);
}

} // namespace

} // namespace kercol
