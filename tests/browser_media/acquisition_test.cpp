// "&Active" and "&Select Source": the order of the source's operations on every path, the
// acquired name, and real acquisitions from SANE's test device.
#include "browser/media/acquisition.h"
#include "browser/media/bitmap_file.h"
#include "platform/acquire/sane_source.h"
#include "tests/browser_media/recording_host.h"
#include "tests/browser_media/scripted_source.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <cstdlib>

#include <dlfcn.h>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace lumicart::media;
using namespace lumicart::media::testing;
using kerris::acquire::ImageHandle;

namespace {

const LocalClock kClock = [] { return LocalTime{2024, 1, 31, 15, 45, 2}; };

class ActiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.path().toStdString() + "/";
    }
    ActiveResult run() { return Active(m_source, m_image, m_host, kClock, m_folder, nullptr); }
    QTemporaryDir m_dir;
    std::string m_folder;
    ScriptedSource m_source;
    RecordingHost m_host;
    ImageHandle m_image = 0;
};

TEST_F(ActiveTest, AcquiredImageIsWrittenUnderTheTimeShownAndTheListRefreshed) {
    const ActiveResult result = run();
    EXPECT_TRUE(result.written);
    EXPECT_EQ(result.fileName, m_folder + "20240131154502.bmp");
    EXPECT_EQ(m_source.calls, (std::vector<int>{44, 35, 2, 10, 12, 49, 17, 13, 5}));
    EXPECT_EQ(m_image, 0u);
    EXPECT_EQ(m_host.events, (std::vector<std::string>{"clear preview", "preview", "refresh"}));
    EXPECT_EQ(m_host.previewed, std::vector<std::string>{result.fileName});
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_EQ(m_host.folderUpdates, 0) << "the folder is not recomputed from the tree";
    EXPECT_TRUE(ReadBitmapFile(result.fileName));
}

struct QuietCase {
    const char* name;
    uint32_t open;
    ImageHandle image;
    uint32_t width, height;
    std::vector<int> calls;
};

class ActiveEndsQuietly : public ActiveTest, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(ActiveEndsQuietly, WithoutFileMessageOrRefresh) {
    const QuietCase& c = GetParam();
    m_source.openAnswer = c.open;
    m_source.acquireAnswer = c.image;
    m_source.width = c.width;
    m_source.height = c.height;
    const ActiveResult result = run();
    EXPECT_FALSE(result.written);
    EXPECT_EQ(m_source.calls, c.calls);
    EXPECT_EQ(m_image, 0u);
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_EQ(m_host.refreshes, 0);
    EXPECT_TRUE(m_host.previewed.empty());
    EXPECT_EQ(m_host.previewClears, 1) << "the preview is left empty";
    EXPECT_TRUE(fs::is_empty(m_dir.path().toStdString()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActiveEndsQuietly,
    ::testing::Values(QuietCase{"start_refused", 0, 7, 4, 3, {44, 35, 13, 5}},
                      QuietCase{"nothing_delivered", 1, 0, 4, 3, {44, 35, 2, 13, 5}},
                      QuietCase{"width_zero", 1, 7, 0, 3, {44, 35, 2, 10, 12, 17, 13, 5}},
                      QuietCase{"height_zero", 1, 7, 4, 0, {44, 35, 2, 10, 12, 17, 13, 5}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ActiveTest, ImageLeftFromBeforeIsFreedFirst) {
    m_image = 3;
    m_source.openAnswer = 0;
    run();
    EXPECT_EQ(m_source.calls.front(), 17);
    EXPECT_EQ(m_image, 0u);
}

TEST_F(ActiveTest, TwoAcquisitionsInOneSecondShareTheNameTheSecondReplacing) {
    run();
    m_source.width = 8;
    const ActiveResult second = run();
    EXPECT_EQ(fs::file_size(second.fileName), 54u + 8 * 3 * 3);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(m_dir.path().toStdString()))
        ++files;
    EXPECT_EQ(files, 1u);
}

TEST(AcquiredName, IsTheLocalTimeToTheSecond) {
    EXPECT_EQ(AcquiredName("/p/", {2024, 1, 31, 15, 45, 2}), "/p/20240131154502.bmp");
    EXPECT_EQ(AcquiredName("/p/", {2024, 12, 1, 0, 0, 0}), "/p/20241201000000.bmp");
}

TEST(WriteRgbBitmap, RefusesImagesWhoseDataDoesNotMatchTheirSize) {
    QTemporaryDir dir;
    const std::string name = dir.filePath("x.bmp").toStdString();
    EXPECT_FALSE(kerris::acquire::WriteRgbBitmap({2, 2, std::vector<uint8_t>(11)}, name));
    EXPECT_FALSE(kerris::acquire::WriteRgbBitmap({0, 2, {}}, name));
    EXPECT_FALSE(kerris::acquire::WriteRgbBitmap({2, 2, std::vector<uint8_t>(12)},
                                                 dir.filePath("no/x.bmp").toStdString()));
    EXPECT_TRUE(fs::is_empty(dir.path().toStdString()));
}

// ---- SANE's test device ----------------------------------------------------------------

// SANE reads its configuration folder once per process, so all tests share one; each test
// rewrites the test device's options, which are read again whenever a session starts.
// The folder goes with the process (a test program is run once per case).
QTemporaryDir& saneConfig() {
    static QTemporaryDir folder;
    static const bool written = [] {
        ::setenv("SANE_CONFIG_DIR", folder.path().toLocal8Bit().constData(), 1);
        std::ofstream(folder.filePath("dll.conf").toStdString()) << "test\n";
        return true;
    }();
    (void)written;
    return folder;
}

// SANE unloads its test backend at the end of every session; its reader now and then keeps a
// buffer it never frees, which the leak checker could then only show with an unknown stack.
// Kept loaded, the backend's own allocations carry its name (and tests/lsan.supp names it).
void keepTheTestBackendLoaded() {
    static void* backend = ::dlopen("libsane-test.so.1", RTLD_NOW | RTLD_NODELETE);
    static void* inFolder = backend ? backend
                                    : ::dlopen("/usr/lib/x86_64-linux-gnu/sane/libsane-test.so.1",
                                               RTLD_NOW | RTLD_NODELETE);
    (void)inFolder;
}

class SaneTestDevice : public ::testing::Test {
protected:
    void SetUp() override {
        keepTheTestBackendLoaded();
        ASSERT_TRUE(saneConfig().isValid() && m_out.isValid());
    }
    // The test device's options for the next session.
    void configure(const std::string& lines) {
        std::ofstream(saneConfig().filePath("test.conf").toStdString())
            << "number_of_devices 2\nresolution 50\nbr_x 40.0\nbr_y 30.0\n"
            << lines;
    }
    // A whole acquisition through the source; the written file's picture, or a null image.
    QImage acquire(kerris::acquire::SaneSource& source) {
        ImageHandle image = 0;
        RecordingHost host;
        const ActiveResult result =
            Active(source, image, host, kClock, m_out.path().toStdString() + "/", nullptr);
        return result.written ? QImage(QString::fromStdString(result.fileName)) : QImage();
    }
    QTemporaryDir m_out;
};

TEST_F(SaneTestDevice, ListsItsDevicesAndSelectsThroughTheChooser) {
    configure("");
    std::vector<std::string> offered;
    kerris::acquire::SaneSource source([&](const std::vector<kerris::acquire::SourceInfo>& list) {
        for (const auto& s : list)
            offered.push_back(s.name);
        return std::optional<std::size_t>(1);
    });
    EXPECT_NE(source.isAvailable(), 0u);
    EXPECT_EQ(source.selectSource(nullptr), 1u);
    EXPECT_EQ(offered, (std::vector<std::string>{"test:0", "test:1"}));
    EXPECT_EQ(source.selectedDevice(), "test:1");

    kerris::acquire::SaneSource cancelled([](const auto&) { return std::optional<std::size_t>(); });
    EXPECT_EQ(cancelled.selectSource(nullptr), 0u);
    EXPECT_TRUE(cancelled.selectedDevice().empty());
}

struct SaneCase {
    const char* name;
    const char* options;
    QRgb expected; // the picture's colour at its centre; 0 for "several colours"
};

class SaneAcquires : public SaneTestDevice, public ::testing::WithParamInterface<SaneCase> {};

TEST_P(SaneAcquires, OneImageAsATwentyFourBitBitmap) {
    configure(GetParam().options);
    kerris::acquire::SaneSource source;
    const QImage picture = acquire(source);
    ASSERT_FALSE(picture.isNull());
    // 40 x 30 mm at 50 dots per inch.
    EXPECT_NEAR(picture.width(), 79, 2);
    EXPECT_NEAR(picture.height(), 59, 2);
    if (GetParam().expected != 0) {
        EXPECT_EQ(picture.pixel(picture.width() / 2, picture.height() / 2) & 0xFFFFFF,
                  GetParam().expected & 0xFFFFFF);
    } else {
        QSet<QRgb> colours;
        for (int x = 0; x < picture.width(); x += 3)
            colours.insert(picture.pixel(x, picture.height() / 2));
        EXPECT_GT(colours.size(), 2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SaneAcquires,
    ::testing::Values(
        SaneCase{"gray_black", "mode Gray\ndepth 8\ntest-picture \"Solid black\"\n", qRgb(0, 0, 0)},
        SaneCase{"gray_white", "mode Gray\ndepth 8\ntest-picture \"Solid white\"\n",
                 qRgb(255, 255, 255)},
        SaneCase{"lineart_white", "mode Gray\ndepth 1\ntest-picture \"Solid white\"\n",
                 qRgb(255, 255, 255)},
        SaneCase{"gray_sixteen_bit", "mode Gray\ndepth 16\ntest-picture \"Solid white\"\n",
                 qRgb(255, 255, 255)},
        SaneCase{"colour_pattern", "mode Color\ndepth 8\ntest-picture \"Color pattern\"\n", 0},
        SaneCase{"colour_three_pass",
                 "mode Color\ndepth 8\nthree-pass true\ntest-picture \"Color pattern\"\n", 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(SaneTestDevice, FailingReadDeliversNoImageAndWritesNothing) {
    configure("mode Gray\ndepth 8\nread-status-code \"SANE_STATUS_IO_ERROR\"\n");
    kerris::acquire::SaneSource source;
    EXPECT_TRUE(acquire(source).isNull());
    EXPECT_TRUE(fs::is_empty(m_out.path().toStdString()));
}

} // namespace
