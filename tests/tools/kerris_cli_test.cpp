// build/bin/kerris run as a program against the virtual camera of a fresh install: the files
// it writes, a second run, listing, a failing camera, wrong arguments, a file-size limit and a
// kill in the middle of a download.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <thread>

#include "platform/registry/registry.h"
#include "tests/tools/tool_test_support.h"

using namespace tooltest;

namespace {

std::string buildDir() {
    const char* dir = std::getenv("KERRIS_BUILD_DIR");
    return dir ? dir : ".";
}

struct ToolRun {
    int status = -1;
    std::string out, err;
};

// Starts the tool with `arguments`, the given registry folder and no module path override, its
// output into files of `scratch`; `inChild` runs in the child just before the program starts.
pid_t startTool(const std::vector<std::string>& arguments, const std::string& registry,
                const TempFolder& scratch, const std::function<void()>& inChild = {}) {
    const std::string outPath = scratch / "stdout.txt", errPath = scratch / "stderr.txt";
    const std::string program = buildDir() + "/bin/kerris";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::setenv("KERRIS_REGISTRY_DIR", registry.c_str(), 1);
        ::unsetenv("KERRIS_MODULE_PATH");
        if (inChild)
            inChild();
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return child;
}

// Waits for a started tool and collects what it wrote.
ToolRun finishTool(pid_t child, const TempFolder& scratch) {
    ToolRun run;
    int status = 0;
    ::waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const auto out = readFile(scratch / "stdout.txt"), err = readFile(scratch / "stderr.txt");
    run.out.assign(out.begin(), out.end());
    run.err.assign(err.begin(), err.end());
    return run;
}

ToolRun runTool(const std::vector<std::string>& arguments, const std::string& registry,
                const TempFolder& scratch, const std::function<void()>& inChild = {}) {
    return finishTool(startTool(arguments, registry, scratch, inChild), scratch);
}

std::string today() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d", &parts);
    return text;
}

struct Bitmap {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bgr; // top-down, unpadded
};

// Reads a 24-bit uncompressed bitmap file, bottom-up or top-down.
bool readBitmap(const std::string& path, Bitmap& bitmap) {
    const auto b = readFile(path);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M')
        return false;
    const std::uint32_t offset = little32(b, 10);
    const std::int32_t w = std::int32_t(little32(b, 18)), h = std::int32_t(little32(b, 22));
    const std::uint16_t bits = std::uint16_t(b[28] | b[29] << 8);
    if (bits != 24 || w <= 0 || h == 0 || little32(b, 30) != 0)
        return false;
    const int rows = std::abs(h);
    const std::size_t stride = (std::size_t(w) * 3 + 3) & ~std::size_t(3);
    if (offset + stride * rows > b.size())
        return false;
    bitmap.width = w;
    bitmap.height = rows;
    bitmap.bgr.resize(std::size_t(w) * rows * 3);
    for (int y = 0; y < rows; ++y) {
        const int fileRow = h > 0 ? rows - 1 - y : y;
        std::copy_n(b.begin() + offset + stride * fileRow, std::size_t(w) * 3,
                    bitmap.bgr.begin() + std::size_t(y) * w * 3);
    }
    return true;
}

double psnr(const Bitmap& a, const Bitmap& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.bgr.size(); ++i) {
        const double d = double(a.bgr[i]) - double(b.bgr[i]);
        sum += d * d;
    }
    const double mse = sum / double(a.bgr.size());
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Writes a 24-bit bottom-up bitmap file of `bitmap`.
void writeBitmap(const std::string& path, const Bitmap& bitmap) {
    const std::size_t stride = (std::size_t(bitmap.width) * 3 + 3) & ~std::size_t(3);
    std::vector<std::uint8_t> b(54 + stride * bitmap.height, 0);
    auto put32 = [&b](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = std::uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, std::uint32_t(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, std::uint32_t(bitmap.width));
    put32(22, std::uint32_t(bitmap.height));
    b[26] = 1;
    b[28] = 24;
    put32(34, std::uint32_t(stride * bitmap.height));
    for (int y = 0; y < bitmap.height; ++y)
        std::copy_n(bitmap.bgr.begin() + std::size_t(y) * bitmap.width * 3,
                    std::size_t(bitmap.width) * 3,
                    b.begin() + 54 + stride * (bitmap.height - 1 - y));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

class KerrisCli : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(scratch / "registry");
        fs::create_directories(scratch / "pictures");
        registry = scratch / "registry";
        downloads = scratch / "pictures";
    }
    ToolRun run(const std::vector<std::string>& arguments,
                const std::function<void()>& inChild = {}) {
        return runTool(arguments, registry, scratch, inChild);
    }
    // The virtual camera serves the bitmap files of `folder` instead of the samples.
    void servePictures(const std::string& folder) {
        ::setenv("KERRIS_REGISTRY_DIR", registry.c_str(), 1);
        auto key = kerris::registry::Key::create(kerris::registry::Hive::LocalMachine,
                                                 "SOFTWARE\\Kerris\\VirtualCamera");
        ASSERT_TRUE(key.has_value());
        ASSERT_TRUE(key->writeString("PictureFolder", folder + "/"));
    }

    TempFolder scratch;
    std::string registry, downloads;
};

// The sample pictures a fresh install serves, in the camera's order.
const char* const kSamples[] = {"01-sunset-640x480.bmp",       "02-colour-chart-640x480.bmp",
                                "03-meadow-352x288.bmp",       "04-rings-352x288.bmp",
                                "05-harbour-320x240.bmp",      "06-sunset-320x240.bmp",
                                "07-colour-chart-176x144.bmp", "08-meadow-176x144.bmp"};

} // namespace

TEST_F(KerrisCli, FreshInstallDownloadsTheSamplesAsBitmaps) {
    const std::string date = today();
    const ToolRun r = run({"download", downloads});
    ASSERT_EQ(r.status, 0) << r.err;
    if (today() != date)
        GTEST_SKIP() << "the date changed during the run";
    std::set<std::string> expected;
    std::string listed;
    for (int i = 1; i <= 8; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%s-%02d.bmp", date.c_str(), i);
        expected.insert(name);
        listed += downloads + "/" + name + "\n";
    }
    EXPECT_EQ(entries(downloads), expected);
    EXPECT_EQ(r.out, listed);
    EXPECT_TRUE(r.err.empty()) << "no progress bar off a terminal: " << r.err;

    // Each file is the sample picture of its place, in its size and true colours.
    int index = 0;
    for (const std::string& name : expected) {
        Bitmap got, want;
        ASSERT_TRUE(readBitmap(downloads + "/" + name, got)) << name;
        ASSERT_TRUE(
            readBitmap(buildDir() + "/share/kerris/virtualcam/pictures/" + kSamples[index], want))
            << kSamples[index];
        ASSERT_EQ(got.width, want.width) << name;
        ASSERT_EQ(got.height, want.height) << name;
        const auto bytes = readFile(downloads + "/" + name);
        EXPECT_EQ(bytes.size(), 54u + std::size_t(got.width) * got.height * 3) << name;
        const double value = psnr(got, want);
        std::printf("%s (%s): PSNR %.2f dB\n", name.c_str(), kSamples[index], value);
        EXPECT_GE(value, 28.0) << name;
        ++index;
    }
}

TEST_F(KerrisCli, SecondRunAddsNewNumbersAndReplacesNothing) {
    ASSERT_EQ(run({"download", downloads}).status, 0);
    std::map<std::string, std::vector<std::uint8_t>> first;
    for (const auto& name : entries(downloads))
        first[name] = readFile(downloads + "/" + name);
    ASSERT_EQ(first.size(), 8u);

    const ToolRun again = run({"download", downloads});
    ASSERT_EQ(again.status, 0) << again.err;
    const auto names = entries(downloads);
    ASSERT_EQ(names.size(), 16u);
    for (const auto& [name, bytes] : first)
        EXPECT_EQ(readFile(downloads + "/" + name), bytes) << name << " was changed";
    // The new files continue the numbers: -09 .. -16 of the same date, the same pictures again.
    auto it = names.begin();
    std::advance(it, 8);
    auto old = first.begin();
    for (int n = 9; it != names.end(); ++it, ++old, ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-%02d.bmp", n);
        EXPECT_NE(it->find(suffix), std::string::npos) << *it;
        EXPECT_EQ(readFile(downloads + "/" + *it), old->second) << *it;
    }
}

TEST_F(KerrisCli, ListShowsTheVirtualCamera) {
    const ToolRun r = run({"list"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("camera 0x2000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("USB"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("pictures           8"), std::string::npos) << r.out;
}

TEST_F(KerrisCli, AFailingCameraStopsWithAMessageAndNoPartialFile) {
    // The third data read of the session fails: the third picture's frame.
    ::setenv("KERRIS_REGISTRY_DIR", registry.c_str(), 1);
    {
        auto key = kerris::registry::Key::create(kerris::registry::Hive::LocalMachine,
                                                 "SOFTWARE\\Kerris\\VirtualCamera");
        ASSERT_TRUE(key.has_value());
        ASSERT_TRUE(key->writeDword("FailReadAt", 3));
    }
    const ToolRun r = run({"download", downloads});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("picture 3 of 8: upload failed"), std::string::npos) << r.err;
    const auto names = entries(downloads);
    EXPECT_EQ(names.size(), 2u);
    for (const auto& name : names)
        EXPECT_NE(name[0], '.') << "temporary file left: " << name;
}

TEST_F(KerrisCli, WrongArgumentsAndFolders) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* text;
        bool onOut;
    } cases[] = {
        {{}, 2, "usage: kerris", false},
        {{"--help"}, 0, "download DIR", true},
        {{"list", "--help"}, 0, "usage: kerris", true},
        {{"bogus"}, 2, "unknown command 'bogus'", false},
        {{"download"}, 2, "exactly one folder", false},
        {{"download", "a", "b"}, 2, "exactly one folder", false},
        {{"download", "/nonexistent/folder"}, 1, "/nonexistent/folder is not a folder", false},
    };
    for (const auto& c : cases) {
        const ToolRun r = run(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.text;
        EXPECT_NE((c.onOut ? r.out : r.err).find(c.text), std::string::npos) << c.text << "\n"
                                                                             << r.out << r.err;
    }
}

TEST_F(KerrisCli, SmoothPictureAndColourPatchesComeBackThroughTheCamera) {
    // A camera whose memory holds a smooth picture and one of red, green and blue bands.
    const std::string store = scratch / "store";
    fs::create_directories(store);
    Bitmap smooth{640, 480, {}}, bands{640, 480, {}};
    smooth.bgr.resize(640 * 480 * 3);
    bands.bgr.resize(640 * 480 * 3);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            std::uint8_t* s = &smooth.bgr[(std::size_t(y) * 640 + x) * 3];
            s[2] = std::uint8_t(std::lround(128 + 100 * std::sin(x / 31.0 + y / 47.0)));
            s[1] = std::uint8_t(std::lround(128 + 90 * std::cos(x / 53.0 - y / 29.0)));
            s[0] = std::uint8_t(std::lround(120 + 80 * std::sin((x + 2 * y) / 71.0 + 1.0)));
            std::uint8_t* b = &bands.bgr[(std::size_t(y) * 640 + x) * 3];
            b[2 - x / 214] = 255; // red, green, blue from left to right (B, G, R bytes)
        }
    writeBitmap(store + "/1-smooth.bmp", smooth);
    writeBitmap(store + "/2-bands.bmp", bands);
    ::setenv("KERRIS_REGISTRY_DIR", registry.c_str(), 1);
    {
        auto key = kerris::registry::Key::create(kerris::registry::Hive::LocalMachine,
                                                 "SOFTWARE\\Kerris\\VirtualCamera");
        ASSERT_TRUE(key.has_value());
        ASSERT_TRUE(key->writeString("PictureFolder", store + "/"));
    }
    const ToolRun r = run({"download", downloads});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto names = entries(downloads);
    ASSERT_EQ(names.size(), 2u);
    Bitmap got;
    ASSERT_TRUE(readBitmap(downloads + "/" + *names.begin(), got));
    const double value = psnr(got, smooth);
    std::printf("smooth picture through the virtual camera and back: PSNR %.2f dB\n", value);
    EXPECT_GE(value, 35.0);

    ASSERT_TRUE(readBitmap(downloads + "/" + *names.rbegin(), got));
    const int centres[3] = {107, 320, 533};
    const char* colour[3] = {"red", "green", "blue"};
    for (int band = 0; band < 3; ++band)
        for (int y : {10, 240, 470}) {
            const std::uint8_t* p = &got.bgr[(std::size_t(y) * 640 + centres[band]) * 3];
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(p[2 - c], c == band ? 255 : 0)
                    << colour[band] << " band, row " << y << ", channel "
                    << "RGB"[c];
        }
}

TEST_F(KerrisCli, ListShowsCamerasOfBothTransports) {
    // A second camera on the serial link, of the older command set.
    ::setenv("KERRIS_REGISTRY_DIR", registry.c_str(), 1);
    {
        auto serial = kerris::registry::Key::create(kerris::registry::Hive::LocalMachine,
                                                    "SOFTWARE\\Kerris\\VirtualCamera\\Serial");
        ASSERT_TRUE(serial.has_value());
        ASSERT_TRUE(serial->writeDword("Cameras", 1));
        ASSERT_TRUE(serial->writeDword("Generation", 0));
        ASSERT_TRUE(serial->writeDword("SensorId", 0x1944));
    }
    const ToolRun r = run({"list"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto usb = r.out.find("camera 0x2000"), serial = r.out.find("camera 0x1000");
    ASSERT_NE(usb, std::string::npos) << r.out;
    ASSERT_NE(serial, std::string::npos) << r.out;
    EXPECT_LT(usb, serial) << "USB cameras come first";
    const std::string serialPart = r.out.substr(serial);
    for (const char* line : {"serial link, camera number 0", "(older command set)",
                             "sensor id          0x1944", "pictures           8"})
        EXPECT_NE(serialPart.find(line), std::string::npos) << line << "\n" << serialPart;
}

namespace {

// Every entry of a download folder is a visible, complete bitmap: the size its header gives is
// the file's size and holds all its pixel rows.
void expectOnlyCompleteBitmaps(const std::string& folder) {
    for (const auto& name : entries(folder)) {
        ASSERT_NE(name[0], '.') << "temporary file left: " << name;
        const auto bytes = readFile(folder + "/" + name);
        Bitmap picture;
        ASSERT_TRUE(readBitmap(folder + "/" + name, picture)) << name << " is not a bitmap";
        EXPECT_EQ(little32(bytes, 2), bytes.size()) << name << ": size in its header";
        const std::size_t stride = (std::size_t(picture.width) * 3 + 3) & ~std::size_t(3);
        EXPECT_EQ(bytes.size(), 54 + stride * std::size_t(picture.height)) << name;
    }
}

} // namespace

TEST_F(KerrisCli, AFileSizeLimitFailsTheDownloadWithAMessageAndLeavesNothing) {
    // 512 KB: less than the first sample picture (640 x 480, 900 KB). The limit is set in the
    // child with SIGXFSZ at its default (this process may ignore it, and that would be
    // inherited), which ends a program that does not expect it.
    const ToolRun r = run({"download", downloads}, [] {
        rlimit limit{512 * 1024, 512 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_DFL);
    });
    EXPECT_EQ(r.status, 1) << "not an exit (signal " << r.status - 128 << ")?\n" << r.err;
    EXPECT_NE(r.err.find("picture 1 of 8: cannot save " + downloads + "/"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("0 of 8 pictures written"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(entries(downloads), std::set<std::string>{}) << "no partial and no hidden file";
}

TEST_F(KerrisCli, AFileSizeLimitBetweenPictureSizesKeepsTheSmallerOnes) {
    // 300 KB: the 352 x 288 pictures (297 KB) fit, the first 640 x 480 one does not. The camera
    // serves a small picture first, then a large one.
    const std::string store = scratch / "store";
    fs::create_directories(store);
    Bitmap small{352, 288, std::vector<std::uint8_t>(352 * 288 * 3, 90)};
    Bitmap large{640, 480, std::vector<std::uint8_t>(640 * 480 * 3, 160)};
    writeBitmap(store + "/1-small.bmp", small);
    writeBitmap(store + "/2-large.bmp", large);
    servePictures(store);
    const ToolRun r = run({"download", downloads}, [] {
        rlimit limit{300 * 1024, 300 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_DFL);
    });
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("picture 2 of 2: cannot save"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 of 2 pictures written"), std::string::npos) << r.err;
    ASSERT_EQ(entries(downloads).size(), 1u);
    expectOnlyCompleteBitmaps(downloads);
}

TEST_F(KerrisCli, KilledWhileWritingLeavesOnlyCompletePicturesAndNoHiddenFile) {
    // Many large pictures, so that the program is killed in the middle of its work: as soon as
    // a hidden file shows in the folder (a writer that names its temporaries) or after the
    // first, second, ... complete picture.
    const std::string store = scratch / "store";
    fs::create_directories(store);
    constexpr int kPictures = 24;
    for (int i = 0; i < kPictures; ++i) {
        Bitmap picture{640, 480, std::vector<std::uint8_t>(640 * 480 * 3, std::uint8_t(i * 10))};
        char name[32];
        std::snprintf(name, sizeof name, "/%02d.bmp", i);
        writeBitmap(store + name, picture);
    }
    servePictures(store);
    int killedMidway = 0;
    for (std::size_t after : {1u, 1u, 2u, 3u, 5u}) {
        fs::remove_all(downloads);
        fs::create_directories(downloads);
        const pid_t child = startTool({"download", downloads}, registry, scratch);
        bool killed = false;
        for (int poll = 0; poll < 200000 && !killed; ++poll) {
            std::size_t visible = 0;
            bool hidden = false;
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(downloads, ec)) {
                if (e.path().filename().string()[0] == '.')
                    hidden = true;
                else
                    ++visible;
            }
            if (hidden || visible >= after) {
                ::kill(child, SIGKILL);
                killed = true;
            } else {
                int status = 0;
                if (::waitpid(child, &status, WNOHANG) == child) {
                    ADD_FAILURE() << "the tool ended before " << after << " pictures";
                    break;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        }
        if (!killed)
            continue;
        const ToolRun r = finishTool(child, scratch);
        if (r.status == 128 + SIGKILL)
            ++killedMidway;
        SCOPED_TRACE("killed after " + std::to_string(after) + " pictures");
        expectOnlyCompleteBitmaps(downloads);
        EXPECT_LT(entries(downloads).size(), std::size_t(kPictures));
    }
    EXPECT_GT(killedMidway, 0) << "no run was killed before it ended";
}

TEST_F(KerrisCli, LostColourDataIsReportedAndThePicturesAndMovieStillMade) {
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, std::uint32_t>> values; // of the virtual camera's key
        bool reported;
    } cases[] = {
        {"length command lost", {{"FailCommandCode", 0x8A}, {"FailCommandAt", 1}}, true},
        {"first piece lost", {{"FailCommandCode", 0x8B}, {"FailCommandAt", 1}}, true},
        {"last piece lost", {{"FailCommandCode", 0x8B}, {"FailCommandAt", 3}}, true},
        {"fourth command lost", {{"FailCommandAt", 4}}, true},
        {"fifth command lost", {{"FailCommandAt", 5}}, true},
        {"sixth command lost", {{"FailCommandAt", 6}}, true},
        {"a camera without colour data", {{"ColourDataLength", 15}}, false},
        {"a later command lost", {{"FailCommandCode", 0x8B}, {"FailCommandAt", 4}}, false},
    };
    const std::string notice =
        "kerris: the camera's colour data could not be read; the sensor's defaults are used\n";
    ::setenv("KERRIS_REGISTRY_DIR", registry.c_str(), 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(registry);
        fs::create_directories(registry);
        fs::remove_all(downloads);
        fs::create_directories(downloads);
        {
            auto key = kerris::registry::Key::create(kerris::registry::Hive::LocalMachine,
                                                     "SOFTWARE\\Kerris\\VirtualCamera");
            ASSERT_TRUE(key.has_value());
            for (const auto& [name, value] : c.values)
                ASSERT_TRUE(key->writeDword(name, value));
        }
        const ToolRun r = run({"download", downloads});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find(notice) != std::string::npos, c.reported) << r.err;
        if (c.reported) {
            EXPECT_EQ(r.err.find(notice), r.err.rfind(notice)) << "said once: " << r.err;
        }
        EXPECT_EQ(entries(downloads).size(), 8u);
        expectOnlyCompleteBitmaps(downloads);
        const ToolRun movie = run({"movie", downloads + "/m.avi"});
        EXPECT_EQ(movie.status, 0) << movie.err;
        EXPECT_EQ(movie.err.find(notice) != std::string::npos, c.reported) << movie.err;
    }
}
