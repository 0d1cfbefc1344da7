// The conversion for processors with AVX-512 (F, BW and VBMI): 64 pixels per step, two vectors
// of 32 16-bit lanes per channel, the same arithmetic as the plain code (conversion_rows.h). The
// tone table is looked up with byte permutes, 128 entries at a time, and the B,G,R bytes are
// interleaved with them as well. Built with -mavx512f -mavx512bw -mavx512vbmi and called only
// when the processor has them; nothing from the standard library is instantiated here, so no
// code built for AVX-512 can stand in for a plain function elsewhere.
#include <immintrin.h>

#include "devices/kercol/conversion.h"
#include "devices/kercol/conversion_steps.h"

namespace kercol {

namespace {

// Byte permute indices. A channel's 64 bytes of a step come in one of two layouts: its 32 even
// columns then its 32 odd ones (`kPlanes`), or, as the byte pack leaves them, 8 even then 8 odd
// columns in each 16 bytes (`kPacked`).
enum Layout { kPlanes, kPacked };

constexpr int positionOf(Layout layout, int pixel) {
    const int pair = pixel / 2, odd = pixel % 2;
    return layout == kPlanes ? 32 * odd + pair : 16 * (pair / 8) + 8 * odd + pair % 8;
}

struct Indices {
    alignas(64) std::uint8_t lowBytes[64];  // the low byte of each 16-bit lane of two vectors
    alignas(64) std::uint8_t highBytes[64]; // the high byte of each
    // Per layout and output block: B (0..63) and G (64..127), then R and the bytes that are R.
    alignas(64) std::uint8_t twoChannels[2][3][64];
    alignas(64) std::uint8_t third[2][3][64];
    std::uint64_t thirdMask[2][3];
};

consteval Indices makeIndices() {
    Indices s{};
    for (int i = 0; i < 64; ++i) {
        s.lowBytes[i] = static_cast<std::uint8_t>(2 * i);
        s.highBytes[i] = static_cast<std::uint8_t>(2 * i + 1);
    }
    for (int layout = kPlanes; layout <= kPacked; ++layout)
        for (int block = 0; block < 3; ++block) {
            s.thirdMask[layout][block] = 0;
            for (int j = 0; j < 64; ++j) {
                const int at = 64 * block + j;
                const int from = positionOf(Layout(layout), at / 3);
                switch (at % 3) {
                case 0:
                    s.twoChannels[layout][block][j] = static_cast<std::uint8_t>(from);
                    break;
                case 1:
                    s.twoChannels[layout][block][j] = static_cast<std::uint8_t>(64 + from);
                    break;
                default:
                    s.third[layout][block][j] = static_cast<std::uint8_t>(from);
                    s.thirdMask[layout][block] |= std::uint64_t(1) << j;
                    break;
                }
            }
        }
    return s;
}

constexpr Indices kIndices = makeIndices();

KERCOL_INLINE __m512i loadIndices(const std::uint8_t* p) {
    return _mm512_load_si512(p);
}

struct Ops {
    using V = __m512i;
    KERCOL_INLINE static __m512i add(__m512i a, __m512i b) { return _mm512_add_epi16(a, b); }
    KERCOL_INLINE static __m512i sub(__m512i a, __m512i b) { return _mm512_sub_epi16(a, b); }
    KERCOL_INLINE static __m512i shl(__m512i v, unsigned bits) {
        return _mm512_slli_epi16(v, bits);
    }
};
using Sums = Neighbourhood<Ops>;

KERCOL_INLINE __m512i add(__m512i a, __m512i b) {
    return _mm512_add_epi16(a, b);
}
KERCOL_INLINE __m512i sub(__m512i a, __m512i b) {
    return _mm512_sub_epi16(a, b);
}

KERCOL_INLINE __m512i sum(__m512i p, __m512i q, __m512i s) {
    return add(add(p, q), s);
}

// A sum of the matrix into the tone table's range.
KERCOL_INLINE __m512i clampTone(__m512i v) {
    return _mm512_min_epi16(_mm512_max_epi16(v, _mm512_setzero_si512()),
                            _mm512_set1_epi16(kToneEntries - 1));
}

// One output channel for 16 lanes: (m0 r + m1 g) + m2 b + 1/2, truncated and clamped, in the
// order the plain code adds (the build forbids fused multiply-adds).
KERCOL_INLINE __m256i floatChannel(const __m512* m, __m512 r, __m512 g, __m512 b) {
    const __m512 sum =
        _mm512_add_ps(_mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(m[0], r), _mm512_mul_ps(m[1], g)),
                                    _mm512_mul_ps(m[2], b)),
                      _mm512_set1_ps(0.5f));
    const __m512i v =
        _mm512_min_epi32(_mm512_max_epi32(_mm512_cvttps_epi32(sum), _mm512_setzero_si512()),
                         _mm512_set1_epi32(kToneEntries - 1));
    return _mm512_cvtepi32_epi16(v);
}

KERCOL_INLINE __m512 lowFloats(__m512i v) {
    return _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm512_castsi512_si256(v)));
}
KERCOL_INLINE __m512 highFloats(__m512i v) {
    return _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(v, 1)));
}

KERCOL_INLINE __m512i join(__m256i low, __m256i high) {
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}

struct Kernel {
    static constexpr std::ptrdiff_t kStep = 64;
    static constexpr std::ptrdiff_t kSegmentSteps = 8;
    static constexpr std::ptrdiff_t kLanes = 32;
    // Plane entries: a segment's column pairs and one more on either side, whole vectors.
    static constexpr std::ptrdiff_t kPlane = kSegmentSteps * kLanes + kLanes;

    struct Constants {
        __m512i shortMatrix[9];
        __m512 matrix[9];
        __m512i black;
        // The tone table as 8 pairs of 64-byte vectors (128 entries each).
        __m512i tone[16];

        explicit Constants(const ConversionTables& t) {
            for (int i = 0; i < 9; ++i) {
                shortMatrix[i] = _mm512_set1_epi16(t.shortMatrix[i]);
                matrix[i] = _mm512_set1_ps(t.matrix[i]);
            }
            black = _mm512_set1_epi16(t.black);
            for (int i = 0; i < 16; ++i)
                tone[i] = _mm512_loadu_si512(t.toneBytes + 64 * i);
        }
    };

    KERCOL_INLINE static void matrixShort(const Constants& k, __m512i& r, __m512i& g, __m512i& b) {
        const __m512i* m = k.shortMatrix;
        const __m512i rr = sub(r, k.black), gg = sub(g, k.black), bb = sub(b, k.black);
        r = sum(_mm512_mulhrs_epi16(rr, m[0]), _mm512_mulhrs_epi16(gg, m[1]),
                _mm512_mulhrs_epi16(bb, m[2]));
        g = sum(_mm512_mulhrs_epi16(rr, m[3]), _mm512_mulhrs_epi16(gg, m[4]),
                _mm512_mulhrs_epi16(bb, m[5]));
        b = sum(_mm512_mulhrs_epi16(rr, m[6]), _mm512_mulhrs_epi16(gg, m[7]),
                _mm512_mulhrs_epi16(bb, m[8]));
    }

    KERCOL_INLINE static void matrixFloat(const Constants& k, __m512i& r, __m512i& g, __m512i& b) {
        const __m512i rr = sub(r, k.black), gg = sub(g, k.black), bb = sub(b, k.black);
        const __m512 rl = lowFloats(rr), gl = lowFloats(gg), bl = lowFloats(bb);
        const __m512 rh = highFloats(rr), gh = highFloats(gg), bh = highFloats(bb);
        const __m512* m = k.matrix;
        r = join(floatChannel(m, rl, gl, bl), floatChannel(m, rh, gh, bh));
        g = join(floatChannel(m + 3, rl, gl, bl), floatChannel(m + 3, rh, gh, bh));
        b = join(floatChannel(m + 6, rl, gl, bl), floatChannel(m + 6, rh, gh, bh));
    }

    // A channel's matrix sums (even and odd columns) to its 64 output bytes without gamma, in the
    // packed layout: plain rounding of the clamped sum to a whole step. The shift of a saturated
    // sum and the pack's saturation give that clamp.
    KERCOL_INLINE static __m512i toneLinear(__m512i even, __m512i odd) {
        const auto step = [](__m512i v) {
            return _mm512_srai_epi16(_mm512_adds_epi16(v, _mm512_set1_epi16(2)), kToneBits);
        };
        return _mm512_packus_epi16(step(even), step(odd));
    }

    // The same through the tone table (the layout of planes), from sums already clamped.
    KERCOL_INLINE static __m512i toneGamma(const __m512i* tone, __m512i even, __m512i odd) {
        // Bits 0..6 of each index pick an entry within a block of 128 (the permute ignores
        // bit 7); bits 7..9 pick the block.
        const __m512i entry = _mm512_permutex2var_epi8(even, loadIndices(kIndices.lowBytes), odd);
        const __m512i block = _mm512_permutex2var_epi8(
            Ops::shl(even, 1), loadIndices(kIndices.highBytes), Ops::shl(odd, 1));
        const __mmask64 bit0 = _mm512_test_epi8_mask(block, _mm512_set1_epi8(1));
        const __mmask64 bit1 = _mm512_test_epi8_mask(block, _mm512_set1_epi8(2));
        const __mmask64 bit2 = _mm512_test_epi8_mask(block, _mm512_set1_epi8(4));
        __m512i from[8];
        for (int j = 0; j < 8; ++j)
            from[j] = _mm512_permutex2var_epi8(tone[2 * j], entry, tone[2 * j + 1]);
        const __m512i b01 = _mm512_mask_blend_epi8(bit0, from[0], from[1]);
        const __m512i b23 = _mm512_mask_blend_epi8(bit0, from[2], from[3]);
        const __m512i b45 = _mm512_mask_blend_epi8(bit0, from[4], from[5]);
        const __m512i b67 = _mm512_mask_blend_epi8(bit0, from[6], from[7]);
        const __m512i b03 = _mm512_mask_blend_epi8(bit1, b01, b23);
        const __m512i b47 = _mm512_mask_blend_epi8(bit1, b45, b67);
        return _mm512_mask_blend_epi8(bit2, b03, b47);
    }

    // Writes 64 pixels as B, G, R bytes from channels in the given layout.
    template <Layout L>
    KERCOL_INLINE static void storePixels(std::uint8_t* out, __m512i r, __m512i g, __m512i b) {
        for (int block = 0; block < 3; ++block) {
            const __m512i bg =
                _mm512_permutex2var_epi8(b, loadIndices(kIndices.twoChannels[L][block]), g);
            const __m512i v = _mm512_mask_permutexvar_epi8(
                bg, kIndices.thirdMask[L][block], loadIndices(kIndices.third[L][block]), r);
            _mm512_storeu_si512(out + 64 * block, v);
        }
    }

    template <bool BgRow, bool ShortPath, bool Linear>
    static void segment(const Constants& k, const std::uint8_t* top, std::ptrdiff_t w,
                        std::ptrdiff_t x, std::ptrdiff_t steps, std::uint8_t* out) {
        // Column pair i of the planes is output columns x - 2 + 2i and x - 1 + 2i, frame
        // columns x + 2i and x + 1 + 2i. Centre row, rows one away summed, rows two away summed.
        alignas(64) std::int16_t ce[kPlane], co[kPlane], v1e[kPlane], v1o[kPlane], v2e[kPlane],
            v2o[kPlane];
        const __m512i lowByte = _mm512_set1_epi16(0xFF);
        const auto spread = [&](std::ptrdiff_t i, __mmask64 bytes) {
            const std::uint8_t* at = top + x + 2 * i;
            __m512i row[5];
            for (int j = 0; j < 5; ++j)
                row[j] = _mm512_maskz_loadu_epi8(bytes, at + j * w);
            const auto even = [&](int j) { return _mm512_and_si512(row[j], lowByte); };
            const auto odd = [&](int j) { return _mm512_srli_epi16(row[j], 8); };
            _mm512_store_si512(ce + i, even(2));
            _mm512_store_si512(co + i, odd(2));
            _mm512_store_si512(v1e + i, add(even(1), even(3)));
            _mm512_store_si512(v1o + i, add(odd(1), odd(3)));
            _mm512_store_si512(v2e + i, add(even(0), even(4)));
            _mm512_store_si512(v2o + i, add(odd(0), odd(4)));
        };
        for (std::ptrdiff_t s = 0; s < steps; ++s)
            spread(s * kLanes, ~__mmask64(0));
        // The two pairs right of the last step.
        spread(steps * kLanes, 0xF);

        const auto at = [](const std::int16_t* plane, std::ptrdiff_t i) {
            return _mm512_loadu_si512(plane + i);
        };
        for (std::ptrdiff_t s = 0; s < steps; ++s) {
            const std::ptrdiff_t i = s * kLanes + 1;
            const __m512i ceL = at(ce, i - 1), ceC = at(ce, i), ceR = at(ce, i + 1);
            const __m512i coL = at(co, i - 1), coC = at(co, i), coR = at(co, i + 1);
            const __m512i v1eC = at(v1e, i), v1eR = at(v1e, i + 1);
            const __m512i v1oL = at(v1o, i - 1), v1oC = at(v1o, i);
            const Sums even{ceC, add(coL, coC), add(ceL, ceR), v1eC, at(v2e, i), add(v1oL, v1oC)};
            const Sums odd{coC, add(ceC, ceR), add(coL, coR), v1oC, at(v2o, i), add(v1eC, v1eR)};
            __m512i r[2], g[2], b[2];
            demosaicPlanes<BgRow>(even, odd, r, g, b);
            for (int p = 0; p < 2; ++p) {
                if constexpr (ShortPath)
                    matrixShort(k, r[p], g[p], b[p]);
                else
                    matrixFloat(k, r[p], g[p], b[p]);
            }
            std::uint8_t* to = out + 3 * (x + s * kStep);
            if constexpr (Linear) {
                storePixels<kPacked>(to, toneLinear(r[0], r[1]), toneLinear(g[0], g[1]),
                                     toneLinear(b[0], b[1]));
            } else {
                for (int p = 0; p < 2; ++p) {
                    r[p] = clampTone(r[p]);
                    g[p] = clampTone(g[p]);
                    b[p] = clampTone(b[p]);
                }
                storePixels<kPlanes>(to, toneGamma(k.tone, r[0], r[1]),
                                     toneGamma(k.tone, g[0], g[1]), toneGamma(k.tone, b[0], b[1]));
            }
        }
    }
};

} // namespace

// Interleaving is bound by memory, where 64-byte accesses across cache lines lose against the
// AVX2 code (measured in bench_colour), so the AVX-512 path uses that.
void bunchedRowAvx512(const std::uint8_t* even, const std::uint8_t* oddCols, std::uint8_t* out,
                      std::size_t half) {
    bunchedRowAvx2(even, oddCols, out, half);
}

std::ptrdiff_t convertRowAvx512(const ConversionTables& tables, const std::uint8_t* bayer,
                                std::uint8_t* bgr, std::ptrdiff_t w, std::ptrdiff_t y) {
    // Rows narrower than a step still gain from the shorter steps of the AVX2 code.
    if (w - 4 < Kernel::kStep)
        return convertRowAvx2(tables, bayer, bgr, w, y);
    return convertRowWith<Kernel>(tables, bayer, bgr, w, y);
}

} // namespace kercol
