// Synthetic scenes drawn with soft edges, so that they survive mosaicking well.
#include "devices/virtualcam/scenes.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kerris::virtualcam {

namespace {

struct Rgb {
    double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

void put(Picture& p, int x, int y, Rgb c) {
    uint8_t* px = p.pixel(x, y);
    px[0] = uint8_t(std::clamp(std::lround(c.b), 0L, 255L));
    px[1] = uint8_t(std::clamp(std::lround(c.g), 0L, 255L));
    px[2] = uint8_t(std::clamp(std::lround(c.r), 0L, 255L));
}

// Coverage of a shape edge at signed distance d (negative inside), over about one pixel.
double cover(double d, double pixel) {
    return std::clamp(0.5 - d / pixel, 0.0, 1.0);
}

// Every scene is drawn in unit coordinates: u across 0..1, v down 0..1.
template <typename Shade> Picture paint(int w, int h, Shade shade) {
    Picture p(w, h);
    const double pixel = 1.0 / std::max(1, std::min(w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            put(p, x, y, shade((x + 0.5) / w, (y + 0.5) / h, pixel, double(w) / h));
    return p;
}

Rgb sunset(double u, double v, double px, double aspect) {
    const double horizon = 0.62;
    Rgb sky = v < 0.35 ? mix({40, 50, 120}, {200, 90, 110}, v / 0.35)
                       : mix({200, 90, 110}, {255, 190, 90}, (v - 0.35) / (horizon - 0.35));
    const double sx = (u - 0.5) * aspect, sy = v - 0.5;
    const double sun = std::sqrt(sx * sx + sy * sy);
    sky = mix(sky, {255, 230, 150}, 0.6 * std::exp(-sun * sun / 0.02));
    sky = mix(sky, {255, 245, 200}, cover(sun - 0.08, px));
    const double ridge = 0.50 + 0.05 * std::sin(u * 9.0 + 1.0) + 0.03 * std::sin(u * 23.0);
    Rgb c = mix(sky, {50, 30, 60}, cover(ridge - v, px));
    if (v > horizon) {
        const double depth = (v - horizon) / (1 - horizon);
        Rgb sea = mix({200, 110, 90}, {30, 40, 90}, depth);
        const double glitter = std::exp(-sx * sx / 0.01) * (0.5 + 0.5 * std::sin(v * 160.0));
        sea = mix(sea, {255, 220, 150}, 0.7 * glitter * (1 - depth));
        c = mix(c, sea, cover(horizon - v, px));
    }
    return c;
}

Rgb colourChart(double u, double v, double px, double) {
    static constexpr std::array<Rgb, 24> kPatches{{
        {115, 82, 68},   {194, 150, 130}, {98, 122, 157}, {87, 108, 67},   {133, 128, 177},
        {103, 189, 170}, {214, 126, 44},  {80, 91, 166},  {193, 90, 99},   {94, 60, 108},
        {157, 188, 64},  {224, 163, 46},  {56, 61, 150},  {70, 148, 73},   {175, 54, 60},
        {231, 199, 31},  {187, 86, 149},  {8, 133, 161},  {243, 243, 242}, {200, 200, 200},
        {160, 160, 160}, {122, 122, 121}, {85, 85, 85},   {52, 52, 52},
    }};
    const double cols = 6, rows = 4, margin = 0.06;
    const double cu = (u - margin) / (1 - 2 * margin) * cols;
    const double cv = (v - margin) / (1 - 2 * margin) * rows;
    Rgb background{30, 30, 32};
    if (cu < 0 || cv < 0 || cu >= cols || cv >= rows)
        return background;
    const int col = int(cu), row = int(cv);
    const double fu = cu - col, fv = cv - row;
    const double gap = 0.08;
    // Distance to the patch's inner rectangle, in unit coordinates.
    const double du = std::max(gap - fu, fu - (1 - gap)) * (1 - 2 * margin) / cols;
    const double dv = std::max(gap - fv, fv - (1 - gap)) * (1 - 2 * margin) / rows;
    return mix(background, kPatches[size_t(row * 6 + col)], cover(std::max(du, dv), px));
}

Rgb meadow(double u, double v, double px, double aspect) {
    Rgb c = mix({90, 150, 230}, {200, 225, 250}, v / 0.6);
    const std::array<std::array<double, 3>, 3> clouds{
        {{0.2, 0.15, 0.07}, {0.55, 0.1, 0.05}, {0.8, 0.22, 0.06}}};
    for (const auto& cl : clouds) {
        const double dx = (u - cl[0]) * aspect / 2.2, dy = v - cl[1];
        c = mix(c, {250, 250, 252}, std::exp(-(dx * dx + dy * dy) / (cl[2] * cl[2] / 4)));
    }
    const double far = 0.55 + 0.06 * std::sin(u * 5.0 + 0.5);
    c = mix(c, mix({110, 160, 90}, {70, 130, 60}, (v - far) * 4), cover(far - v, px));
    const double nearHill = 0.7 + 0.05 * std::sin(u * 3.0 + 2.0);
    c = mix(c, mix({90, 170, 60}, {40, 110, 30}, (v - nearHill) * 3), cover(nearHill - v, px));
    // A tree: trunk and round crown.
    const double tx = 0.7, trunkTop = 0.45, trunkBottom = 0.74;
    const double trunk =
        std::max(std::abs(u - tx) * aspect - 0.018, std::max(trunkTop - v, v - trunkBottom));
    c = mix(c, {100, 70, 40}, cover(trunk, px));
    const double cx = (u - tx) * aspect, cy = v - 0.38;
    const double crown = std::sqrt(cx * cx + cy * cy) - 0.13;
    c = mix(c, mix({60, 140, 50}, {30, 90, 30}, (cy + 0.13) / 0.26 + cx), cover(crown, px));
    // Flowers scattered on the near hill.
    for (int i = 0; i < 18; ++i) {
        const double fx = std::fmod(0.05 + i * 0.137, 0.98),
                     fy = nearHill + 0.04 + std::fmod(i * 0.071, 0.22);
        const double d = std::hypot((u - fx) * aspect, v - fy) - 0.012;
        c = mix(c, i % 3 == 0 ? Rgb{240, 220, 60} : Rgb{220, 50, 60}, cover(d, px));
    }
    return c;
}

Rgb rings(double u, double v, double px, double aspect) {
    const double x = (u - 0.5) * aspect, y = v - 0.5;
    const double r = std::hypot(x, y), a = std::atan2(y, x);
    // A smooth hue wheel behind soft concentric rings.
    const double hue = (a + M_PI) / (2 * M_PI) * 6.0;
    const double f = hue - std::floor(hue);
    Rgb wheel;
    switch (int(hue) % 6) {
    case 0:
        wheel = {255, 255 * f, 0};
        break;
    case 1:
        wheel = {255 * (1 - f), 255, 0};
        break;
    case 2:
        wheel = {0, 255, 255 * f};
        break;
    case 3:
        wheel = {0, 255 * (1 - f), 255};
        break;
    case 4:
        wheel = {255 * f, 0, 255};
        break;
    default:
        wheel = {255, 0, 255 * (1 - f)};
        break;
    }
    Rgb c = mix({245, 245, 240}, wheel, std::min(1.0, r / 0.45));
    const double ring = std::abs(std::fmod(r, 0.08) - 0.04) - 0.008;
    c = mix(c, mix(c, {20, 20, 30}, 0.35), cover(ring, px));
    return mix(c, {20, 20, 30}, 0.5 * (1 - cover(r - 0.5, px)));
}

Rgb harbour(double u, double v, double px, double aspect) {
    Rgb c = mix({10, 15, 45}, {60, 50, 90}, v / 0.55);
    const double mx = (u - 0.8) * aspect, my = v - 0.15;
    c = mix(c, {250, 245, 220}, cover(std::hypot(mx, my) - 0.05, px));
    for (int i = 0; i < 40; ++i) {
        const double sx = std::fmod(i * 0.2713, 1.0), sy = std::fmod(i * 0.1379, 0.45);
        c = mix(c, {255, 255, 240},
                std::exp(-(std::pow((u - sx) * aspect, 2) + std::pow(v - sy, 2)) / 1.5e-5));
    }
    // Houses along the quay, lit windows.
    const double quay = 0.62;
    const int house = int(u * 9);
    const double roof = 0.40 + 0.08 * std::fmod(house * 0.37, 1.0);
    if (v > roof && v < quay) {
        const Rgb walls[3] = {{90, 60, 70}, {70, 70, 90}, {100, 80, 50}};
        c = mix(c, walls[house % 3], cover(roof - v, px));
        const double wu = std::fmod(u * 9 * 3, 1.0), wv = std::fmod((v - roof) * 40, 1.0);
        if (wu > 0.35 && wu < 0.65 && wv > 0.3 && wv < 0.8 &&
            (house + int((v - roof) * 40)) % 3 != 0)
            c = {250, 200, 90};
    }
    if (v >= quay) {
        const double depth = (v - quay) / (1 - quay);
        Rgb water = mix({30, 35, 70}, {5, 10, 30}, depth);
        const double ripple = 0.5 + 0.5 * std::sin(v * 220.0 + std::sin(u * 40.0));
        const int lightHouse = int(u * 9);
        const double lit =
            std::exp(-std::pow(std::fmod(u * 9, 1.0) - 0.5, 2) / 0.02) * (lightHouse % 3 != 0);
        water = mix(water, {230, 170, 70}, 0.5 * lit * ripple * (1 - depth));
        c = mix(c, water, cover(quay - v, px));
    }
    return c;
}

} // namespace

Picture drawScene(int which, int width, int height) {
    if (width <= 0 || height <= 0)
        return Picture{};
    switch (((which % kSceneCount) + kSceneCount) % kSceneCount) {
    case 0:
        return paint(width, height, sunset);
    case 1:
        return paint(width, height, colourChart);
    case 2:
        return paint(width, height, meadow);
    case 3:
        return paint(width, height, rings);
    default:
        return paint(width, height, harbour);
    }
}

const char* sceneName(int which) {
    static constexpr const char* kNames[kSceneCount] = {"sunset", "colour-chart", "meadow", "rings",
                                                        "harbour"};
    return kNames[((which % kSceneCount) + kSceneCount) % kSceneCount];
}

} // namespace kerris::virtualcam
