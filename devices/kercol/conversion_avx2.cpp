// The conversion for processors with AVX2: 16 pixels per step in 16-bit lanes, the same arithmetic
// as the plain code (conversion_rows.h), so that both give the same bytes. Built with -mavx2 and
// called only when the processor has it; nothing from the standard library is instantiated
// here, so no code built for AVX2 can stand in for a plain function elsewhere.
#include <immintrin.h>

#include "devices/kercol/conversion.h"

namespace kercol {

namespace {

constexpr std::ptrdiff_t kStep = 16;

inline __m256i load16(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

inline __m256i shl(__m256i v, int bits) {
    return _mm256_slli_epi16(v, bits);
}

// Odd lanes from `ifOdd`, even lanes from `ifEven`; a step starts at an even column.
inline __m256i oddEven(__m256i ifOdd, __m256i ifEven) {
    return _mm256_blend_epi16(ifEven, ifOdd, 0xAA);
}

// The demosaic kernels of demosaicRow for 16 columns from `x`.
template <bool BgRow>
inline void demosaic(const std::uint8_t* m2, const std::uint8_t* m1, const std::uint8_t* c0,
                     const std::uint8_t* p1, const std::uint8_t* p2, __m256i& r, __m256i& g,
                     __m256i& b) {
    const __m256i c = load16(c0);
    const __m256i h1 = _mm256_add_epi16(load16(c0 - 1), load16(c0 + 1));
    const __m256i h2 = _mm256_add_epi16(load16(c0 - 2), load16(c0 + 2));
    const __m256i v1 = _mm256_add_epi16(load16(m1), load16(p1));
    const __m256i v2 = _mm256_add_epi16(load16(m2), load16(p2));
    const __m256i d = _mm256_add_epi16(_mm256_add_epi16(load16(m1 - 1), load16(m1 + 1)),
                                       _mm256_add_epi16(load16(p1 - 1), load16(p1 + 1)));
    const __m256i own = shl(c, 4);
    const __m256i s1 = _mm256_add_epi16(h1, v1);
    const __m256i s2 = _mm256_add_epi16(h2, v2);
    const __m256i c8 = shl(c, 3);
    // 8c + 4(h1 + v1) - 2(h2 + v2)
    const __m256i green = _mm256_sub_epi16(_mm256_add_epi16(c8, shl(s1, 2)), shl(s2, 1));
    // 10c - 2d, shared by the two kernels at green sites
    const __m256i common = _mm256_sub_epi16(_mm256_add_epi16(c8, shl(c, 1)), shl(d, 1));
    const __m256i across =
        _mm256_add_epi16(_mm256_add_epi16(common, v2), _mm256_sub_epi16(shl(h1, 3), shl(h2, 1)));
    const __m256i upDown =
        _mm256_add_epi16(_mm256_add_epi16(common, h2), _mm256_sub_epi16(shl(v1, 3), shl(v2, 1)));
    // 12c + 4d - 3(h2 + v2)
    const __m256i diagonal =
        _mm256_sub_epi16(_mm256_add_epi16(_mm256_add_epi16(c8, shl(c, 2)), shl(d, 2)),
                         _mm256_add_epi16(s2, shl(s2, 1)));
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

struct ShortMatrix {
    __m256i m[9];
    __m256i black;
    __m256i toneMax;
};

inline __m256i clampSum(__m256i p, __m256i q, __m256i s, __m256i toneMax) {
    const __m256i v = _mm256_add_epi16(_mm256_add_epi16(p, q), s);
    return _mm256_min_epi16(_mm256_max_epi16(v, _mm256_setzero_si256()), toneMax);
}

inline void matrixShort(const ShortMatrix& k, __m256i& r, __m256i& g, __m256i& b) {
    const __m256i rr = _mm256_sub_epi16(r, k.black);
    const __m256i gg = _mm256_sub_epi16(g, k.black);
    const __m256i bb = _mm256_sub_epi16(b, k.black);
    r = clampSum(_mm256_mulhrs_epi16(rr, k.m[0]), _mm256_mulhrs_epi16(gg, k.m[1]),
                 _mm256_mulhrs_epi16(bb, k.m[2]), k.toneMax);
    g = clampSum(_mm256_mulhrs_epi16(rr, k.m[3]), _mm256_mulhrs_epi16(gg, k.m[4]),
                 _mm256_mulhrs_epi16(bb, k.m[5]), k.toneMax);
    b = clampSum(_mm256_mulhrs_epi16(rr, k.m[6]), _mm256_mulhrs_epi16(gg, k.m[7]),
                 _mm256_mulhrs_epi16(bb, k.m[8]), k.toneMax);
}

struct FloatMatrix {
    __m256 m[9];
    __m256i black;
};

// One output channel for 8 lanes: (m0 r + m1 g) + m2 b + 1/2, truncated and clamped, in the
// order the plain code adds (the build forbids fused multiply-adds).
inline __m256i floatChannel(const __m256* m, __m256 r, __m256 g, __m256 b) {
    const __m256 sum =
        _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(m[0], r), _mm256_mul_ps(m[1], g)),
                                    _mm256_mul_ps(m[2], b)),
                      _mm256_set1_ps(0.5f));
    const __m256i v = _mm256_cvttps_epi32(sum);
    return _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()),
                            _mm256_set1_epi32(kToneEntries - 1));
}

inline __m256 lowFloats(__m256i v) {
    return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm256_castsi256_si128(v)));
}
inline __m256 highFloats(__m256i v) {
    return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(_mm256_extracti128_si256(v, 1)));
}

// Two vectors of 8 32-bit values back into 16 16-bit lanes, in order.
inline __m256i pack32(__m256i low, __m256i high) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8);
}

inline void matrixFloat(const FloatMatrix& k, __m256i& r, __m256i& g, __m256i& b) {
    const __m256i rr = _mm256_sub_epi16(r, k.black);
    const __m256i gg = _mm256_sub_epi16(g, k.black);
    const __m256i bb = _mm256_sub_epi16(b, k.black);
    const __m256 rl = lowFloats(rr), gl = lowFloats(gg), bl = lowFloats(bb);
    const __m256 rh = highFloats(rr), gh = highFloats(gg), bh = highFloats(bb);
    r = pack32(floatChannel(k.m, rl, gl, bl), floatChannel(k.m, rh, gh, bh));
    g = pack32(floatChannel(k.m + 3, rl, gl, bl), floatChannel(k.m + 3, rh, gh, bh));
    b = pack32(floatChannel(k.m + 6, rl, gl, bl), floatChannel(k.m + 6, rh, gh, bh));
}

// Tone table indices to output bytes (still in 16-bit lanes).
inline __m256i toneLinear(__m256i v) {
    const __m256i step = _mm256_srli_epi16(_mm256_add_epi16(v, _mm256_set1_epi16(2)), kToneBits);
    return _mm256_min_epi16(step, _mm256_set1_epi16(255));
}

inline __m256i toneGamma(const std::uint32_t* tone, __m256i v) {
    const int* table = reinterpret_cast<const int*>(tone);
    const __m256i low =
        _mm256_i32gather_epi32(table, _mm256_cvtepu16_epi32(_mm256_castsi256_si128(v)), 4);
    const __m256i high =
        _mm256_i32gather_epi32(table, _mm256_cvtepu16_epi32(_mm256_extracti128_si256(v, 1)), 4);
    return pack32(low, high);
}

// Shuffle masks that spread 16 B, G or R bytes over the 48 bytes of 16 B,G,R pixels.
struct Spread {
    alignas(16) std::uint8_t mask[3][3][16]; // [output block][channel][byte]
};

consteval Spread makeSpread() {
    Spread s{};
    for (int block = 0; block < 3; ++block)
        for (int channel = 0; channel < 3; ++channel)
            for (int j = 0; j < 16; ++j) {
                const int at = 16 * block + j;
                s.mask[block][channel][j] =
                    at % 3 == channel ? static_cast<std::uint8_t>(at / 3) : 0x80;
            }
    return s;
}

constexpr Spread kSpread = makeSpread();

inline __m128i spreadMask(int block, int channel) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kSpread.mask[block][channel]));
}

// Writes 16 pixels as B, G, R bytes from their 16-bit lanes (0..255).
inline void storePixels(std::uint8_t* out, __m256i r, __m256i g, __m256i b) {
    const __m256i bg = _mm256_permute4x64_epi64(_mm256_packus_epi16(b, g), 0xD8);
    const __m128i bx = _mm256_castsi256_si128(bg);
    const __m128i gx = _mm256_extracti128_si256(bg, 1);
    const __m128i rx =
        _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(r, r), 0xD8));
    for (int block = 0; block < 3; ++block) {
        const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(bx, spreadMask(block, 0)),
                                                    _mm_shuffle_epi8(gx, spreadMask(block, 1))),
                                       _mm_shuffle_epi8(rx, spreadMask(block, 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * block), v);
    }
}

template <bool BgRow, bool ShortPath, bool Linear>
std::ptrdiff_t convertRow(const ConversionTables& t, const std::uint8_t* bayer, std::uint8_t* bgr,
                          std::ptrdiff_t w, std::ptrdiff_t y) {
    const std::ptrdiff_t ow = w - 4;
    if (ow < kStep)
        return 0;
    ShortMatrix sm;
    FloatMatrix fm;
    for (int i = 0; i < 9; ++i) {
        sm.m[i] = _mm256_set1_epi16(t.shortMatrix[i]);
        fm.m[i] = _mm256_set1_ps(t.matrix[i]);
    }
    sm.black = fm.black = _mm256_set1_epi16(t.black);
    sm.toneMax = _mm256_set1_epi16(kToneEntries - 1);
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
        __m256i r, g, b;
        demosaic<BgRow>(m2 + x, m1 + x, c0 + x, p1 + x, p2 + x, r, g, b);
        if constexpr (ShortPath)
            matrixShort(sm, r, g, b);
        else
            matrixFloat(fm, r, g, b);
        if constexpr (Linear) {
            r = toneLinear(r);
            g = toneLinear(g);
            b = toneLinear(b);
        } else {
            r = toneGamma(t.tone, r);
            g = toneGamma(t.tone, g);
            b = toneGamma(t.tone, b);
        }
        storePixels(out + 3 * x, r, g, b);
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
    // Output row y is frame row y + 2: same parity, and frame row 0 is G R G R.
    return (y & 1) == 0 ? convertRowOf<false>(tables, bayer, bgr, w, y)
                        : convertRowOf<true>(tables, bayer, bgr, w, y);
}

} // namespace kercol
