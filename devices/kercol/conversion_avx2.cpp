// The conversion for processors with AVX2: 32 pixels per step, a vector of 16 16-bit lanes for
// the even and one for the odd columns of each channel, the same arithmetic as the plain code
// (conversion_rows.h), so that both give the same bytes; the tone table is gathered. Built with
// -mavx2 and called only when the processor has it; nothing from the standard library is
// instantiated here, so no code built for AVX2 can stand in for a plain function elsewhere.
#include <immintrin.h>

#include "devices/kercol/conversion.h"
#include "devices/kercol/conversion_steps.h"

namespace kercol {

namespace {

struct Ops {
    using V = __m256i;
    KERCOL_INLINE static V add(V a, V b) { return _mm256_add_epi16(a, b); }
    KERCOL_INLINE static V sub(V a, V b) { return _mm256_sub_epi16(a, b); }
    KERCOL_INLINE static V shl(V v, int bits) { return _mm256_slli_epi16(v, bits); }
};
using Sums = Neighbourhood<Ops>;

KERCOL_INLINE __m256i add(__m256i a, __m256i b) {
    return _mm256_add_epi16(a, b);
}
KERCOL_INLINE __m256i sub(__m256i a, __m256i b) {
    return _mm256_sub_epi16(a, b);
}

KERCOL_INLINE __m256i sum(__m256i p, __m256i q, __m256i s) {
    return add(add(p, q), s);
}

// A sum of the matrix into the tone table's range.
KERCOL_INLINE __m256i clampTone(__m256i v) {
    return _mm256_min_epi16(_mm256_max_epi16(v, _mm256_setzero_si256()),
                            _mm256_set1_epi16(kToneEntries - 1));
}

// One output channel for 8 lanes: (m0 r + m1 g) + m2 b + 1/2, truncated and clamped, in the
// order the plain code adds (the build forbids fused multiply-adds).
KERCOL_INLINE __m256i floatChannel(const __m256* m, __m256 r, __m256 g, __m256 b) {
    const __m256 sum =
        _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(m[0], r), _mm256_mul_ps(m[1], g)),
                                    _mm256_mul_ps(m[2], b)),
                      _mm256_set1_ps(0.5f));
    const __m256i v = _mm256_cvttps_epi32(sum);
    return _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()),
                            _mm256_set1_epi32(kToneEntries - 1));
}

KERCOL_INLINE __m256 lowFloats(__m256i v) {
    return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm256_castsi256_si128(v)));
}
KERCOL_INLINE __m256 highFloats(__m256i v) {
    return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm256_extracti128_si256(v, 1)));
}

// Two vectors of 8 32-bit values back into 16 16-bit lanes, in order.
KERCOL_INLINE __m256i pack32(__m256i low, __m256i high) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8);
}

// Shuffle masks that spread a channel's bytes over the B,G,R bytes of 16 pixels in each 128-bit
// lane. A lane of a channel holds 8 even columns, then the 8 odd ones between them.
struct Spread {
    alignas(32) std::uint8_t mask[3][3][32]; // [output block][channel][byte]
};

consteval Spread makeSpread() {
    Spread s{};
    for (int block = 0; block < 3; ++block)
        for (int channel = 0; channel < 3; ++channel)
            for (int j = 0; j < 32; ++j) {
                const int at = 16 * block + j % 16;
                const int pixel = at / 3;
                const int from = pixel % 2 == 0 ? pixel / 2 : 8 + pixel / 2;
                s.mask[block][channel][j] =
                    at % 3 == channel ? static_cast<std::uint8_t>(from) : 0x80;
            }
    return s;
}

constexpr Spread kSpread = makeSpread();

struct Kernel {
    static constexpr std::ptrdiff_t kStep = 32;
    static constexpr std::ptrdiff_t kSegmentSteps = 8;
    static constexpr std::ptrdiff_t kLanes = 16;
    // Plane entries: a segment's column pairs and one more on either side, whole vectors.
    static constexpr std::ptrdiff_t kPlane = kSegmentSteps * kLanes + kLanes;

    struct Constants {
        __m256i shortMatrix[9];
        __m256 matrix[9];
        __m256i black;
        const int* tone;

        explicit Constants(const ConversionTables& t) : tone(reinterpret_cast<const int*>(t.tone)) {
            for (int i = 0; i < 9; ++i) {
                shortMatrix[i] = _mm256_set1_epi16(t.shortMatrix[i]);
                matrix[i] = _mm256_set1_ps(t.matrix[i]);
            }
            black = _mm256_set1_epi16(t.black);
        }
    };

    KERCOL_INLINE static void matrixShort(const Constants& k, __m256i& r, __m256i& g, __m256i& b) {
        const __m256i* m = k.shortMatrix;
        const __m256i rr = sub(r, k.black), gg = sub(g, k.black), bb = sub(b, k.black);
        r = sum(_mm256_mulhrs_epi16(rr, m[0]), _mm256_mulhrs_epi16(gg, m[1]),
                _mm256_mulhrs_epi16(bb, m[2]));
        g = sum(_mm256_mulhrs_epi16(rr, m[3]), _mm256_mulhrs_epi16(gg, m[4]),
                _mm256_mulhrs_epi16(bb, m[5]));
        b = sum(_mm256_mulhrs_epi16(rr, m[6]), _mm256_mulhrs_epi16(gg, m[7]),
                _mm256_mulhrs_epi16(bb, m[8]));
    }

    KERCOL_INLINE static void matrixFloat(const Constants& k, __m256i& r, __m256i& g, __m256i& b) {
        const __m256i rr = sub(r, k.black), gg = sub(g, k.black), bb = sub(b, k.black);
        const __m256 rl = lowFloats(rr), gl = lowFloats(gg), bl = lowFloats(bb);
        const __m256 rh = highFloats(rr), gh = highFloats(gg), bh = highFloats(bb);
        const __m256* m = k.matrix;
        r = pack32(floatChannel(m, rl, gl, bl), floatChannel(m, rh, gh, bh));
        g = pack32(floatChannel(m + 3, rl, gl, bl), floatChannel(m + 3, rh, gh, bh));
        b = pack32(floatChannel(m + 6, rl, gl, bl), floatChannel(m + 6, rh, gh, bh));
    }

    // Matrix sums to output values without gamma: plain rounding of the clamped sum to a whole
    // step. The shift of a saturated sum and the saturation of the byte pack give that clamp.
    KERCOL_INLINE static __m256i toneLinear(__m256i v) {
        return _mm256_srai_epi16(_mm256_adds_epi16(v, _mm256_set1_epi16(2)), kToneBits);
    }

    // The same through the tone table, from sums already clamped; values 0..255.
    KERCOL_INLINE static __m256i toneGamma(const int* tone, __m256i v) {
        const __m256i low =
            _mm256_i32gather_epi32(tone, _mm256_cvtepu16_epi32(_mm256_castsi256_si128(v)), 4);
        const __m256i high =
            _mm256_i32gather_epi32(tone, _mm256_cvtepu16_epi32(_mm256_extracti128_si256(v, 1)), 4);
        return pack32(low, high);
    }

    // A channel's even and odd columns as bytes (saturated), 8 even then 8 odd per lane.
    KERCOL_INLINE static __m256i bytes(const __m256i* channel) {
        return _mm256_packus_epi16(channel[0], channel[1]);
    }

    KERCOL_INLINE static __m256i spread(int block, __m256i b, __m256i g, __m256i r) {
        const auto mask = [block](int channel) {
            return _mm256_load_si256(
                reinterpret_cast<const __m256i*>(kSpread.mask[block][channel]));
        };
        return _mm256_or_si256(
            _mm256_or_si256(_mm256_shuffle_epi8(b, mask(0)), _mm256_shuffle_epi8(g, mask(1))),
            _mm256_shuffle_epi8(r, mask(2)));
    }

    // Writes 32 pixels as B, G, R bytes.
    KERCOL_INLINE static void storePixels(std::uint8_t* out, const __m256i* r, const __m256i* g,
                                          const __m256i* b) {
        const __m256i bb = bytes(b), gg = bytes(g), rr = bytes(r);
        // Each holds one 16-byte block of pixels 0..15 in its low lane, of 16..31 in its high.
        const __m256i y0 = spread(0, bb, gg, rr);
        const __m256i y1 = spread(1, bb, gg, rr);
        const __m256i y2 = spread(2, bb, gg, rr);
        __m256i* to = reinterpret_cast<__m256i*>(out);
        _mm256_storeu_si256(to, _mm256_permute2x128_si256(y0, y1, 0x20));
        _mm256_storeu_si256(to + 1, _mm256_permute2x128_si256(y2, y0, 0x30));
        _mm256_storeu_si256(to + 2, _mm256_permute2x128_si256(y1, y2, 0x31));
    }

    template <bool BgRow, bool ShortPath, bool Linear>
    static void segment(const Constants& k, const std::uint8_t* top, std::ptrdiff_t w,
                        std::ptrdiff_t x, std::ptrdiff_t steps, std::uint8_t* out) {
        // Column pair i of the planes is output columns x - 2 + 2i and x - 1 + 2i, frame
        // columns x + 2i and x + 1 + 2i. Centre row, rows one away summed, rows two away summed.
        alignas(32) std::int16_t ce[kPlane], co[kPlane], v1e[kPlane], v1o[kPlane], v2e[kPlane],
            v2o[kPlane];
        const __m256i lowByte = _mm256_set1_epi16(0xFF);
        const auto planes = [&](std::ptrdiff_t i, const __m256i* row) {
            const auto even = [&](int j) { return _mm256_and_si256(row[j], lowByte); };
            const auto odd = [&](int j) { return _mm256_srli_epi16(row[j], 8); };
            const auto put = [&](std::int16_t* plane, __m256i v) {
                _mm256_store_si256(reinterpret_cast<__m256i*>(plane + i), v);
            };
            put(ce, even(2));
            put(co, odd(2));
            put(v1e, add(even(1), even(3)));
            put(v1o, add(odd(1), odd(3)));
            put(v2e, add(even(0), even(4)));
            put(v2o, add(odd(0), odd(4)));
        };
        for (std::ptrdiff_t s = 0; s < steps; ++s) {
            __m256i row[5];
            for (int j = 0; j < 5; ++j)
                row[j] = _mm256_loadu_si256(
                    reinterpret_cast<const __m256i*>(top + j * w + x + 2 * s * kLanes));
            planes(s * kLanes, row);
        }
        // The two pairs right of the last step.
        __m256i row[5];
        for (int j = 0; j < 5; ++j)
            row[j] = _mm256_zextsi128_si256(_mm_loadu_si32(top + j * w + x + 2 * steps * kLanes));
        planes(steps * kLanes, row);

        const auto at = [](const std::int16_t* plane, std::ptrdiff_t i) {
            return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(plane + i));
        };
        for (std::ptrdiff_t s = 0; s < steps; ++s) {
            const std::ptrdiff_t i = s * kLanes + 1;
            const __m256i ceL = at(ce, i - 1), ceC = at(ce, i), ceR = at(ce, i + 1);
            const __m256i coL = at(co, i - 1), coC = at(co, i), coR = at(co, i + 1);
            const __m256i v1eC = at(v1e, i), v1eR = at(v1e, i + 1);
            const __m256i v1oL = at(v1o, i - 1), v1oC = at(v1o, i);
            const Sums even{ceC, add(coL, coC), add(ceL, ceR), v1eC, at(v2e, i), add(v1oL, v1oC)};
            const Sums odd{coC, add(ceC, ceR), add(coL, coR), v1oC, at(v2o, i), add(v1eC, v1eR)};
            __m256i r[2], g[2], b[2];
            demosaicPlanes<BgRow>(even, odd, r, g, b);
            for (int p = 0; p < 2; ++p) {
                if constexpr (ShortPath)
                    matrixShort(k, r[p], g[p], b[p]);
                else
                    matrixFloat(k, r[p], g[p], b[p]);
                if constexpr (Linear) {
                    r[p] = toneLinear(r[p]);
                    g[p] = toneLinear(g[p]);
                    b[p] = toneLinear(b[p]);
                } else {
                    r[p] = toneGamma(k.tone, clampTone(r[p]));
                    g[p] = toneGamma(k.tone, clampTone(g[p]));
                    b[p] = toneGamma(k.tone, clampTone(b[p]));
                }
            }
            storePixels(out + 3 * (x + s * kStep), r, g, b);
        }
    }
};

} // namespace

void bunchedRowAvx2(const std::uint8_t* even, const std::uint8_t* oddCols, std::uint8_t* out,
                    std::size_t half) {
    constexpr std::size_t kPairs = 32;
    if (half < kPairs) {
        for (std::size_t k = 0; k < half; ++k) {
            out[2 * k] = even[k];
            out[2 * k + 1] = oddCols[k];
        }
        return;
    }
    // As in the conversion, the last step may overlap the one before.
    for (std::size_t k = 0;; k += kPairs) {
        if (k > half - kPairs)
            k = half - kPairs;
        const __m256i e = _mm256_permute4x64_epi64(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(even + k)), 0xD8);
        const __m256i o = _mm256_permute4x64_epi64(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(oddCols + k)), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * k), _mm256_unpacklo_epi8(e, o));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * k + 32),
                            _mm256_unpackhi_epi8(e, o));
        if (k == half - kPairs)
            break;
    }
}

std::ptrdiff_t convertRowAvx2(const ConversionTables& tables, const std::uint8_t* bayer,
                              std::uint8_t* bgr, std::ptrdiff_t w, std::ptrdiff_t y) {
    return convertRowWith<Kernel>(tables, bayer, bgr, w, y);
}

} // namespace kercol
