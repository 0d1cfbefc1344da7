// `kerris download` and `kerris list` run in-process against stand-in camera calls: the loop's
// stop rules, record sizes, names, messages and exit statuses.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/tools/tool_test_support.h"
#include "tools/kerris/commands.h"

using namespace kerris::tool;
using namespace tooltest;

namespace {

struct FakePicture {
    int width, height;
    std::uint32_t uploadStatus = 0;
    bool empty = false; // the upload "succeeds" but leaves width 0
};

// The stand-in camera; the calls below read and record it.
struct FakeCamera {
    std::uint32_t openStatus = 0;
    bool handBackOnFailure = false;
    std::uint32_t stateStatus = 0;
    std::uint32_t formatStatusAt = ~0u; // this index's format query fails
    std::vector<FakePicture> pictures;
    // Observations.
    int opens = 0, closes = 0;
    std::vector<std::pair<int, int>> created;
    int freed = 0;
    std::vector<std::uint32_t> uploaded;
} g_camera;

CpiConnection* const kConnection = reinterpret_cast<CpiConnection*>(0x1000);

std::uint32_t fakeEnum(std::uint32_t, std::uint32_t, std::uint8_t, std::uint16_t* ids,
                       std::uint8_t* count) noexcept {
    ids[0] = 0x2000;
    *count = 1;
    return 0;
}

std::uint32_t fakeNameGet(std::uint16_t, std::uint32_t, char* buffer) noexcept {
    std::strcpy(buffer, "Stand-in");
    return 0;
}

std::uint32_t fakeOpen(std::uint32_t, std::uint32_t, CpiConnection** c,
                       std::uint16_t* id) noexcept {
    ++g_camera.opens;
    if (id)
        *id = 0x2000;
    *c = (g_camera.openStatus == 0 || g_camera.handBackOnFailure) ? kConnection : nullptr;
    return g_camera.openStatus;
}

std::uint32_t fakeClose(CpiConnection* c) noexcept {
    EXPECT_EQ(c, kConnection);
    ++g_camera.closes;
    return 0;
}

std::uint32_t fakeErrorText(CpiConnection*, std::uint32_t, char* buffer, std::uint32_t) noexcept {
    std::strcpy(buffer, "stand-in transport failure");
    return 0;
}

std::uint32_t fakeInfo(CpiConnection*, CpiCameraInfo* info) noexcept {
    *info = CpiCameraInfo{};
    info->cameraVersion = 0x00620110;
    info->sensorId = 0x1941;
    info->thumbnailsStored = 1;
    return 0;
}

std::uint32_t fakeState(CpiConnection*, CpiCameraStateInfo* state) noexcept {
    *state = CpiCameraStateInfo{};
    state->ImageCount = std::uint16_t(g_camera.pictures.size());
    return g_camera.stateStatus;
}

std::uint32_t formatOf(const FakePicture& p) {
    if (p.width == 640)
        return 1;
    if (p.width == 176)
        return 2;
    if (p.width == 320)
        return 3;
    return 0;
}

std::uint32_t fakeFormat(CpiConnection*, std::uint32_t index, std::uint32_t* format,
                         CpiImageInfoEx* info) noexcept {
    if (index == g_camera.formatStatusAt || index >= g_camera.pictures.size())
        return 0x2010;
    const FakePicture& p = g_camera.pictures[index];
    *format = formatOf(p);
    if (info) {
        *info = CpiImageInfoEx{};
        info->imageWidth = std::uint16_t(p.width);
        info->imageHeight = std::uint16_t(p.height);
    }
    return 0;
}

CpiImage* fakeCreate(std::int32_t w, std::int32_t h) noexcept {
    g_camera.created.emplace_back(w, h);
    return CpiCreateImage(w, h);
}

std::uint32_t fakeFree(CpiImage* image) noexcept {
    const std::uint32_t status = CpiFreeImage(image);
    if (status == 0)
        ++g_camera.freed;
    return status;
}

std::uint32_t fakeUpload(CpiConnection*, std::uint32_t index, CpiImage* picture,
                         CpiImageDescriptor*) noexcept {
    g_camera.uploaded.push_back(index);
    const FakePicture& p = g_camera.pictures[index];
    if (p.uploadStatus != 0)
        return p.uploadStatus;
    if (picture->width != p.width || picture->height != p.height)
        return kCpiWrongSize;
    std::memset(cpiImagePixels(picture), int(index + 1), std::size_t(p.width) * p.height * 3);
    if (p.empty)
        picture->width = 0;
    return 0;
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_camera = FakeCamera{};
        m_out = std::tmpfile();
        m_err = std::tmpfile();
        env.api = CameraApi{};
        env.api.CpiCameraEnum = fakeEnum;
        env.api.CpiCameraNameGet = fakeNameGet;
        env.api.CpiCameraOpen = fakeOpen;
        env.api.CpiCameraClose = fakeClose;
        env.api.CpiGetErrorText = fakeErrorText;
        env.api.CpiGetCameraInfo = fakeInfo;
        env.api.CpiGetCameraStateInfo = fakeState;
        env.api.CpiGetImageFormatEx = fakeFormat;
        env.api.CpiCreateImage = fakeCreate;
        env.api.CpiFreeImage = fakeFree;
        env.api.CpiUploadImage = fakeUpload;
        env.date = [] { return lumicart::media::LocalTime{2024, 1, 31, 9, 0, 0}; };
        env.out = m_out;
        env.err = m_err;
    }
    void TearDown() override {
        std::fclose(m_out);
        std::fclose(m_err);
        // Every record made was given back, and the camera closed once opened.
        EXPECT_EQ(g_camera.freed, int(g_camera.created.size()));
        EXPECT_EQ(g_camera.closes, g_camera.opens == 0                                        ? 0
                                   : (g_camera.openStatus == 0 || g_camera.handBackOnFailure) ? 1
                                                                                              : 0);
    }
    static std::string text(std::FILE* f) {
        std::fflush(f);
        std::string all;
        std::rewind(f);
        char buffer[512];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            all.append(buffer, n);
        return all;
    }
    int download() { return runDownload({folder.path()}, env); }
    std::string errText() { return text(m_err); }
    std::string outText() { return text(m_out); }

    Environment env;
    TempFolder folder;

private:
    std::FILE* m_out = nullptr;
    std::FILE* m_err = nullptr;
};

} // namespace

TEST_F(DownloadTest, WritesEveryPictureUnderTheNextFreeNames) {
    g_camera.pictures = {{640, 480}, {640, 480}, {640, 480}};
    writeFile(folder / "20240131-01.bmp", "x");
    writeFile(folder / "20240131-03.bmp", "y");
    ASSERT_EQ(download(), kExitOk) << errText();
    EXPECT_EQ(entries(folder.path()),
              (std::set<std::string>{"20240131-01.bmp", "20240131-02.bmp", "20240131-03.bmp",
                                     "20240131-04.bmp", "20240131-05.bmp"}));
    // Picture i went to the i-th new name, each a whole bitmap of its pixels.
    const char* names[] = {"20240131-02.bmp", "20240131-04.bmp", "20240131-05.bmp"};
    for (int i = 0; i < 3; ++i) {
        const auto bytes = readFile(folder / names[i]);
        ASSERT_EQ(bytes.size(), 921654u) << names[i];
        EXPECT_EQ(bytes[54], i + 1) << names[i];
        EXPECT_EQ(bytes.back(), i + 1) << names[i];
    }
    EXPECT_EQ(outText(), folder / "20240131-02.bmp\n" + folder / "20240131-04.bmp\n" +
                             folder / "20240131-05.bmp\n");
    EXPECT_EQ(g_camera.created.size(), 1u) << "one record for pictures of one size";
}

TEST_F(DownloadTest, ANewFormatGetsARecordOfItsSize) {
    g_camera.pictures = {{640, 480}, {176, 144}, {176, 144}, {320, 240}, {640, 480}};
    ASSERT_EQ(download(), kExitOk) << errText();
    EXPECT_EQ(g_camera.created,
              (std::vector<std::pair<int, int>>{{640, 480}, {176, 144}, {320, 240}, {640, 480}}));
    EXPECT_EQ(readFile(folder / "20240131-02.bmp").size(), 54u + 176 * 144 * 3);
    EXPECT_EQ(readFile(folder / "20240131-04.bmp").size(), 54u + 320 * 240 * 3);
    EXPECT_EQ(entries(folder.path()).size(), 5u);
}

TEST_F(DownloadTest, AnUploadFailureStopsKeepsEarlierFilesAndFails) {
    g_camera.pictures = {{352, 288}, {352, 288}, {352, 288, 0x200F}, {352, 288}};
    EXPECT_EQ(download(), kExitFailed);
    EXPECT_EQ(entries(folder.path()),
              (std::set<std::string>{"20240131-01.bmp", "20240131-02.bmp"}));
    EXPECT_EQ(g_camera.uploaded, (std::vector<std::uint32_t>{0, 1, 2}));
    const std::string err = errText();
    EXPECT_NE(err.find("picture 3 of 4: upload failed: status 0x200F (stand-in transport failure)"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("2 of 4 pictures written"), std::string::npos) << err;
}

TEST_F(DownloadTest, OtherStopsFailClearly) {
    struct Case {
        const char* what;
        std::vector<FakePicture> pictures;
        std::uint32_t formatStatusAt;
        const char* message;
        std::size_t files;
    } cases[] = {
        {"empty picture", {{640, 480}, {640, 480, 0, true}}, ~0u, "empty picture", 1},
        {"format query", {{640, 480}, {640, 480}}, 1, "could not read its format", 1},
        {"first format query", {{640, 480}}, 0, "picture 1 of 1: could not read its format", 0},
        {"colour library",
         {{640, 480, kCpiColourFailed}},
         ~0u,
         "colour library is missing or failed",
         0},
    };
    for (const auto& c : cases) {
        SetUp();
        TempFolder own;
        g_camera.pictures = c.pictures;
        g_camera.formatStatusAt = c.formatStatusAt;
        EXPECT_EQ(runDownload({own.path()}, env), kExitFailed) << c.what;
        EXPECT_EQ(entries(own.path()).size(), c.files) << c.what;
        const std::string err = errText();
        EXPECT_NE(err.find(c.message), std::string::npos) << c.what << ": " << err;
        EXPECT_EQ(g_camera.freed, int(g_camera.created.size())) << c.what;
        EXPECT_EQ(g_camera.closes, 1) << c.what;
        TearDown();
    }
    SetUp();
}

TEST_F(DownloadTest, AFullDiskStopsWithoutAPartialFile) {
    g_camera.pictures = {{176, 144}, {176, 144}, {176, 144}};
    // A picture file is 76 086 bytes; none fits under this limit.
    FileSizeLimit limit(50000);
    EXPECT_EQ(download(), kExitFailed);
    EXPECT_TRUE(entries(folder.path()).empty()) << "no file and no temporary file";
    const std::string err = errText();
    EXPECT_NE(err.find("cannot save " + folder / "20240131-01.bmp"), std::string::npos) << err;
}

TEST_F(DownloadTest, NoPicturesIsNotAFailure) {
    EXPECT_EQ(download(), kExitOk);
    EXPECT_TRUE(entries(folder.path()).empty());
    EXPECT_NE(errText().find("no pictures on the camera"), std::string::npos);
    EXPECT_TRUE(g_camera.created.empty());
}

TEST_F(DownloadTest, OpenFailuresCloseWhatWasHandedBack) {
    for (bool handBack : {false, true}) {
        SetUp();
        g_camera.pictures = {{640, 480}};
        g_camera.openStatus = kCpiEchoMismatch;
        g_camera.handBackOnFailure = handBack;
        EXPECT_EQ(download(), kExitFailed);
        EXPECT_EQ(g_camera.closes, handBack ? 1 : 0);
        EXPECT_NE(errText().find("could not open the camera: status 0x43"), std::string::npos);
        EXPECT_TRUE(entries(folder.path()).empty());
        TearDown();
    }
    SetUp();
}

TEST_F(DownloadTest, StateFailureAndBadArguments) {
    g_camera.pictures = {{640, 480}};
    g_camera.stateStatus = 0x2010;
    EXPECT_EQ(download(), kExitFailed);
    EXPECT_NE(errText().find("could not read the camera's state"), std::string::npos);

    const int opensBefore = g_camera.opens;
    EXPECT_EQ(runDownload({}, env), kExitUsage);
    EXPECT_EQ(runDownload({"a", "b"}, env), kExitUsage);
    EXPECT_EQ(runDownload({folder / "missing"}, env), kExitFailed);
    writeFile(folder / "file", "x");
    EXPECT_EQ(runDownload({folder / "file"}, env), kExitFailed);
    EXPECT_EQ(g_camera.opens, opensBefore) << "the camera is not opened for a bad folder";
}

TEST_F(DownloadTest, ProgressBarOnATerminalOnly) {
    g_camera.pictures = {{176, 144}, {176, 144}};
    env.forceProgress = true;
    ASSERT_EQ(download(), kExitOk);
    const std::string err = errText();
    EXPECT_NE(err.find("[###############---------------] 1/2  20240131-01.bmp"), std::string::npos)
        << err;
    EXPECT_NE(err.find("[##############################] 2/2  20240131-02.bmp"), std::string::npos)
        << err;
    EXPECT_EQ(err.back(), '\n');
}

TEST_F(DownloadTest, ListShowsTheCameraAndItsPictures) {
    g_camera.pictures = {{640, 480}, {176, 144}};
    ASSERT_EQ(runList({}, env), kExitOk) << errText();
    const std::string out = outText();
    for (const char* line :
         {"camera 0x2000", "USB, camera number 0", "Stand-in", "0x00620110 (extended command set)",
          "sensor id          0x1941", "thumbnails stored  yes", "pictures           2",
          "first picture      640 x 480"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    EXPECT_EQ(g_camera.closes, 1);
    EXPECT_EQ(runList({"extra"}, env), kExitUsage);
}
