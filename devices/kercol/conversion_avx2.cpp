// The conversion for processors with AVX2: the steps of conversion_steps.h with 16 16-bit lanes
// per vector (32 pixels per step), the tone table gathered. Built with -mavx2 and called only
// when the processor has it; nothing from the standard library is instantiated here, so no code
// built for AVX2 can stand in for a plain function elsewhere.
#include <immintrin.h>

#include "devices/kercol/conversion.h"
#include "devices/kercol/conversion_steps.h"

namespace kercol {

namespace {

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

struct Avx2 {
    using V = __m256i;
    static constexpr std::ptrdiff_t kLanes = 16;

    struct Constants {
        V shortMatrix[9];
        __m256 matrix[9];
        V black;
        const int* tone;

        explicit Constants(const ConversionTables& t) : tone(reinterpret_cast<const int*>(t.tone)) {
            for (int i = 0; i < 9; ++i) {
                shortMatrix[i] = _mm256_set1_epi16(t.shortMatrix[i]);
                matrix[i] = _mm256_set1_ps(t.matrix[i]);
            }
            black = _mm256_set1_epi16(t.black);
        }
    };

    KERCOL_INLINE static V add(V a, V b) { return _mm256_add_epi16(a, b); }
    KERCOL_INLINE static V sub(V a, V b) { return _mm256_sub_epi16(a, b); }
    KERCOL_INLINE static V shl(V v, int bits) { return _mm256_slli_epi16(v, bits); }
    KERCOL_INLINE static V mulRound(V a, V b) { return _mm256_mulhrs_epi16(a, b); }
    KERCOL_INLINE static V min(V a, V b) { return _mm256_min_epi16(a, b); }
    KERCOL_INLINE static V max(V a, V b) { return _mm256_max_epi16(a, b); }
    KERCOL_INLINE static V splat(std::int16_t v) { return _mm256_set1_epi16(v); }
    KERCOL_INLINE static V addSaturated(V a, V b) { return _mm256_adds_epi16(a, b); }
    KERCOL_INLINE static V shiftRight(V v, int bits) { return _mm256_srai_epi16(v, bits); }

    KERCOL_INLINE static V load(const std::int16_t* p) {
        return _mm256_loadu_si256(reinterpret_cast<const V*>(p));
    }
    KERCOL_INLINE static void store(std::int16_t* p, V v) {
        _mm256_store_si256(reinterpret_cast<V*>(p), v);
    }
    KERCOL_INLINE static V loadBytes(const std::uint8_t* p) {
        return _mm256_loadu_si256(reinterpret_cast<const V*>(p));
    }
    KERCOL_INLINE static V loadFourBytes(const std::uint8_t* p) {
        return _mm256_zextsi128_si256(_mm_loadu_si32(p));
    }
    KERCOL_INLINE static V evenBytes(V v) { return _mm256_and_si256(v, _mm256_set1_epi16(0xFF)); }
    KERCOL_INLINE static V oddBytes(V v) { return _mm256_srli_epi16(v, 8); }

    // Eight lanes of one output channel: (m0 r + m1 g) + m2 b + 1/2, truncated and clamped, in
    // the order the plain code adds (the build forbids fused multiply-adds).
    KERCOL_INLINE static __m256i floatLanes(const __m256* m, __m256i r, __m256i g, __m256i b) {
        const auto f = [](__m256i v) { return _mm256_cvtepi32_ps(v); };
        const __m256 sum = _mm256_add_ps(
            _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(m[0], f(r)), _mm256_mul_ps(m[1], f(g))),
                          _mm256_mul_ps(m[2], f(b))),
            _mm256_set1_ps(0.5f));
        return _mm256_min_epi32(_mm256_max_epi32(_mm256_cvttps_epi32(sum), _mm256_setzero_si256()),
                                _mm256_set1_epi32(kToneEntries - 1));
    }

    // Two vectors of 8 32-bit values back into 16 16-bit lanes, in order.
    KERCOL_INLINE static V pack32(__m256i low, __m256i high) {
        return _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8);
    }

    KERCOL_INLINE static V floatChannel(const __m256* m, V r, V g, V b) {
        const auto low = [](V v) { return _mm256_cvtepi16_epi32(_mm256_castsi256_si128(v)); };
        const auto high = [](V v) { return _mm256_cvtepi16_epi32(_mm256_extracti128_si256(v, 1)); };
        return pack32(floatLanes(m, low(r), low(g), low(b)),
                      floatLanes(m, high(r), high(g), high(b)));
    }

    // Clamped tone indices to output values (0..255), still in 16-bit lanes. The indices are
    // widened in lane order 0-3, 8-11 and 4-7, 12-15, which the 32-bit pack puts back in order.
    KERCOL_INLINE static V toneGamma(const int* tone, V v) {
        const V zero = _mm256_setzero_si256();
        const V low = _mm256_i32gather_epi32(tone, _mm256_unpacklo_epi16(v, zero), 4);
        const V high = _mm256_i32gather_epi32(tone, _mm256_unpackhi_epi16(v, zero), 4);
        return _mm256_packus_epi32(low, high);
    }

    KERCOL_INLINE static V spread(int block, V b, V g, V r) {
        const auto mask = [block](int channel) {
            return _mm256_load_si256(reinterpret_cast<const V*>(kSpread.mask[block][channel]));
        };
        return _mm256_or_si256(
            _mm256_or_si256(_mm256_shuffle_epi8(b, mask(0)), _mm256_shuffle_epi8(g, mask(1))),
            _mm256_shuffle_epi8(r, mask(2)));
    }

    // Writes the 32 pixels of a step as B, G, R bytes from the even and odd columns of each
    // channel, saturated to bytes.
    KERCOL_INLINE static void storeSaturated(std::uint8_t* out, const V* r, const V* g,
                                             const V* b) {
        // 8 even columns, then 8 odd, per 128-bit lane.
        const V bb = _mm256_packus_epi16(b[0], b[1]);
        const V gg = _mm256_packus_epi16(g[0], g[1]);
        const V rr = _mm256_packus_epi16(r[0], r[1]);
        // Each holds one 16-byte block of pixels 0..15 in its low lane, of 16..31 in its high.
        const V y0 = spread(0, bb, gg, rr);
        const V y1 = spread(1, bb, gg, rr);
        const V y2 = spread(2, bb, gg, rr);
        V* to = reinterpret_cast<V*>(out);
        _mm256_storeu_si256(to, _mm256_permute2x128_si256(y0, y1, 0x20));
        _mm256_storeu_si256(to + 1, _mm256_permute2x128_si256(y2, y0, 0x30));
        _mm256_storeu_si256(to + 2, _mm256_permute2x128_si256(y1, y2, 0x31));
    }

    KERCOL_INLINE static void storeThroughTone(const Constants& k, std::uint8_t* out, const V* r,
                                               const V* g, const V* b) {
        const V tr[2] = {toneGamma(k.tone, r[0]), toneGamma(k.tone, r[1])};
        const V tg[2] = {toneGamma(k.tone, g[0]), toneGamma(k.tone, g[1])};
        const V tb[2] = {toneGamma(k.tone, b[0]), toneGamma(k.tone, b[1])};
        storeSaturated(out, tr, tg, tb);
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
    return convertRowWith<StepKernel<Avx2>>(tables, bayer, bgr, w, y);
}

} // namespace kercol
