// A value read from an 18 KB hive: through the read cache, beside the same read when the hive
// is parsed again every time (the reference). The cache pays when the ratio is far below 1.
#include "platform/registry/hive_store.h"
#include "platform/registry/registry.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

using namespace kerris::registry;

namespace {

// A private registry folder holding one hive of about 18 KB, made once.
std::optional<Key> bigKey() {
    static const std::filesystem::path folder = [] {
        auto dir = std::filesystem::temp_directory_path() /
                   ("kerris-bench-registry-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        setenv("KERRIS_REGISTRY_DIR", dir.c_str(), 1);
        auto key = Key::create(Hive::CurrentUser, "Big");
        key->write("", Value{kTypeBinary, std::vector<uint8_t>(2000, 7)});
        for (int i = 0; i < 200; ++i)
            key->writeString("v" + std::to_string(i), std::string(50, 'x'));
        std::atexit([] { std::filesystem::remove_all(folder); });
        return dir;
    }();
    return Key::open(Hive::CurrentUser, "Big");
}

void BM_ReadCached(benchmark::State& state) {
    auto key = bigKey();
    for (auto _ : state)
        benchmark::DoNotOptimize(key->readString("v7"));
}
BENCHMARK(BM_ReadCached);

void BM_ReadParsed(benchmark::State& state) {
    auto key = bigKey();
    for (auto _ : state) {
        detail::clearHiveCache();
        benchmark::DoNotOptimize(key->readString("v7"));
    }
}
BENCHMARK(BM_ReadParsed);

} // namespace

BENCHMARK_MAIN();
