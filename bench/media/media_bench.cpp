// Movies and downloads: a 100-frame movie from 640 x 480 bitmap files written by the browser's
// movie writer beside the ffmpeg program making the same movie from the same files (same
// codec, rate and key frames), and the download of the virtual camera's sample pictures.
#include <benchmark/benchmark.h>

#include "browser/media/bitmap_file.h"
#include "browser/media/camera_api.h"
#include "browser/media/download.h"
#include "browser/media/movie_writer.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using namespace lumicart::media;

namespace {

constexpr int kFrames = 100, kWidth = 640, kHeight = 480;

// A scratch folder for the run, removed at exit.
const fs::path& scratch() {
    static const fs::path folder = [] {
        fs::path p =
            fs::temp_directory_path() / ("kerris-bench-media-" + std::to_string(::getpid()));
        fs::create_directories(p);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(scratch(), ec);
        });
        return p;
    }();
    return folder;
}

std::string frameName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "frame%03d.bmp", i);
    return (scratch() / "frames" / name).string();
}

// 100 bitmap files of a smooth scene with a moving bright disc, written once.
void writeFrames() {
    static bool written = false;
    if (written)
        return;
    fs::create_directories(scratch() / "frames");
    std::vector<uint8_t> record(sizeof(CpiImage) + std::size_t(kWidth) * kHeight * 3);
    for (int i = 0; i < kFrames; ++i) {
        auto* header = reinterpret_cast<CpiImage*>(record.data());
        *header = CpiImage{40, kWidth, kHeight, 1, 24, 0, 0, 0, 0, 0, 0};
        uint8_t* p = record.data() + sizeof(CpiImage);
        const double cx = 100 + 4.0 * i, cy = 240 + 80 * std::sin(i / 10.0);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x, p += 3) {
                const double d = std::hypot(x - cx, y - cy);
                const double disc = d < 60 ? 120 : 0;
                p[0] = uint8_t(std::min(255.0, 60 + 50 * std::sin(x / 45.0) + disc));
                p[1] = uint8_t(std::min(255.0, 90 + 60 * std::cos(y / 33.0) + disc / 2));
                p[2] = uint8_t(std::min(255.0, 110 + 40 * std::sin((x + y) / 70.0) + disc));
            }
        std::error_code ec;
        fs::remove(frameName(i), ec);
        if (!WritePictureBitmap(record.data(), record.size(), frameName(i)))
            std::abort();
    }
    written = true;
}

// The browser's file movie: every file read and written as one frame.
void BM_MovieFromBitmapFiles(benchmark::State& state) {
    writeFrames();
    const std::string movie = (scratch() / "writer.avi").string();
    for (auto _ : state) {
        MovieWriter writer;
        auto first = ReadBitmapFile(frameName(0));
        if (!first || !writer.open(movie, ViewOf(*first)))
            state.SkipWithError("cannot open the movie");
        for (int i = 0; i < kFrames; ++i) {
            auto frame = ReadBitmapFile(frameName(i));
            if (!frame || !writer.WriteMovieFrame(i, ViewOf(*frame)))
                state.SkipWithError("cannot write a frame");
        }
        writer.CloseMovieFile();
    }
    state.counters["bytes"] = double(fs::file_size(movie));
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_MovieFromBitmapFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same movie by the ffmpeg program (its start, reading the files, conversion, encoding).
void BM_FfmpegProgram(benchmark::State& state) {
    writeFrames();
    const std::string movie = (scratch() / "ffmpeg.avi").string();
    const std::string command =
        "ffmpeg -nostdin -v error -y -threads 1 -framerate 15 -i '" +
        (scratch() / "frames" / "frame%03d.bmp").string() +
        "' -c:v msvideo1 -g 7 -keyint_min 6 -metadata:s:v title='OVIK Animation' '" + movie + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("ffmpeg failed");
    }
    state.counters["bytes"] = double(fs::file_size(movie));
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_FfmpegProgram)->Unit(benchmark::kMillisecond)->UseRealTime();

// The camera download of the fresh install's sample pictures from the virtual camera.
struct BenchHost : DownloadHost {
    std::string folder;
    void showMessageEntry(int, const std::optional<std::string>&) override { failed = true; }
    void showProgress(int, int, int) override {}
    void setProgressRange(int, int) override {}
    void setProgressPosition(int) override {}
    void moveProgressToMaximum() override {}
    void hideProgress() override {}
    std::string updateCurrentFolder() override { return folder; }
    void requestListRefresh() override {}
    bool failed = false;
};

void BM_DownloadSamplePictures(benchmark::State& state) {
    const fs::path registry = scratch() / "registry", out = scratch() / "download";
    fs::create_directories(registry);
    ::setenv("KERRIS_REGISTRY_DIR", registry.c_str(), 1);
    ::setenv("KERRIS_MODULE_PATH", (std::string(KERRIS_BENCH_BUILD_DIR) + "/lib").c_str(), 1);
    CameraLibrary library;
    if (!library.load()) {
        state.SkipWithError("libkerriscp.so is not built");
        return;
    }
    BenchHost host;
    host.folder = out.string() + "/";
    std::size_t pictures = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        fs::create_directories(out);
        state.ResumeTiming();
        CameraSession session(library.api());
        const DownloadResult result = AutoDownloadImage(session, host, SystemLocalTime);
        if (result.end != CommandEnd::Completed || host.failed)
            state.SkipWithError("download failed");
        pictures = result.files.size();
    }
    state.counters["pictures"] = double(pictures);
    state.SetItemsProcessed(state.iterations() * std::int64_t(pictures));
}
BENCHMARK(BM_DownloadSamplePictures)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
