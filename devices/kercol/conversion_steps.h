// The vector paths' conversion, written once over an instruction set's operations. A row goes
// in steps of a fixed number of columns, a segment of steps at a time (the segment's five frame
// rows are first spread into planes of even and odd columns, then converted from the planes),
// with a last step that may overlap the one before (writing the same bytes there again), and
// what is left to the plain row code. Internal
// linkage throughout: each vector unit instantiates its own copy for its instruction set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devices/kercol/conversion.h"

// The vector kernels are many small functions; all of them must melt into the step loops.
#define KERCOL_INLINE [[gnu::always_inline]] inline

namespace kercol {

namespace {

// StepKernel provides kStep, kSegmentSteps, Constants (built from the tables) and
// segment<BgRow, ShortPath, Linear>(constants, top, w, x, steps, out): `steps` steps of output
// row `top` + 2 from output column x (even) on, writing B,G,R into `out` (the row's first
// pixel). Returns the column from which the plain code goes on (even).
template <class Kernel, bool BgRow, bool ShortPath, bool Linear>
std::ptrdiff_t stepRow(const typename Kernel::Constants& k, const std::uint8_t* top,
                       std::ptrdiff_t w, std::uint8_t* out) {
    constexpr std::ptrdiff_t step = Kernel::kStep;
    constexpr std::ptrdiff_t segment = Kernel::kSegmentSteps;
    const std::ptrdiff_t ow = w - 4;
    if (ow < step)
        return 0;
    const std::ptrdiff_t whole = ow / step;
    for (std::ptrdiff_t s = 0; s < whole; s += segment)
        Kernel::template segment<BgRow, ShortPath, Linear>(
            k, top, w, s * step, whole - s < segment ? whole - s : segment, out);
    const std::ptrdiff_t done = whole * step;
    if (ow - done < 2)
        return done;
    // Steps start at even columns so that the planes' parity is the mosaic's.
    const std::ptrdiff_t last = (ow - step) & ~std::ptrdiff_t(1);
    Kernel::template segment<BgRow, ShortPath, Linear>(k, top, w, last, 1, out);
    return last + step;
}

template <class Kernel, bool BgRow>
std::ptrdiff_t stepRowOf(const ConversionTables& t, const std::uint8_t* top, std::ptrdiff_t w,
                         std::uint8_t* out) {
    const typename Kernel::Constants k(t);
    if (t.shortMatrixFits)
        return t.linearTone ? stepRow<Kernel, BgRow, true, true>(k, top, w, out)
                            : stepRow<Kernel, BgRow, true, false>(k, top, w, out);
    return t.linearTone ? stepRow<Kernel, BgRow, false, true>(k, top, w, out)
                        : stepRow<Kernel, BgRow, false, false>(k, top, w, out);
}

// Output row y of a w-wide frame as far as Kernel's steps reach.
template <class Kernel>
std::ptrdiff_t convertRowWith(const ConversionTables& t, const std::uint8_t* bayer,
                              std::uint8_t* bgr, std::ptrdiff_t w, std::ptrdiff_t y) {
    const std::uint8_t* top = bayer + y * w;
    std::uint8_t* out = bgr + y * (w - 4) * 3;
    // Output row y is frame row y + 2: same parity, and frame row 0 is G R G R.
    return (y & 1) == 0 ? stepRowOf<Kernel, false>(t, top, w, out)
                        : stepRowOf<Kernel, true>(t, top, w, out);
}

// The demosaic kernels at one parity of columns, from a neighbourhood of sums: c the site, h1 and
// h2 its neighbours one and two columns away, v1 and v2 one and two rows away, d the four
// diagonal ones. Ops supplies the vector type V and add, sub and shl for it. The same sums as
// demosaicRow in conversion_rows.h, regrouped (16-bit lanes wrap, so any regrouping agrees).
template <class Ops> struct Neighbourhood {
    using V = typename Ops::V;
    V c, h1, h2, v1, v2, d;

    KERCOL_INLINE V own() const { return Ops::shl(c, 4); }
    // At a green site: the colour of the horizontal neighbours (across) and the vertical ones.
    KERCOL_INLINE void greenSite(V& across, V& upDown) const {
        // 10c - 2d is common to both.
        const V common = Ops::sub(Ops::add(Ops::shl(c, 3), Ops::shl(c, 1)), Ops::shl(d, 1));
        across = Ops::add(Ops::add(common, v2), Ops::sub(Ops::shl(h1, 3), Ops::shl(h2, 1)));
        upDown = Ops::add(Ops::add(common, h2), Ops::sub(Ops::shl(v1, 3), Ops::shl(v2, 1)));
    }
    // At a red or blue site: green, and the other of red and blue (from the diagonals).
    KERCOL_INLINE void colourSite(V& green, V& diagonal) const {
        const V s1 = Ops::add(h1, v1);
        const V s2 = Ops::add(h2, v2);
        const V c8 = Ops::shl(c, 3);
        // 8c + 4(h1 + v1) - 2(h2 + v2)
        green = Ops::sub(Ops::add(c8, Ops::shl(s1, 2)), Ops::shl(s2, 1));
        // 12c + 4d - 3(h2 + v2)
        diagonal = Ops::sub(Ops::add(Ops::add(c8, Ops::shl(c, 2)), Ops::shl(d, 2)),
                            Ops::add(s2, Ops::shl(s2, 1)));
    }
};

// The three channels of the even and of the odd columns of a step. On a G R G R row the even
// columns are green sites, the odd ones red; on a B G B G row the even ones blue, the odd green.
template <bool BgRow, class Ops>
KERCOL_INLINE void demosaicPlanes(const Neighbourhood<Ops>& even, const Neighbourhood<Ops>& odd,
                                  typename Ops::V* r, typename Ops::V* g, typename Ops::V* b) {
    if constexpr (!BgRow) {
        even.greenSite(r[0], b[0]);
        g[0] = even.own();
        odd.colourSite(g[1], b[1]);
        r[1] = odd.own();
    } else {
        even.colourSite(g[0], r[0]);
        b[0] = even.own();
        odd.greenSite(b[1], r[1]);
        g[1] = odd.own();
    }
}

// The conversion of a segment of steps for one instruction set. Isa supplies the vector type V
// of kLanes 16-bit lanes and its operations, Constants (the tables in vectors), the loads of
// frame bytes, the single-precision matrix channel, and the stores of a step's pixels.
template <class Isa> struct StepKernel {
    using V = typename Isa::V;
    using Constants = typename Isa::Constants;
    using Sums = Neighbourhood<Isa>;
    static constexpr std::ptrdiff_t kLanes = Isa::kLanes;
    // A step is one vector of even and one of odd columns.
    static constexpr std::ptrdiff_t kStep = 2 * kLanes;
    static constexpr std::ptrdiff_t kSegmentSteps = 8;
    // Plane entries: a segment's column pairs and one more on either side, whole vectors.
    static constexpr std::ptrdiff_t kPlane = kSegmentSteps * kLanes + kLanes;

    // The 16-bit matrix of matrixRowShort: products rounded one by one (the multiply-high-round
    // instruction), sums wrapping in 16 bits, not yet clamped.
    KERCOL_INLINE static void matrixShort(const Constants& k, V& r, V& g, V& b) {
        const V* m = k.shortMatrix;
        const V rr = Isa::sub(r, k.black), gg = Isa::sub(g, k.black), bb = Isa::sub(b, k.black);
        const auto row = [&](int i) {
            return Isa::add(Isa::add(Isa::mulRound(rr, m[i]), Isa::mulRound(gg, m[i + 1])),
                            Isa::mulRound(bb, m[i + 2]));
        };
        r = row(0);
        g = row(3);
        b = row(6);
    }

    // matrixRowFloat: each channel clamped to the tone table's range already.
    KERCOL_INLINE static void matrixFloat(const Constants& k, V& r, V& g, V& b) {
        const V rr = Isa::sub(r, k.black), gg = Isa::sub(g, k.black), bb = Isa::sub(b, k.black);
        r = Isa::floatChannel(k.matrix, rr, gg, bb);
        g = Isa::floatChannel(k.matrix + 3, rr, gg, bb);
        b = Isa::floatChannel(k.matrix + 6, rr, gg, bb);
    }

    KERCOL_INLINE static V clampTone(V v) {
        return Isa::min(Isa::max(v, Isa::splat(0)), Isa::splat(kToneEntries - 1));
    }

    // Without gamma: plain rounding of the clamped sum to a whole step. The shift of a saturated
    // sum and the saturation of the byte pack that follows give the clamp.
    KERCOL_INLINE static V toneLinear(V v) {
        return Isa::shiftRight(Isa::addSaturated(v, Isa::splat(1 << (kToneBits - 1))), kToneBits);
    }

    template <bool BgRow, bool ShortPath, bool Linear>
    static void segment(const Constants& k, const std::uint8_t* top, std::ptrdiff_t w,
                        std::ptrdiff_t x, std::ptrdiff_t steps, std::uint8_t* out) {
        // Column pair i of the planes is output columns x - 2 + 2i and x - 1 + 2i, frame
        // columns x + 2i and x + 1 + 2i. Centre row, rows one away summed, rows two away summed.
        alignas(64) std::int16_t ce[kPlane], co[kPlane], v1e[kPlane], v1o[kPlane], v2e[kPlane],
            v2o[kPlane];
        const auto planes = [&](std::ptrdiff_t i, const V* row) {
            const auto even = [&](int j) { return Isa::evenBytes(row[j]); };
            const auto odd = [&](int j) { return Isa::oddBytes(row[j]); };
            Isa::store(ce + i, even(2));
            Isa::store(co + i, odd(2));
            Isa::store(v1e + i, Isa::add(even(1), even(3)));
            Isa::store(v1o + i, Isa::add(odd(1), odd(3)));
            Isa::store(v2e + i, Isa::add(even(0), even(4)));
            Isa::store(v2o + i, Isa::add(odd(0), odd(4)));
        };
        V row[5];
        for (std::ptrdiff_t s = 0; s < steps; ++s) {
            for (int j = 0; j < 5; ++j)
                row[j] = Isa::loadBytes(top + j * w + x + 2 * s * kLanes);
            planes(s * kLanes, row);
        }
        // The two pairs right of the last step.
        for (int j = 0; j < 5; ++j)
            row[j] = Isa::loadFourBytes(top + j * w + x + 2 * steps * kLanes);
        planes(steps * kLanes, row);

        for (std::ptrdiff_t s = 0; s < steps; ++s) {
            const std::ptrdiff_t i = s * kLanes + 1;
            const V ceL = Isa::load(ce + i - 1), ceC = Isa::load(ce + i),
                    ceR = Isa::load(ce + i + 1);
            const V coL = Isa::load(co + i - 1), coC = Isa::load(co + i),
                    coR = Isa::load(co + i + 1);
            const V v1eC = Isa::load(v1e + i), v1eR = Isa::load(v1e + i + 1);
            const V v1oL = Isa::load(v1o + i - 1), v1oC = Isa::load(v1o + i);
            const Sums even{ceC,  Isa::add(coL, coC), Isa::add(ceL, ceR),
                            v1eC, Isa::load(v2e + i), Isa::add(v1oL, v1oC)};
            const Sums odd{coC,  Isa::add(ceC, ceR), Isa::add(coL, coR),
                           v1oC, Isa::load(v2o + i), Isa::add(v1eC, v1eR)};
            V r[2], g[2], b[2];
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
                    r[p] = clampTone(r[p]);
                    g[p] = clampTone(g[p]);
                    b[p] = clampTone(b[p]);
                }
            }
            std::uint8_t* to = out + 3 * (x + s * kStep);
            if constexpr (Linear)
                Isa::storeSaturated(to, r, g, b);
            else
                Isa::storeThroughTone(k, to, r, g, b);
        }
    }
};

} // namespace

} // namespace kercol
