// The conversion for processors with AVX-512 (F, BW and VBMI): 64 pixels per step, two vectors
// of 32 16-bit lanes per channel, the same arithmetic as the plain code (conversion_rows.h). The
// tone table is looked up with byte permutes, 128 entries at a time, and the B,G,R bytes are
// interleaved with them as well. Built with -mavx512f -mavx512bw -mavx512vbmi and called only
// when the processor has them; nothing from the standard library is instantiated here, so no
// code built for AVX-512 can stand in for a plain function elsewhere.
#include <immintrin.h>

#include "devices/kercol/conversion.h"

namespace kercol {

namespace {

constexpr std::ptrdiff_t kStep = 64;
constexpr std::ptrdiff_t kLanes = 32;

// Byte permute indices.
struct Indices {
    alignas(64) std::uint8_t lowBytes[64];       // the low byte of each 16-bit lane of two vectors
    alignas(64) std::uint8_t highBytes[64];      // the high byte of each
    alignas(64) std::uint8_t twoChannels[3][64]; // B (0..63) and G (64..127) of each output block
    alignas(64) std::uint8_t third[3][64];       // R of each output block
    std::uint64_t thirdMask[3];                  // the bytes of each block that are R
    alignas(64) std::uint8_t bayerLow[64];       // bunched halves into Bayer, first 64 bytes
    alignas(64) std::uint8_t bayerHigh[64];      // and the next 64
};

consteval Indices makeIndices() {
    Indices s{};
    for (int i = 0; i < 64; ++i) {
        s.lowBytes[i] = static_cast<std::uint8_t>(2 * i);
        s.highBytes[i] = static_cast<std::uint8_t>(2 * i + 1);
        s.bayerLow[i] = static_cast<std::uint8_t>(i % 2 == 0 ? i / 2 : 64 + i / 2);
        s.bayerHigh[i] = static_cast<std::uint8_t>(i % 2 == 0 ? 32 + i / 2 : 96 + i / 2);
    }
    for (int block = 0; block < 3; ++block) {
        s.thirdMask[block] = 0;
        for (int j = 0; j < 64; ++j) {
            const int at = 64 * block + j;
            const int pixel = at / 3;
            switch (at % 3) {
            case 0:
                s.twoChannels[block][j] = static_cast<std::uint8_t>(pixel);
                break;
            case 1:
                s.twoChannels[block][j] = static_cast<std::uint8_t>(64 + pixel);
                break;
            default:
                s.third[block][j] = static_cast<std::uint8_t>(pixel);
                s.thirdMask[block] |= std::uint64_t(1) << j;
                break;
            }
        }
    }
    return s;
}

constexpr Indices kIndices = makeIndices();

inline __m512i loadIndices(const std::uint8_t* p) {
    return _mm512_load_si512(p);
}

inline __m512i load32(const std::uint8_t* p) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}

inline __m512i shl(__m512i v, unsigned bits) {
    return _mm512_slli_epi16(v, bits);
}
inline __m512i add(__m512i a, __m512i b) {
    return _mm512_add_epi16(a, b);
}
inline __m512i sub(__m512i a, __m512i b) {
    return _mm512_sub_epi16(a, b);
}

// Odd lanes from `ifOdd`, even lanes from `ifEven`; a step starts at an even column.
inline __m512i oddEven(__m512i ifOdd, __m512i ifEven) {
    return _mm512_mask_blend_epi16(0xAAAAAAAAu, ifEven, ifOdd);
}

// The demosaic kernels of demosaicRow for 32 columns.
template <bool BgRow>
inline void demosaic(const std::uint8_t* m2, const std::uint8_t* m1, const std::uint8_t* c0,
                     const std::uint8_t* p1, const std::uint8_t* p2, __m512i& r, __m512i& g,
                     __m512i& b) {
    const __m512i c = load32(c0);
    const __m512i h1 = add(load32(c0 - 1), load32(c0 + 1));
    const __m512i h2 = add(load32(c0 - 2), load32(c0 + 2));
    const __m512i v1 = add(load32(m1), load32(p1));
    const __m512i v2 = add(load32(m2), load32(p2));
    const __m512i d = add(add(load32(m1 - 1), load32(m1 + 1)), add(load32(p1 - 1), load32(p1 + 1)));
    const __m512i own = shl(c, 4);
    const __m512i s1 = add(h1, v1);
    const __m512i s2 = add(h2, v2);
    const __m512i c8 = shl(c, 3);
    // 8c + 4(h1 + v1) - 2(h2 + v2)
    const __m512i green = sub(add(c8, shl(s1, 2)), shl(s2, 1));
    // 10c - 2d, shared by the two kernels at green sites
    const __m512i common = sub(add(c8, shl(c, 1)), shl(d, 1));
    const __m512i across = add(add(common, v2), sub(shl(h1, 3), shl(h2, 1)));
    const __m512i upDown = add(add(common, h2), sub(shl(v1, 3), shl(v2, 1)));
    // 12c + 4d - 3(h2 + v2)
    const __m512i diagonal = sub(add(add(c8, shl(c, 2)), shl(d, 2)), add(s2, shl(s2, 1)));
    if constexpr (!BgRow) {
        r = oddEven(own, across);
        g = oddEven(green, own);
        b = oddEven(diagonal, upDown);
    } else {
        r = oddEven(upDown, diagonal);
        g = oddEven(own, green);
        b = oddEven(across, own);
    }
}

struct Constants {
    __m512i shortMatrix[9];
    __m512 matrix[9];
    __m512i black;
    // The tone table as 8 pairs of 64-byte vectors (128 entries each).
    __m512i tone[16];
};

inline __m512i clampSum(__m512i p, __m512i q, __m512i s) {
    const __m512i v = add(add(p, q), s);
    return _mm512_min_epi16(_mm512_max_epi16(v, _mm512_setzero_si512()),
                            _mm512_set1_epi16(kToneEntries - 1));
}

inline void matrixShort(const Constants& k, __m512i& r, __m512i& g, __m512i& b) {
    const __m512i* m = k.shortMatrix;
    const __m512i rr = sub(r, k.black), gg = sub(g, k.black), bb = sub(b, k.black);
    r = clampSum(_mm512_mulhrs_epi16(rr, m[0]), _mm512_mulhrs_epi16(gg, m[1]),
                 _mm512_mulhrs_epi16(bb, m[2]));
    g = clampSum(_mm512_mulhrs_epi16(rr, m[3]), _mm512_mulhrs_epi16(gg, m[4]),
                 _mm512_mulhrs_epi16(bb, m[5]));
    b = clampSum(_mm512_mulhrs_epi16(rr, m[6]), _mm512_mulhrs_epi16(gg, m[7]),
                 _mm512_mulhrs_epi16(bb, m[8]));
}

// One output channel for 16 lanes: (m0 r + m1 g) + m2 b + 1/2, truncated and clamped, in the
// order the plain code adds (the build forbids fused multiply-adds).
inline __m256i floatChannel(const __m512* m, __m512 r, __m512 g, __m512 b) {
    const __m512 sum =
        _mm512_add_ps(_mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(m[0], r), _mm512_mul_ps(m[1], g)),
                                    _mm512_mul_ps(m[2], b)),
                      _mm512_set1_ps(0.5f));
    const __m512i v =
        _mm512_min_epi32(_mm512_max_epi32(_mm512_cvttps_epi32(sum), _mm512_setzero_si512()),
                         _mm512_set1_epi32(kToneEntries - 1));
    return _mm512_cvtepi32_epi16(v);
}

inline __m512 lowFloats(__m512i v) {
    return _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm512_castsi512_si256(v)));
}
inline __m512 highFloats(__m512i v) {
    return _mm512_cvtepi32_ps(_mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(v, 1)));
}

inline __m512i join(__m256i low, __m256i high) {
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}

inline void matrixFloat(const Constants& k, __m512i& r, __m512i& g, __m512i& b) {
    const __m512i rr = sub(r, k.black), gg = sub(g, k.black), bb = sub(b, k.black);
    const __m512 rl = lowFloats(rr), gl = lowFloats(gg), bl = lowFloats(bb);
    const __m512 rh = highFloats(rr), gh = highFloats(gg), bh = highFloats(bb);
    const __m512* m = k.matrix;
    r = join(floatChannel(m, rl, gl, bl), floatChannel(m, rh, gh, bh));
    g = join(floatChannel(m + 3, rl, gl, bl), floatChannel(m + 3, rh, gh, bh));
    b = join(floatChannel(m + 6, rl, gl, bl), floatChannel(m + 6, rh, gh, bh));
}

// 64 tone indices (two vectors of 32 lanes, 0..1023) to 64 output bytes in order.
inline __m512i toneLinear(__m512i low, __m512i high) {
    const auto step = [](__m512i v) {
        const __m512i s = _mm512_srli_epi16(add(v, _mm512_set1_epi16(2)), kToneBits);
        return _mm512_min_epi16(s, _mm512_set1_epi16(255));
    };
    return _mm512_permutex2var_epi8(step(low), loadIndices(kIndices.lowBytes), step(high));
}

inline __m512i toneGamma(const __m512i* tone, __m512i low, __m512i high) {
    // Bits 0..6 of each index pick an entry within a block of 128 (the permute ignores bit 7);
    // bits 7..9 pick the block.
    const __m512i entry = _mm512_permutex2var_epi8(low, loadIndices(kIndices.lowBytes), high);
    const __m512i block =
        _mm512_permutex2var_epi8(shl(low, 1), loadIndices(kIndices.highBytes), shl(high, 1));
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

// Writes 64 pixels as B, G, R bytes.
inline void storePixels(std::uint8_t* out, __m512i r, __m512i g, __m512i b) {
    for (int block = 0; block < 3; ++block) {
        const __m512i bg = _mm512_permutex2var_epi8(b, loadIndices(kIndices.twoChannels[block]), g);
        const __m512i v = _mm512_mask_permutexvar_epi8(bg, kIndices.thirdMask[block],
                                                       loadIndices(kIndices.third[block]), r);
        _mm512_storeu_si512(out + 64 * block, v);
    }
}

template <bool BgRow, bool ShortPath, bool Linear>
std::ptrdiff_t convertRow(const ConversionTables& t, const std::uint8_t* bayer, std::uint8_t* bgr,
                          std::ptrdiff_t w, std::ptrdiff_t y) {
    const std::ptrdiff_t ow = w - 4;
    if (ow < kStep)
        return 0;
    Constants k;
    for (int i = 0; i < 9; ++i) {
        k.shortMatrix[i] = _mm512_set1_epi16(t.shortMatrix[i]);
        k.matrix[i] = _mm512_set1_ps(t.matrix[i]);
    }
    k.black = _mm512_set1_epi16(t.black);
    for (int i = 0; i < 16; ++i)
        k.tone[i] = _mm512_loadu_si512(t.toneBytes + 64 * i);
    const std::uint8_t* m2 = bayer + y * w + 2;
    const std::uint8_t* m1 = m2 + w;
    const std::uint8_t* c0 = m1 + w;
    const std::uint8_t* p1 = c0 + w;
    const std::uint8_t* p2 = p1 + w;
    std::uint8_t* out = bgr + y * ow * 3;
    // The last step may overlap the one before; it writes the same bytes there again. Steps
    // start at even columns so that lane parity is column parity.
    const std::ptrdiff_t last = (ow - kStep) & ~std::ptrdiff_t(1);
    for (std::ptrdiff_t x = 0;; x += kStep) {
        if (x > last)
            x = last;
        __m512i r[2], g[2], b[2];
        for (int half = 0; half < 2; ++half) {
            const std::ptrdiff_t at = x + half * kLanes;
            demosaic<BgRow>(m2 + at, m1 + at, c0 + at, p1 + at, p2 + at, r[half], g[half], b[half]);
            if constexpr (ShortPath)
                matrixShort(k, r[half], g[half], b[half]);
            else
                matrixFloat(k, r[half], g[half], b[half]);
        }
        if constexpr (Linear)
            storePixels(out + 3 * x, toneLinear(r[0], r[1]), toneLinear(g[0], g[1]),
                        toneLinear(b[0], b[1]));
        else
            storePixels(out + 3 * x, toneGamma(k.tone, r[0], r[1]), toneGamma(k.tone, g[0], g[1]),
                        toneGamma(k.tone, b[0], b[1]));
        if (x == last)
            break;
    }
    return last + kStep;
}

template <bool BgRow>
std::ptrdiff_t convertRowOf(const ConversionTables& t, const std::uint8_t* bayer, std::uint8_t* bgr,
                            std::ptrdiff_t w, std::ptrdiff_t y) {
    if (t.shortMatrixFits)
        return t.linearTone ? convertRow<BgRow, true, true>(t, bayer, bgr, w, y)
                            : convertRow<BgRow, true, false>(t, bayer, bgr, w, y);
    return t.linearTone ? convertRow<BgRow, false, true>(t, bayer, bgr, w, y)
                        : convertRow<BgRow, false, false>(t, bayer, bgr, w, y);
}

} // namespace

void bunchedRowAvx512(const std::uint8_t* even, const std::uint8_t* oddCols, std::uint8_t* out,
                      std::size_t half) {
    constexpr std::size_t kPairs = 64;
    if (half < kPairs) {
        bunchedRowAvx2(even, oddCols, out, half);
        return;
    }
    const __m512i low = loadIndices(kIndices.bayerLow);
    const __m512i high = loadIndices(kIndices.bayerHigh);
    // As in the conversion, the last step may overlap the one before.
    for (std::size_t k = 0;; k += kPairs) {
        if (k > half - kPairs)
            k = half - kPairs;
        const __m512i e = _mm512_loadu_si512(even + k);
        const __m512i o = _mm512_loadu_si512(oddCols + k);
        _mm512_storeu_si512(out + 2 * k, _mm512_permutex2var_epi8(e, low, o));
        _mm512_storeu_si512(out + 2 * k + 64, _mm512_permutex2var_epi8(e, high, o));
        if (k == half - kPairs)
            break;
    }
}

std::ptrdiff_t convertRowAvx512(const ConversionTables& tables, const std::uint8_t* bayer,
                                std::uint8_t* bgr, std::ptrdiff_t w, std::ptrdiff_t y) {
    // Output row y is frame row y + 2: same parity, and frame row 0 is G R G R.
    return (y & 1) == 0 ? convertRowOf<false>(tables, bayer, bgr, w, y)
                        : convertRowOf<true>(tables, bayer, bgr, w, y);
}

} // namespace kercol
