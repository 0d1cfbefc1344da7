// CpiUploadImage of a 640 x 480 picture from the virtual camera (descriptor, frame read,
// conversion, bottom-up copy, lock) beside the colour conversion alone and a memcpy of the
// frame: what an upload costs beyond converting its frame.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "camera/cpi.h"
#include "devices/kercol/kercol.h"

namespace {

constexpr int kW = 644, kH = 484;

// The camera stays open for the whole run; every benchmark uploads picture 0 (640 x 480).
CpiConnection* g_camera = nullptr;

void BM_UploadImage(benchmark::State& state) {
    CpiImage* picture = CpiCreateImage(640, 480);
    for (auto _ : state) {
        if (CpiUploadImage(g_camera, 0, picture, nullptr) != 0)
            state.SkipWithError("upload failed");
        benchmark::DoNotOptimize(picture);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * 640 * 480);
    CpiFreeImage(picture);
}
BENCHMARK(BM_UploadImage);

// The same frame size through the colour library with the settings the virtual camera's
// colour data gives (neutral), without the camera.
void BM_ConversionAlone(benchmark::State& state) {
    const std::uint32_t h = KERC_Open(0, 0);
    std::vector<std::uint8_t> bunched(std::size_t(kW) * kH), bayer(bunched.size());
    for (std::size_t i = 0; i < bunched.size(); ++i)
        bunched[i] = std::uint8_t((i * 7) ^ (i >> 9));
    std::vector<std::uint8_t> out(std::size_t(kW - 4) * (kH - 4) * 3);
    for (auto _ : state) {
        KERC_BunchedToBayer(h, bunched.data(), bayer.data(), kW, kH);
        KERC_Colour(h, bayer.data(), out.data(), kW, kH, 0);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * 640 * 480);
    KERC_Close(h);
}
BENCHMARK(BM_ConversionAlone);

void BM_MemcpyFrame(benchmark::State& state) {
    std::vector<std::uint8_t> from(std::size_t(kW) * kH, 3), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemcpyFrame);

} // namespace

int main(int argc, char** argv) {
    // A private registry: the virtual camera of a fresh install, whatever the user configured.
    char folder[] = "/tmp/kerris-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("bench_upload: temporary folder");
        return 1;
    }
    ::setenv("KERRIS_REGISTRY_DIR", folder, 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    int status = 0;
    std::uint16_t id = 0;
    if (const std::uint32_t s = CpiCameraOpen(kCpiSelectAny, 0, &g_camera, &id); s != 0) {
        std::fprintf(stderr, "bench_upload: the virtual camera did not open (status 0x%X)\n", s);
        if (g_camera)
            CpiCameraClose(g_camera);
        status = 1;
    } else {
        std::uint32_t format = 0;
        if (CpiGetImageFormatEx(g_camera, 0, &format, nullptr) != 0 || format != kCpiFormatVga) {
            std::fprintf(stderr, "bench_upload: picture 0 of the camera is not 640 x 480\n");
            status = 1;
        } else {
            benchmark::RunSpecifiedBenchmarks();
        }
        CpiCameraClose(g_camera);
    }
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return status;
}
