// "Auto Download Image" against the scriptable camera: names, stop rules, messages, cleanup.
#include "browser/media/bitmap_file.h"
#include "browser/media/download.h"
#include "tests/browser_media/fake_camera.h"
#include "tests/browser_media/recording_host.h"
#include "tests/platform/bitmap_builder.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace lumicart;
using namespace lumicart::media;
using namespace lumicart::media::testing;
using namespace kerris::test;

namespace {

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

LocalClock fixedDay(int year, int month, int day) {
    return [=] { return LocalTime{year, month, day, 12, 0, 0}; };
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetFakeCamera();
        ASSERT_TRUE(m_dir.isValid());
        m_host.folder = m_dir.path().toStdString() + "/";
    }
    void TearDown() override { SetBitmapWriteFaultForTesting(-1); }

    void givePictures(std::initializer_list<uint32_t> formats) {
        uint8_t seed = 1;
        for (uint32_t f : formats)
            fakeCamera().pictures.push_back({f, seed++});
    }

    DownloadResult run(const LocalClock& clock = fixedDay(2024, 1, 31)) {
        CameraSession session(m_api);
        DownloadResult result = AutoDownloadImage(session, m_host, clock);
        EXPECT_FALSE(session.connected());
        return result;
    }

    fs::path folder() const { return m_dir.path().toStdString(); }

    QTemporaryDir m_dir;
    CameraApi m_api = fakeCameraApi();
    RecordingHost m_host;
};

TEST_F(DownloadTest, NoPicturesShowsMessageFourWritesNothingAndNeverShowsProgress) {
    const DownloadResult result = run();
    EXPECT_EQ(result.end, DownloadEnd::NoPictures);
    EXPECT_EQ(m_host.messageNumbers(), std::vector<int>{kMsgNoImages});
    EXPECT_TRUE(filesIn(folder()).empty());
    EXPECT_FALSE(m_host.progressEverShown);
    EXPECT_EQ(fakeCamera().closes, 1);
    EXPECT_EQ(m_host.folderUpdates, 1) << "the folder is recomputed first";
}

TEST_F(DownloadTest, RunningNumberSkipsTakenNamesAndOnlyGrows) {
    std::ofstream(folder() / "20240131-01.bmp") << "old";
    std::ofstream(folder() / "20240131-03.bmp") << "old";
    givePictures({0, 0, 0});
    const DownloadResult result = run();
    EXPECT_EQ(result.end, DownloadEnd::Completed);
    EXPECT_EQ(filesIn(folder()),
              (std::vector<std::string>{"20240131-01.bmp", "20240131-02.bmp", "20240131-03.bmp",
                                        "20240131-04.bmp", "20240131-05.bmp"}));
    EXPECT_EQ(readAll(folder() / "20240131-01.bmp").size(), 3u) << "existing files are untouched";
    EXPECT_TRUE(m_host.messages.empty());
    // Picture i went into the i-th new name, pixels as uploaded.
    const auto frame = ReadBitmapFile((folder() / "20240131-04.bmp").string());
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width(), 352);
    EXPECT_EQ(frame->pixels()[5], fakePixel(2, 5));
}

TEST_F(DownloadTest, ProgressRunsFromZeroToTheCountThenHidesAndTheListIsRefreshed) {
    givePictures({0, 0, 0});
    run();
    EXPECT_EQ(m_host.events, (std::vector<std::string>{"show 0 3", "position 0", "position 1",
                                                       "position 2", "hide", "refresh"}));
    const auto& calls = fakeCamera().calls;
    const auto close = std::find(calls.begin(), calls.end(), "CpiCameraClose");
    const auto lastUpload = std::find(calls.rbegin(), calls.rend(), "CpiUploadImage").base();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "CpiCameraClose"), 1);
    EXPECT_TRUE(close > lastUpload - 1) << "the camera closes after the last upload";
}

TEST_F(DownloadTest, DateIsReadForEveryPictureSoMidnightSwitchesTheName) {
    givePictures({0, 0, 0});
    int calls = 0;
    const LocalClock clock = [&] {
        ++calls;
        return calls == 1 ? LocalTime{2024, 1, 31, 23, 59, 59} : LocalTime{2024, 2, 1, 0, 0, 1};
    };
    run(clock);
    EXPECT_EQ(calls, 3);
    // The number is shared by the run: it goes on from where it was.
    EXPECT_EQ(filesIn(folder()),
              (std::vector<std::string>{"20240131-01.bmp", "20240201-02.bmp", "20240201-03.bmp"}));
}

TEST_F(DownloadTest, FormatChangeMidDownloadMakesANewRecordAndGoesOn) {
    givePictures({0, 0, 1, 3});
    const DownloadResult result = run();
    EXPECT_EQ(result.end, DownloadEnd::Completed);
    ASSERT_EQ(result.files.size(), 4u);
    const int widths[] = {352, 352, 640, 320};
    for (int i = 0; i < 4; ++i) {
        const auto frame = ReadBitmapFile(result.files[i]);
        ASSERT_TRUE(frame) << i;
        EXPECT_EQ(frame->width(), widths[i]) << i;
    }
    EXPECT_EQ(fakeCamera().created, 3) << "one record before the loop and one per change";
    EXPECT_EQ(fakeCamera().freed, 3) << "each record is freed, the last one with the session";
}

struct StopCase {
    const char* name;
    void (*arrange)(FakeCamera&, int k);
};

class DownloadStopsAtPicture : public DownloadTest,
                               public ::testing::WithParamInterface<std::tuple<StopCase, int>> {};

TEST_P(DownloadStopsAtPicture, KeepsEarlierPicturesSilentlyRefreshesAndCloses) {
    const auto& [stop, k] = GetParam();
    givePictures({0, 0, 0, 0});
    // A format change right at k makes the record recreation part of the path.
    fakeCamera().pictures[std::size_t(k)].format = 3;
    stop.arrange(fakeCamera(), k);
    const DownloadResult result = run();
    const std::string name = stop.name;
    if (k == 0 && (name == "format" || name == "record")) {
        // Picture 0's format and record are made before the loop.
        EXPECT_EQ(result.end,
                  name == "format" ? DownloadEnd::FormatFailed : DownloadEnd::PictureFailed);
        EXPECT_FALSE(m_host.progressEverShown);
        EXPECT_EQ(m_host.refreshes, 0);
    } else {
        EXPECT_EQ(result.end, DownloadEnd::Stopped);
        EXPECT_EQ(m_host.refreshes, 1);
        EXPECT_FALSE(m_host.progressVisible);
    }
    EXPECT_EQ(result.files.size(), std::size_t(k));
    EXPECT_EQ(filesIn(folder()).size(), std::size_t(k));
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_EQ(fakeCamera().closes, 1);
    EXPECT_FALSE(fakeCamera().connectionOpen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadStopsAtPicture,
    ::testing::Combine(
        ::testing::Values(StopCase{"upload", [](FakeCamera& c, int k) { c.uploadFailsAt = k; }},
                          StopCase{"format", [](FakeCamera& c, int k) { c.formatFailsAt = k; }},
                          StopCase{"empty", [](FakeCamera& c, int k) { c.emptyPictureAt = k; }},
                          StopCase{"record",
                                   [](FakeCamera& c, int k) { c.createFailsAfter = k ? 1 : 0; }}),
        ::testing::Values(0, 1, 3)),
    [](const auto& p) {
        return std::string(std::get<0>(p.param).name) + "_at_" +
               std::to_string(std::get<1>(p.param));
    });

TEST_F(DownloadTest, OpenFailureShowsMessageThreeAndClosesAHandedBackConnection) {
    for (bool handBack : {false, true}) {
        SCOPED_TRACE(handBack);
        resetFakeCamera();
        givePictures({0});
        m_host.messages.clear();
        fakeCamera().openStatus = 0x43;
        fakeCamera().handBackOnOpenFailure = handBack;
        EXPECT_EQ(run().end, DownloadEnd::OpenFailed);
        EXPECT_EQ(m_host.messageNumbers(), std::vector<int>{kMsgCannotOpenCamera});
        EXPECT_EQ(fakeCamera().closes, handBack ? 1 : 0);
        EXPECT_FALSE(fakeCamera().connectionOpen);
        EXPECT_TRUE(filesIn(folder()).empty());
    }
}

TEST_F(DownloadTest, StateFailureEndsSilently) {
    givePictures({0});
    fakeCamera().stateStatus = 0x20;
    EXPECT_EQ(run().end, DownloadEnd::StateFailed);
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_EQ(fakeCamera().closes, 1);
    EXPECT_FALSE(m_host.progressEverShown);
}

TEST_F(DownloadTest, WriteFailureShowsMessageFiveKeepsEarlierFilesAndLeavesNoPartialOne) {
    givePictures({3, 3, 3});
    // The first file is written whole; the second fails 1000 bytes in.
    SetBitmapWriteFaultForTesting(1000, 1);
    const DownloadResult result = run();
    EXPECT_EQ(result.end, DownloadEnd::WriteFailed);
    EXPECT_EQ(m_host.messageNumbers(), std::vector<int>{kMsgCannotSave});
    EXPECT_EQ(filesIn(folder()), std::vector<std::string>{"20240131-01.bmp"})
        << "no broken picture and no temporary file";
    EXPECT_TRUE(ReadBitmapFile((folder() / "20240131-01.bmp").string()));
    EXPECT_EQ(m_host.events,
              (std::vector<std::string>{"show 0 3", "position 0", "maximum", "hide", "refresh"}));
    EXPECT_EQ(fakeCamera().uploaded, (std::vector<uint32_t>{0, 1})) << "the loop stops";
    EXPECT_EQ(fakeCamera().closes, 1);
}

TEST_F(DownloadTest, MissingLibraryShowsMessageOneAndCallsNothing) {
    CameraApi empty;
    CameraSession session(empty);
    givePictures({0});
    EXPECT_EQ(AutoDownloadImage(session, m_host, fixedDay(2024, 1, 31)).end,
              DownloadEnd::LibraryMissing);
    EXPECT_EQ(m_host.messageNumbers(), std::vector<int>{kMsgNoCameraLibrary});
    EXPECT_TRUE(fakeCamera().calls.empty());
}

TEST_F(DownloadTest, HundredthPictureGetsThreeDigits) {
    for (int i = 1; i <= 99; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "20240131-%02d.bmp", i);
        std::ofstream(folder() / name) << "x";
    }
    givePictures({2});
    run();
    EXPECT_TRUE(fs::exists(folder() / "20240131-100.bmp"));
}

TEST(PictureFileName, UsesTheCompressionForTheExtension) {
    struct Case {
        LocalTime date;
        unsigned number;
        uint32_t compression;
        const char* name;
    } cases[] = {
        {{2024, 1, 31}, 1, 0, "/p/20240131-01.bmp"},
        {{2024, 1, 31}, 99, 0, "/p/20240131-99.bmp"},
        {{2024, 1, 31}, 100, 0, "/p/20240131-100.bmp"},
        {{2024, 1, 31}, 65535, 0, "/p/20240131-65535.bmp"},
        {{2024, 12, 5}, 7, 1, "/p/20241205-07.jpg"},
        {{999, 1, 1}, 123, 0, "/p/09990101-123.bmp"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PictureFileName("/p/", c.date, c.number, c.compression), c.name);
}

// The free-name rule both the browser and the command-line tool download with.
const LocalTime kJan31{2024, 1, 31, 12, 0, 0};

TEST(NextFreePictureName, JoinsTheFolderWithOneSlash) {
    auto nothingTaken = [](const std::string&) { return false; };
    for (const char* folder : {"/f", "/f/"}) {
        uint16_t number = 0;
        std::string name;
        ASSERT_TRUE(NextFreePictureName(folder, kJan31, 0, number, name, nothingTaken));
        EXPECT_EQ(name, "/f/20240131-01.bmp") << folder;
    }
    uint16_t number = 0;
    std::string name;
    ASSERT_TRUE(NextFreePictureName("", kJan31, 0, number, name, nothingTaken));
    EXPECT_EQ(name, "20240131-01.bmp");
}

TEST(NextFreePictureName, ANewDateKeepsTheRunningNumber) {
    // The run's number is shared by all its pictures: after midnight it goes on from where it
    // was, even though the new day's low numbers are free.
    uint16_t number = 0;
    std::string name;
    auto nothingTaken = [](const std::string&) { return false; };
    ASSERT_TRUE(NextFreePictureName("/f/", kJan31, 0, number, name, nothingTaken));
    ASSERT_TRUE(NextFreePictureName("/f/", kJan31, 0, number, name, nothingTaken));
    ASSERT_TRUE(NextFreePictureName("/f/", {2024, 2, 1}, 0, number, name, nothingTaken));
    EXPECT_EQ(name, "/f/20240201-03.bmp");
}

TEST(NextFreePictureName, TheLastFreeNameThenNoneAndNoWrap) {
    // Everything but the very last number taken: that one is found, and after it nothing is.
    uint16_t number = 0;
    std::string name = "unchanged";
    int asked = 0;
    auto allButLast = [&asked](const std::string& n) {
        ++asked;
        return n != "/f/20240131-65535.bmp";
    };
    ASSERT_TRUE(NextFreePictureName("/f/", kJan31, 0, number, name, allButLast));
    EXPECT_EQ(name, "/f/20240131-65535.bmp");
    EXPECT_EQ(number, 0xFFFF);
    EXPECT_EQ(asked, 0xFFFF);
    // A run that already stands at the end does not wrap round to 0.
    name = "unchanged";
    EXPECT_FALSE(NextFreePictureName("/f/", kJan31, 0, number, name,
                                     [](const std::string&) { return false; }));
    EXPECT_EQ(name, "unchanged");
    number = 0;
    EXPECT_FALSE(NextFreePictureName("/f/", kJan31, 0, number, name,
                                     [](const std::string&) { return true; }));
    EXPECT_EQ(number, 0xFFFF);
    EXPECT_EQ(name, "unchanged");
}

TEST(NextFreePictureName, ADanglingLinkHoldsItsName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString() + "/";
    ASSERT_EQ(::symlink("/nonexistent/target", (folder + "20240131-01.bmp").c_str()), 0);
    std::ofstream(folder + "20240131-02.bmp") << "x";
    uint16_t number = 0;
    std::string name;
    ASSERT_TRUE(NextFreePictureName(folder, kJan31, 0, number, name));
    EXPECT_EQ(name, folder + "20240131-03.bmp");
}

} // namespace
