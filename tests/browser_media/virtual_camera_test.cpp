// The camera commands against the virtual camera of a fresh build: the real camera library
// loaded by name, the sample pictures, fault injection, and the `kerris movie` program.
#include "browser/media/bitmap_file.h"
#include "browser/media/camera_api.h"
#include "browser/media/download.h"
#include "browser/media/movie_commands.h"
#include "platform/registry/registry.h"
#include "tests/browser_media/movie_probe.h"
#include "tests/browser_media/recording_host.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace fs = std::filesystem;
using namespace lumicart;
using namespace lumicart::media;
using namespace lumicart::media::testing;

namespace {

std::string buildDir() {
    const char* dir = std::getenv("KERRIS_BUILD_DIR");
    return dir ? dir : ".";
}

std::vector<std::string> samplePictures() {
    std::vector<std::string> files;
    for (const auto& entry :
         fs::directory_iterator(buildDir() + "/share/kerris/virtualcam/pictures"))
        if (entry.path().extension() == ".bmp")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// PSNR of two frames of the same size (24-bit pixels).
double psnr(const Frame& a, const Frame& b) {
    if (a.width() != b.width() || a.height() != b.height())
        return 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (std::size_t k = 0; k < std::size_t(a.width()) * 3; ++k) {
            const double d =
                double(a.pixels()[a.stride() * y + k]) - double(b.pixels()[b.stride() * y + k]);
            sum += d * d;
        }
    const double mse = sum / (double(a.width()) * a.height() * 3);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

class VirtualCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_registry.isValid() && m_out.isValid());
        ::setenv("KERRIS_REGISTRY_DIR", m_registry.path().toLocal8Bit().constData(), 1);
        ::setenv("KERRIS_MODULE_PATH", (buildDir() + "/lib").c_str(), 1);
        ::unsetenv("KERRIS_MODULE_PATH_ONLY");
        ASSERT_TRUE(m_library.load()) << "libkerriscp.so in " << buildDir() << "/lib";
        m_host.folder = m_out.path().toStdString() + "/";
        m_host.saveName = m_out.path().toStdString() + "/camera.avi";
    }
    void setCamera(const char* name, uint32_t value) {
        auto key = kerris::registry::Key::create(kerris::registry::Hive::LocalMachine,
                                                 "SOFTWARE\\Kerris\\VirtualCamera");
        ASSERT_TRUE(key && key->writeDword(name, value));
    }
    std::vector<std::string> written() const {
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(m_out.path().toStdString()))
            files.push_back(entry.path().filename().string());
        std::sort(files.begin(), files.end());
        return files;
    }

    QTemporaryDir m_registry, m_out;
    CameraLibrary m_library;
    RecordingHost m_host;
};

TEST_F(VirtualCameraTest, DownloadWritesEverySamplePictureCloseToItsSource) {
    const auto samples = samplePictures();
    ASSERT_EQ(samples.size(), 8u);
    CameraSession session(m_library.api());
    const auto clock = [] { return LocalTime{2024, 1, 31, 12, 0, 0}; };
    const DownloadResult result = AutoDownloadImage(session, m_host, clock);
    EXPECT_EQ(result.end, CommandEnd::Completed);
    ASSERT_EQ(result.files.size(), 8u);
    EXPECT_EQ(written().front(), "20240131-01.bmp");
    EXPECT_EQ(written().back(), "20240131-08.bmp");
    EXPECT_TRUE(m_host.messages.empty());
    double worst = 99;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto downloaded = ReadBitmapFile(result.files[i]);
        const auto source = ReadBitmapFile(samples[i]);
        ASSERT_TRUE(downloaded && source) << i;
        EXPECT_EQ(downloaded->width(), source->width()) << i;
        worst = std::min(worst, psnr(*downloaded, *source));
    }
    std::cout << "camera round trip PSNR (worst of 8 sample pictures): " << worst << " dB\n";
    EXPECT_GT(worst, 25.0);
}

TEST_F(VirtualCameraTest, CameraMovieHoldsThePicturesOfTheFirstFormat) {
    CameraSession session(m_library.api());
    MovieWriter writer;
    const MovieResult result = CreateCameraMovie(session, writer, m_host);
    EXPECT_EQ(result.end, CommandEnd::Stopped) << "the third sample has another format";
    auto stream = ProbeMovieStream(*m_host.saveName);
    EXPECT_EQ(stream["codec_name"], "msvideo1");
    EXPECT_EQ(stream["r_frame_rate"], "15/1");
    EXPECT_EQ(stream["nb_read_frames"], "2");
    EXPECT_EQ(stream["width"], "640");
    EXPECT_EQ(stream["TAG:title"], "OVIK Animation");
    const auto decoded = DecodeMovie(*m_host.saveName);
    ASSERT_EQ(decoded.size(), 2u);
    const auto samples = samplePictures();
    double worst = 99;
    for (std::size_t i = 0; i < 2; ++i) {
        const auto source = ReadBitmapFile(samples[i]);
        ASSERT_TRUE(source);
        worst = std::min(worst, FramePsnr(decoded[i], source->pixels(), source->width(),
                                          source->height(), source->stride()));
    }
    std::cout << "camera movie PSNR against the sample pictures (worst of 2): " << worst << " dB\n";
    EXPECT_GT(worst, 22.0);
}

TEST_F(VirtualCameraTest, FailingReadAtTheThirdPictureKeepsTheFirstTwoSilently) {
    setCamera("FailReadAt", 3);
    CameraSession session(m_library.api());
    const DownloadResult result =
        AutoDownloadImage(session, m_host, [] { return LocalTime{2024, 1, 31, 12, 0, 0}; });
    EXPECT_EQ(result.end, CommandEnd::Stopped);
    EXPECT_EQ(written(), (std::vector<std::string>{"20240131-01.bmp", "20240131-02.bmp"}));
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_EQ(m_host.refreshes, 1);
}

TEST_F(VirtualCameraTest, EmptyCameraShowsMessageFour) {
    QTemporaryDir empty;
    auto key = kerris::registry::Key::create(kerris::registry::Hive::LocalMachine,
                                             "SOFTWARE\\Kerris\\VirtualCamera");
    ASSERT_TRUE(key && key->writeString("PictureFolder", empty.path().toStdString() + "/"));
    CameraSession session(m_library.api());
    AutoDownloadImage(session, m_host, SystemLocalTime);
    EXPECT_EQ(m_host.messageNumbers(), std::vector<int>{kMsgNoImages});
    EXPECT_TRUE(written().empty());
    EXPECT_FALSE(m_host.progressEverShown);
}

TEST_F(VirtualCameraTest, NoCameraShowsMessageThree) {
    setCamera("Cameras", 0);
    CameraSession session(m_library.api());
    AutoDownloadImage(session, m_host, SystemLocalTime);
    EXPECT_EQ(m_host.messageNumbers(), std::vector<int>{kMsgCannotOpenCamera});
}

int runKerris(const std::vector<std::string>& arguments) {
    std::string command = buildDir() + "/bin/kerris";
    for (const auto& a : arguments)
        command += " '" + a + "'";
    command += " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(VirtualCameraTest, KerrisMovieMakesTheCameraMovieAndReplacesNothing) {
    const std::string movie = m_out.path().toStdString() + "/tool.avi";
    EXPECT_EQ(runKerris({"movie", movie}), 0);
    auto stream = ProbeMovieStream(movie);
    EXPECT_EQ(stream["nb_read_frames"], "2");
    EXPECT_EQ(stream["codec_tag_string"], "MSVC");
    const auto size = fs::file_size(movie);
    EXPECT_EQ(runKerris({"movie", movie}), 1) << "an existing file is kept";
    EXPECT_EQ(fs::file_size(movie), size);
    EXPECT_EQ(runKerris({"movie"}), 2);
    EXPECT_EQ(runKerris({"movie", m_out.path().toStdString() + "/no/such/folder.avi"}), 1);
}

} // namespace
