// The conversion for processors with AVX-512 (F, BW and VBMI): the steps of conversion_steps.h
// with 32 16-bit lanes per vector (64 pixels per step). The tone table is looked up with byte
// permutes, 128 entries at a time, and the B,G,R bytes are interleaved with them as well. Built
// with -mavx512f -mavx512bw -mavx512vbmi and called only when the processor has them; nothing from
// the standard library is instantiated here, so no code built for AVX-512 can stand in for a plain
// function elsewhere.
#include <immintrin.h>

#include "devices/kercol/conversion.h"
#include "devices/kercol/conversion_steps.h"

namespace kercol {

namespace {

// Byte permute indices for the interleave of B, G and R. A channel's 64 bytes of a step come
// as the byte pack of its even and odd columns leaves them: 8 even, then the 8 odd columns
// between them, in each 16 bytes.
constexpr int positionOf(int pixel) {
    const int pair = pixel / 2, odd = pixel % 2;
    return 16 * (pair / 8) + 8 * odd + pair % 8;
}

struct Indices {
    // Per output block: B (0..63) and G (64..127), then R and the bytes that are R.
    alignas(64) std::uint8_t twoChannels[3][64];
    alignas(64) std::uint8_t third[3][64];
    std::uint64_t thirdMask[3];
};

consteval Indices makeIndices() {
    Indices s{};
    for (int block = 0; block < 3; ++block) {
        s.thirdMask[block] = 0;
        for (int j = 0; j < 64; ++j) {
            const int at = 64 * block + j;
            const int from = positionOf(at / 3);
            switch (at % 3) {
            case 0:
                s.twoChannels[block][j] = static_cast<std::uint8_t>(from);
                break;
            case 1:
                s.twoChannels[block][j] = static_cast<std::uint8_t>(64 + from);
                break;
            default:
                s.third[block][j] = static_cast<std::uint8_t>(from);
                s.thirdMask[block] |= std::uint64_t(1) << j;
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

struct Avx512 {
    using V = __m512i;
    static constexpr std::ptrdiff_t kLanes = 32;

    struct Constants {
        V shortMatrix[9];
        __m512 matrix[9];
        V black;
        // The tone table as 8 pairs of 64-byte vectors (128 entries each).
        V tone[16];

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

    KERCOL_INLINE static V add(V a, V b) { return _mm512_add_epi16(a, b); }
    KERCOL_INLINE static V sub(V a, V b) { return _mm512_sub_epi16(a, b); }
    KERCOL_INLINE static V shl(V v, unsigned bits) { return _mm512_slli_epi16(v, bits); }
    KERCOL_INLINE static V mulRound(V a, V b) { return _mm512_mulhrs_epi16(a, b); }
    KERCOL_INLINE static V min(V a, V b) { return _mm512_min_epi16(a, b); }
    KERCOL_INLINE static V max(V a, V b) { return _mm512_max_epi16(a, b); }
    KERCOL_INLINE static V splat(std::int16_t v) { return _mm512_set1_epi16(v); }
    KERCOL_INLINE static V addSaturated(V a, V b) { return _mm512_adds_epi16(a, b); }
    KERCOL_INLINE static V shiftRight(V v, unsigned bits) { return _mm512_srai_epi16(v, bits); }

    KERCOL_INLINE static V load(const std::int16_t* p) { return _mm512_loadu_si512(p); }
    KERCOL_INLINE static void store(std::int16_t* p, V v) { _mm512_store_si512(p, v); }
    KERCOL_INLINE static V loadBytes(const std::uint8_t* p) { return _mm512_loadu_si512(p); }
    KERCOL_INLINE static V loadFourBytes(const std::uint8_t* p) {
        return _mm512_maskz_loadu_epi8(0xF, p);
    }
    KERCOL_INLINE static V evenBytes(V v) { return _mm512_and_si512(v, _mm512_set1_epi16(0xFF)); }
    KERCOL_INLINE static V oddBytes(V v) { return _mm512_srli_epi16(v, 8); }

    // Sixteen lanes of one output channel: (m0 r + m1 g) + m2 b + 1/2, truncated and clamped,
    // in the order the plain code adds (the build forbids fused multiply-adds).
    KERCOL_INLINE static __m256i floatLanes(const __m512* m, __m512i r, __m512i g, __m512i b) {
        const auto f = [](__m512i v) { return _mm512_cvtepi32_ps(v); };
        const __m512 sum = _mm512_add_ps(
            _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(m[0], f(r)), _mm512_mul_ps(m[1], f(g))),
                          _mm512_mul_ps(m[2], f(b))),
            _mm512_set1_ps(0.5f));
        const __m512i v =
            _mm512_min_epi32(_mm512_max_epi32(_mm512_cvttps_epi32(sum), _mm512_setzero_si512()),
                             _mm512_set1_epi32(kToneEntries - 1));
        return _mm512_cvtepi32_epi16(v);
    }

    KERCOL_INLINE static V floatChannel(const __m512* m, V r, V g, V b) {
        const auto low = [](V v) { return _mm512_cvtepi16_epi32(_mm512_castsi512_si256(v)); };
        const auto high = [](V v) {
            return _mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(v, 1));
        };
        return _mm512_inserti64x4(_mm512_castsi256_si512(floatLanes(m, low(r), low(g), low(b))),
                                  floatLanes(m, high(r), high(g), high(b)), 1);
    }

    // Two vectors of 16-bit lanes packed to bytes, with unsigned saturation.
    KERCOL_INLINE static V pack(V even, V odd) { return _mm512_packus_epi16(even, odd); }

    // A channel's clamped tone indices (even and odd columns) to its 64 output bytes, by byte
    // permutes. Bits 0..6 of each index pick an entry within a block of 128 (the permute ignores
    // bit 7); bits 7..9 pick the block: bit 7 is the low byte's top bit, 8 and 9 are the high
    // byte's lowest. Gathers from the 32-bit table measured slower than these permutes.
    KERCOL_INLINE static V toneGamma(const V* tone, V even, V odd) {
        const V lowByte = _mm512_set1_epi16(0xFF);
        const V entry = pack(_mm512_and_si512(even, lowByte), _mm512_and_si512(odd, lowByte));
        const V high = pack(_mm512_srli_epi16(even, 8), _mm512_srli_epi16(odd, 8));
        const __mmask64 bit0 = _mm512_movepi8_mask(entry);
        const __mmask64 bit1 = _mm512_test_epi8_mask(high, _mm512_set1_epi8(1));
        const __mmask64 bit2 = _mm512_test_epi8_mask(high, _mm512_set1_epi8(2));
        V from[8];
        for (int j = 0; j < 8; ++j)
            from[j] = _mm512_permutex2var_epi8(tone[2 * j], entry, tone[2 * j + 1]);
        const V b01 = _mm512_mask_blend_epi8(bit0, from[0], from[1]);
        const V b23 = _mm512_mask_blend_epi8(bit0, from[2], from[3]);
        const V b45 = _mm512_mask_blend_epi8(bit0, from[4], from[5]);
        const V b67 = _mm512_mask_blend_epi8(bit0, from[6], from[7]);
        const V b03 = _mm512_mask_blend_epi8(bit1, b01, b23);
        const V b47 = _mm512_mask_blend_epi8(bit1, b45, b67);
        return _mm512_mask_blend_epi8(bit2, b03, b47);
    }

    // Writes 64 pixels as B, G, R bytes from each channel's packed bytes.
    KERCOL_INLINE static void storePixels(std::uint8_t* out, V r, V g, V b) {
        for (int block = 0; block < 3; ++block) {
            const V bg = _mm512_permutex2var_epi8(b, loadIndices(kIndices.twoChannels[block]), g);
            const V v = _mm512_mask_permutexvar_epi8(bg, kIndices.thirdMask[block],
                                                     loadIndices(kIndices.third[block]), r);
            _mm512_storeu_si512(out + 64 * block, v);
        }
    }

    // The 64 pixels of a step from the even and odd columns of each channel, saturated to bytes.
    KERCOL_INLINE static void storeSaturated(std::uint8_t* out, const V* r, const V* g,
                                             const V* b) {
        storePixels(out, pack(r[0], r[1]), pack(g[0], g[1]), pack(b[0], b[1]));
    }

    KERCOL_INLINE static void storeThroughTone(const Constants& k, std::uint8_t* out, const V* r,
                                               const V* g, const V* b) {
        storePixels(out, toneGamma(k.tone, r[0], r[1]), toneGamma(k.tone, g[0], g[1]),
                    toneGamma(k.tone, b[0], b[1]));
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
    if (w - 4 < StepKernel<Avx512>::kStep)
        return convertRowAvx2(tables, bayer, bgr, w, y);
    return convertRowWith<StepKernel<Avx512>>(tables, bayer, bgr, w, y);
}

} // namespace kercol
