// How the vector paths walk an output row: in steps of a fixed number of columns, a segment of
// steps at a time (the kernel first spreads the segment's five frame rows into planes of even
// and odd columns, then converts from the planes), a last step that may overlap the one before
// (writing the same bytes there again), and what is left to the plain row code. Internal
// linkage throughout: each vector unit instantiates its own copy for its instruction set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devices/kercol/conversion.h"

// The vector kernels are many small functions; all of them must melt into the step loops.
#define KERCOL_INLINE [[gnu::always_inline]] inline

namespace kercol {

namespace {

// Kernel provides kStep (columns per step, even), kSegmentSteps, a Constants type built from
// the tables, and segment<BgRow, ShortPath, Linear>(constants, top, w, x, steps, out): `steps`
// steps of output row `top` + 2 from output column x (even) on, writing B,G,R into `out` (the
// row's first pixel). Returns the column from which the plain code goes on (even).
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

} // namespace

} // namespace kercol
