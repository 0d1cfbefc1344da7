// Colour conversion of the 640 x 480 picture's frame (644 x 484): the colour library's whole
// pipeline (bunched -> Bayer, demosaic, black offset and white level, matrix, gamma), through
// its entry points and on each of its code paths, beside OpenCV's bilinear Bayer -> BGR on the
// same mosaic and a memcpy of the frame and the picture. Only OpenCV at its default runs threads
// of its own, and its CPU time is the process's, so CPU time is the work done throughout.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "devices/kercol/colour_settings.h"
#include "devices/kercol/conversion.h"
#include "devices/kercol/kercol.h"

namespace {

constexpr int kW = 644, kH = 484;

// A picture with smooth areas and edges, mosaiced GRBG and bunched as the camera sends it.
struct Frames {
    std::vector<std::uint8_t> bayer, bunched;
    Frames() : bayer(std::size_t(kW) * kH), bunched(std::size_t(kW) * kH) {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const double edge = ((x / 40) + (y / 30)) % 2 ? 40.0 : 0.0;
                const double rgb[3] = {120 + 90 * std::sin(x / 37.0) + edge,
                                       110 + 80 * std::cos(y / 23.0) + edge,
                                       100 + 70 * std::sin((x + y) / 51.0) + edge};
                int channel = 1;
                if (y % 2 == 0 && x % 2 == 1)
                    channel = 0;
                else if (y % 2 == 1 && x % 2 == 0)
                    channel = 2;
                const double v = std::fmin(255.0, std::fmax(0.0, rgb[channel]));
                bayer[std::size_t(y) * kW + x] = std::uint8_t(v);
                const int to = x % 2 == 0 ? x / 2 : kW / 2 + x / 2;
                bunched[std::size_t(y) * kW + to] = std::uint8_t(v);
            }
    }
};

const Frames& frames() {
    static const Frames f;
    return f;
}

// A handle configured as a camera without colour data of its own is: the sensor's matrix, the
// fallback black offset and white level, gamma on.
std::uint32_t cameraHandle() {
    const std::uint32_t h = KERC_Open(0, 0);
    const std::uint16_t black = 16, white = 250;
    const std::uint8_t gamma = 1;
    float m[9] = {2.135f, -1.193f, 0.058f, -0.376f, 1.741f, -0.365f, 0.018f, -1.188f, 2.17f};
    KERC_SetParameter(h, KERC_PARAM_BLACK_OFFSET, (void*)&black, 2);
    KERC_SetParameter(h, KERC_PARAM_WHITE_LEVEL, (void*)&white, 2);
    KERC_SetParameter(h, KERC_PARAM_MATRIX, m, 36);
    KERC_SetParameter(h, KERC_PARAM_GAMMA, (void*)&gamma, 1);
    return h;
}

void setBytes(benchmark::State& state, std::size_t bytesPerIteration) {
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytesPerIteration));
    state.SetItemsProcessed(std::int64_t(state.iterations()) * (kW - 4) * (kH - 4));
}

// The whole pipeline as an upload runs it.
void BM_KercolPipeline(benchmark::State& state) {
    const std::uint32_t h = cameraHandle();
    std::vector<std::uint8_t> bunched = frames().bunched, bayer(bunched.size());
    std::vector<std::uint8_t> out(std::size_t(kW - 4) * (kH - 4) * 3);
    for (auto _ : state) {
        if (KERC_BunchedToBayer(h, bunched.data(), bayer.data(), kW, kH) != 0 ||
            KERC_Colour(h, bayer.data(), out.data(), kW, kH, 0) != 0)
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setBytes(state, bunched.size());
    KERC_Close(h);
}
BENCHMARK(BM_KercolPipeline);

// Demosaic only, with neutral settings (identity matrix, gamma off), from the Bayer frame.
void BM_KercolColourNeutral(benchmark::State& state) {
    const std::uint32_t h = KERC_Open(0, 0);
    std::vector<std::uint8_t> bayer = frames().bayer;
    std::vector<std::uint8_t> out(std::size_t(kW - 4) * (kH - 4) * 3);
    for (auto _ : state) {
        KERC_Colour(h, bayer.data(), out.data(), kW, kH, 0);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setBytes(state, bayer.size());
    KERC_Close(h);
}
BENCHMARK(BM_KercolColourNeutral);

// Each code path on its own (the library runs the best the processor has), through the library's
// internal interface: the argument is the path, 0 baseline, 1 AVX2, 2 AVX-512.
kercol::ConversionPath pathOf(benchmark::State& state) {
    const auto path = kercol::ConversionPath(state.range(0));
    static const char* const names[] = {"baseline", "avx2", "avx512"};
    state.SetLabel(names[state.range(0)]);
    if (!kercol::pathSupported(path))
        state.SkipWithError("this processor does not run the path");
    return path;
}

kercol::ColourSettings cameraSettings() {
    kercol::ColourSettings s = kercol::deviceDefaults();
    const float m[9] = {2.135f, -1.193f, 0.058f, -0.376f, 1.741f, -0.365f, 0.018f, -1.188f, 2.17f};
    std::memcpy(s.matrix, m, sizeof m);
    s.blackOffset = 16;
    s.whiteLevel = 250;
    s.gammaOn = true;
    return s;
}

void convertOnPath(benchmark::State& state, const kercol::ColourSettings& settings, bool bunched) {
    const kercol::ConversionPath path = pathOf(state);
    auto tables = std::make_unique<kercol::ConversionTables>();
    kercol::buildTables(settings, *tables);
    std::vector<std::uint8_t> in = bunched ? frames().bunched : frames().bayer;
    std::vector<std::uint8_t> bayer(in.size()), row(kW);
    std::vector<std::uint8_t> out(std::size_t(kW - 4) * (kH - 4) * 3);
    std::vector<std::int16_t> scratch(3 * (kW - 4));
    for (auto _ : state) {
        if (bunched)
            kercol::bunchedToBayer(path, in.data(), bayer.data(), kW, kH, row.data());
        kercol::convertFrame(path, *tables, bunched ? bayer.data() : in.data(), out.data(), kW, kH,
                             scratch.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setBytes(state, in.size());
}

// The whole pipeline with the camera's settings, per path.
void BM_KercolPipelinePath(benchmark::State& state) {
    convertOnPath(state, cameraSettings(), true);
}
BENCHMARK(BM_KercolPipelinePath)->DenseRange(0, 2);

// The demosaic alone (neutral settings: identity matrix, gamma off), per path.
void BM_KercolDemosaicPath(benchmark::State& state) {
    convertOnPath(state, kercol::deviceDefaults(), false);
}
BENCHMARK(BM_KercolDemosaicPath)->DenseRange(0, 2);

void BM_KercolBunchedToBayerPath(benchmark::State& state) {
    const kercol::ConversionPath path = pathOf(state);
    std::vector<std::uint8_t> in = frames().bunched, bayer(in.size()), row(kW);
    for (auto _ : state) {
        kercol::bunchedToBayer(path, in.data(), bayer.data(), kW, kH, row.data());
        benchmark::DoNotOptimize(bayer.data());
        benchmark::ClobberMemory();
    }
    setBytes(state, in.size());
}
BENCHMARK(BM_KercolBunchedToBayerPath)->DenseRange(0, 2);

// OpenCV names Bayer patterns by the 2 x 2 block at (1, 1): a G R / B G mosaic is its "GB".
// Checked on a red frame before anything is timed.
constexpr int kOpenCvGrbg = cv::COLOR_BayerGB2BGR;

void BM_OpenCvBilinear(benchmark::State& state) {
    const int threads = int(state.range(0));
    const int saved = cv::getNumThreads();
    if (threads > 0)
        cv::setNumThreads(threads);
    cv::Mat bayer(kH, kW, CV_8UC1, const_cast<std::uint8_t*>(frames().bayer.data()));
    cv::Mat out;
    for (auto _ : state) {
        cv::cvtColor(bayer, out, kOpenCvGrbg);
        benchmark::DoNotOptimize(out.data);
        benchmark::ClobberMemory();
    }
    cv::setNumThreads(saved);
    setBytes(state, frames().bayer.size());
    state.SetLabel(threads > 0 ? std::to_string(threads) + " thread" : "OpenCV's default threads");
}
// Process CPU time, so that OpenCV's own threads (at its default) count as well.
BENCHMARK(BM_OpenCvBilinear)->Arg(1)->Arg(0)->MeasureProcessCPUTime();

void BM_MemcpyFrame(benchmark::State& state) {
    std::vector<std::uint8_t> from = frames().bunched, to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    setBytes(state, from.size());
}
BENCHMARK(BM_MemcpyFrame);

void BM_MemcpyPicture(benchmark::State& state) {
    std::vector<std::uint8_t> from(std::size_t(kW - 4) * (kH - 4) * 3, 7), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    setBytes(state, from.size());
}
BENCHMARK(BM_MemcpyPicture);

// The reference must see the mosaic as the library does: a red frame comes out red.
bool openCvPatternChecked() {
    cv::Mat red(16, 16, CV_8UC1, cv::Scalar(0));
    for (int y = 0; y < 16; y += 2)
        for (int x = 1; x < 16; x += 2)
            red.at<std::uint8_t>(y, x) = 255;
    cv::Mat out;
    cv::cvtColor(red, out, kOpenCvGrbg);
    const cv::Vec3b centre = out.at<cv::Vec3b>(8, 8);
    return centre[0] == 0 && centre[1] == 0 && centre[2] == 255;
}

} // namespace

int main(int argc, char** argv) {
    if (!openCvPatternChecked()) {
        std::fprintf(stderr,
                     "bench_colour: the OpenCV Bayer code does not match the G R / B G mosaic\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
