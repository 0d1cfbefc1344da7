// Movies: the writer's stream as ffprobe sees it, round-trip quality, and the two movie commands.
#include "browser/media/movie_commands.h"
#include "tests/browser_media/fake_camera.h"
#include "tests/browser_media/movie_probe.h"
#include "tests/browser_media/recording_host.h"
#include "tests/platform/bitmap_builder.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <filesystem>
#include <iostream>

namespace fs = std::filesystem;
using namespace lumicart;
using namespace lumicart::media;
using namespace lumicart::media::testing;
using namespace kerris::test;

namespace {

// A smooth test picture: what a camera delivers is closer to this than to noise.
Frame gradientFrame(int width, int height, int seed) {
    Frame frame(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = frame.row(y) + 3 * x;
            p[0] = uint8_t((x * 255) / std::max(width - 1, 1));
            p[1] = uint8_t((y * 255) / std::max(height - 1, 1));
            p[2] = uint8_t(seed * 40 + (x + y) / 4);
        }
    return frame;
}

// Gentle ramps that do not depend on the size, for tiny frames.
Frame gentleFrame(int width, int height) {
    Frame frame(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = frame.row(y) + 3 * x;
            p[0] = uint8_t(60 + x % 128), p[1] = uint8_t(90 + y % 128), p[2] = 150;
        }
    return frame;
}

class MovieTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetFakeCamera();
        ASSERT_TRUE(m_dir.isValid());
        m_host.saveName = movie();
    }
    fs::path folder() const { return m_dir.path().toStdString(); }
    std::string movie() const { return (folder() / "movie.avi").string(); }
    std::size_t entries() const {
        return std::size_t(
            std::distance(fs::directory_iterator(folder()), fs::directory_iterator()));
    }
    QTemporaryDir m_dir;
    RecordingHost m_host;
    CameraApi m_api = fakeCameraApi();
};

TEST_F(MovieTest, StreamIsVideoOneAtFifteenFramesNamedOvikAnimation) {
    std::vector<Frame> frames;
    for (int i = 0; i < 3; ++i)
        frames.push_back(gradientFrame(352, 288, i));
    {
        MovieWriter writer;
        ASSERT_TRUE(writer.open(movie(), ViewOf(frames[0])));
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(writer.WriteMovieFrame(i, ViewOf(frames[std::size_t(i)])));
        writer.CloseMovieFile();
    }
    auto stream = ProbeMovieStream(movie());
    EXPECT_EQ(stream["codec_name"], "msvideo1");
    EXPECT_EQ(stream["codec_tag_string"], "MSVC");
    EXPECT_EQ(stream["r_frame_rate"], "15/1");
    EXPECT_EQ(stream["nb_read_frames"], "3");
    EXPECT_EQ(stream["width"], "352");
    EXPECT_EQ(stream["height"], "288");
    EXPECT_EQ(stream["TAG:title"], kMovieStreamName);

    const auto decoded = DecodeMovie(movie());
    ASSERT_EQ(decoded.size(), 3u);
    double worst = 99;
    for (std::size_t i = 0; i < 3; ++i)
        worst = std::min(worst,
                         FramePsnr(decoded[i], frames[i].pixels(), 352, 288, frames[i].stride()));
    std::cout << "round-trip PSNR (worst of 3 frames, 352x288 gradient): " << worst << " dB\n";
    RecordProperty("psnr_db", std::to_string(worst));
    EXPECT_GT(worst, 30.0);
}

TEST_F(MovieTest, KeyFrameEverySevenFrames) {
    const Frame frame = gradientFrame(64, 48, 1);
    MovieWriter writer;
    ASSERT_TRUE(writer.open(movie(), ViewOf(frame)));
    for (int i = 0; i < 16; ++i)
        ASSERT_TRUE(writer.WriteMovieFrame(i, ViewOf(frame)));
    writer.CloseMovieFile();
    const auto keys = ProbeKeyFrames(movie());
    ASSERT_EQ(keys.size(), 16u);
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(keys[i], i % 7 == 0) << "frame " << i;
}

TEST_F(MovieTest, SizesTheCodecCannotTakeArePaddedToWholeBlocks) {
    struct Case {
        int width, height;
    };
    for (const Case c : {Case{5, 3}, Case{1, 1}, Case{321, 242}, Case{4, 4}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const Frame frame = gentleFrame(c.width, c.height);
        MovieWriter writer;
        ASSERT_TRUE(writer.open(movie(), ViewOf(frame)));
        ASSERT_TRUE(writer.WriteMovieFrame(0, ViewOf(frame)));
        writer.CloseMovieFile();
        auto stream = ProbeMovieStream(movie());
        EXPECT_EQ(stream["width"], std::to_string(CodedSide(c.width)));
        EXPECT_EQ(stream["height"], std::to_string(CodedSide(c.height)));
        const auto decoded = DecodeMovie(movie());
        ASSERT_EQ(decoded.size(), 1u);
        EXPECT_GT(FramePsnr(decoded[0], frame.pixels(), c.width, c.height, frame.stride()), 28.0);
    }
}

TEST_F(MovieTest, FramesThatCannotStartAMovieCreateNoFile) {
    Frame compressed = gradientFrame(8, 8, 0);
    FrameView views[3] = {ViewOf(gradientFrame(8, 8, 0)), ViewOf(Frame(0, 0)), ViewOf(compressed)};
    views[0].pixels = nullptr;
    views[2].compression = 1;
    for (const FrameView& view : views) {
        MovieWriter writer;
        EXPECT_FALSE(writer.open(movie(), view));
        EXPECT_FALSE(writer.isOpen());
        EXPECT_EQ(entries(), 0u);
    }
    MovieWriter writer;
    EXPECT_FALSE(writer.open((folder() / "missing" / "m.avi").string(), ViewOf(compressed)));
}

TEST_F(MovieTest, FrameOfAnotherSizeIsRefusedAndTheMovieKeepsEarlierFrames) {
    const Frame a = gradientFrame(32, 32, 0), b = gradientFrame(64, 32, 0);
    MovieWriter writer;
    ASSERT_TRUE(writer.open(movie(), ViewOf(a)));
    EXPECT_TRUE(writer.WriteMovieFrame(0, ViewOf(a)));
    EXPECT_FALSE(writer.WriteMovieFrame(1, ViewOf(b)));
    EXPECT_FALSE(MovieWriter().WriteMovieFrame(0, ViewOf(a))) << "nothing open";
    writer.CloseMovieFile();
    writer.CloseMovieFile();
    EXPECT_EQ(ProbeMovieStream(movie())["nb_read_frames"], "1");
}

TEST(MovieSettings, CompressionOptionsAndStreamHeader) {
    const CompressionOptions options = InitCompressionOptions();
    EXPECT_EQ(options.handler, FourCC('M', 'S', 'V', 'C'));
    EXPECT_EQ(options.streamType, FourCC('v', 'i', 'd', 's'));
    EXPECT_EQ(options.keyFrameEvery, 7u);
    EXPECT_EQ(options.quality, 0xFFFFFFFFu);
    EXPECT_EQ(options.bytesPerSecond, 6500u);
    EXPECT_EQ(options.flags, 8u);
    const StreamInfo info = FillStreamInfo(0, 320, 240);
    EXPECT_EQ(info.rate / info.scale, 15u);
    EXPECT_EQ(info.right, 320);
    EXPECT_EQ(info.bottom, 240);
    EXPECT_EQ(info.name, "OVIK Animation");
}

// ---- From the camera ---------------------------------------------------------------------

class CameraMovieTest : public MovieTest {
protected:
    MovieResult run() {
        CameraSession session(m_api);
        MovieWriter writer;
        MovieResult result = CreateCameraMovie(session, writer, m_host);
        EXPECT_FALSE(session.connected());
        EXPECT_FALSE(writer.isOpen());
        return result;
    }
};

TEST_F(CameraMovieTest, StopsAtTheFirstPictureOfAnotherFormat) {
    fakeCamera().pictures = {{0, 1}, {0, 2}, {1, 3}, {0, 4}};
    const MovieResult result = run();
    EXPECT_EQ(result.end, MovieEnd::Stopped);
    EXPECT_EQ(result.frames, 2);
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_EQ(fakeCamera().uploaded, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(ProbeMovieStream(movie())["nb_read_frames"], "2");
    EXPECT_EQ(fakeCamera().closes, 1);
    EXPECT_EQ(m_host.events.front(), "show 0 4");
    EXPECT_EQ(m_host.events.back(), "hide");
}

TEST_F(CameraMovieTest, EveryPictureOfOneFormatDecodesCloseToTheCameraPicture) {
    fakeCamera().pictures = {{3, 1}, {3, 2}, {3, 3}};
    const MovieResult result = run();
    EXPECT_EQ(result.end, MovieEnd::Completed);
    const auto decoded = DecodeMovie(movie());
    ASSERT_EQ(decoded.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        std::vector<uint8_t> source(320 * 240 * 3);
        for (std::size_t k = 0; k < source.size(); ++k)
            source[k] = fakePixel(uint8_t(i + 1), k);
        EXPECT_GT(FramePsnr(decoded[i], source.data(), 320, 240, 320 * 3), 30.0) << i;
    }
    EXPECT_EQ(ProbeMovieStream(movie())["width"], "320");
}

TEST_F(CameraMovieTest, NoPicturesShowsMessageFourAndAsksNoName) {
    EXPECT_EQ(run().end, MovieEnd::NoPictures);
    EXPECT_EQ(m_host.messageNumbers(), std::vector<int>{kMsgNoImages});
    EXPECT_EQ(m_host.saveDialogs, 0);
    EXPECT_EQ(entries(), 0u);
    EXPECT_EQ(fakeCamera().closes, 1);
}

TEST_F(CameraMovieTest, CancelledSaveDialogMakesNoFileAndClosesTheCamera) {
    fakeCamera().pictures = {{0, 1}};
    m_host.saveName.reset();
    EXPECT_EQ(run().end, MovieEnd::NoMovie);
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_EQ(m_host.saveDialogs, 1);
    EXPECT_EQ(entries(), 0u);
    EXPECT_TRUE(fakeCamera().uploaded.empty());
}

// A program with no dialogs, folders or preview (the kerris tool): only messages and progress.
struct ReportsOnlyHost final : CommandHost {
    std::vector<int> messages;
    int progressCalls = 0;
    bool progressVisible = false;
    void showMessageEntry(int entry, const std::optional<std::string>&) override {
        messages.push_back(entry);
    }
    void showProgress(int, int, int) override { ++progressCalls, progressVisible = true; }
    void setProgressRange(int, int) override { ++progressCalls; }
    void setProgressPosition(int) override { ++progressCalls; }
    void moveProgressToMaximum() override { ++progressCalls; }
    void hideProgress() override { ++progressCalls, progressVisible = false; }
};

TEST_F(CameraMovieTest, ANamedMovieNeedsOnlyMessagesAndProgress) {
    struct Case {
        const char* name;
        std::vector<FakeCamera::Picture> pictures;
        bool emptyName;
        MovieEnd end;
        int frames;
        std::vector<int> messages;
    } cases[] = {
        {"two pictures", {{0, 1}, {0, 2}}, false, MovieEnd::Completed, 2, {}},
        {"no pictures", {}, false, MovieEnd::NoPictures, 0, {kMsgNoImages}},
        {"an empty name", {{0, 1}}, true, MovieEnd::NoMovie, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(movie());
        fakeCamera().pictures = c.pictures;
        fakeCamera().closes = 0;
        ReportsOnlyHost host;
        CameraSession session(m_api);
        MovieWriter writer;
        const MovieResult result =
            CreateCameraMovie(session, writer, host, c.emptyName ? std::string() : movie());
        EXPECT_EQ(result.end, c.end);
        EXPECT_EQ(result.frames, c.frames);
        EXPECT_EQ(host.messages, c.messages);
        EXPECT_FALSE(host.progressVisible);
        EXPECT_EQ(fakeCamera().closes, 1);
        EXPECT_EQ(entries(), c.frames > 0 ? 1u : 0u);
        EXPECT_EQ(m_host.saveDialogs, 0) << "no dialog is asked for a named movie";
    }
}

TEST_F(CameraMovieTest, OpenFailureShowsMessageThree) {
    fakeCamera().pictures = {{0, 1}};
    fakeCamera().openStatus = 0x30;
    fakeCamera().handBackOnOpenFailure = true;
    EXPECT_EQ(run().end, MovieEnd::OpenFailed);
    EXPECT_EQ(m_host.messageNumbers(), std::vector<int>{kMsgCannotOpenCamera});
    EXPECT_EQ(fakeCamera().closes, 1);
}

TEST_F(CameraMovieTest, UploadFailureKeepsTheFramesBeforeIt) {
    fakeCamera().pictures = {{2, 1}, {2, 2}, {2, 3}};
    fakeCamera().uploadFailsAt = 2;
    EXPECT_EQ(run().end, MovieEnd::Stopped);
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_EQ(ProbeMovieStream(movie())["nb_read_frames"], "2");
}

// ---- From selected bitmap files -----------------------------------------------------------

class FileMovieTest : public MovieTest {
protected:
    SelectedFile solid(const std::string& name, int w, int h, uint8_t b, uint8_t g, uint8_t r) {
        const fs::path path = folder() / name;
        writeSolidBitmap(path, w, h, b, g, r);
        return {path.string(), name};
    }
    MovieResult run(const std::vector<SelectedFile>& selection) {
        MovieWriter writer;
        MovieResult result = CreateFileMovie(selection, ProbeStandardBitmap, writer, m_host);
        EXPECT_FALSE(writer.isOpen());
        return result;
    }
};

TEST_F(FileMovieTest, DifferentSizeNamesTheFirstMismatchAndLeavesNoMovie) {
    const auto a = solid("a.bmp", 320, 240, 1, 2, 3);
    const auto b = solid("b.bmp", 320, 240, 1, 2, 3);
    const auto big = solid("big.bmp", 640, 480, 1, 2, 3);
    struct Case {
        std::vector<SelectedFile> selection;
        std::string named;
    };
    for (const Case& c : {Case{{a, b, big}, "big.bmp"}, Case{{big, a, b}, "a.bmp"}}) {
        m_host.messages.clear();
        EXPECT_EQ(run(c.selection).end, MovieEnd::DifferentSize);
        ASSERT_EQ(m_host.messages.size(), 1u);
        EXPECT_EQ(m_host.messages[0].first, kMsgDifferentSize);
        EXPECT_EQ(m_host.messages[0].second, c.named);
        EXPECT_FALSE(fs::exists(movie()));
        EXPECT_EQ(m_host.saveDialogs, 0);
    }
}

TEST_F(FileMovieTest, NonBitmapIsNamedWithMessageNine) {
    const auto a = solid("a.bmp", 32, 32, 1, 2, 3);
    QImage jpeg(32, 32, QImage::Format_RGB32);
    jpeg.fill(Qt::red);
    ASSERT_TRUE(jpeg.save(QString::fromStdString((folder() / "photo.jpg").string()), "JPG"));
    const SelectedFile photo{(folder() / "photo.jpg").string(), "photo.jpg"};
    // Checked in order: the JPEG is found even after a good bitmap, and before a size mismatch.
    const auto big = solid("big.bmp", 64, 64, 1, 2, 3);
    EXPECT_EQ(run({a, photo, big}).end, MovieEnd::NotBitmap);
    ASSERT_EQ(m_host.messages.size(), 1u);
    EXPECT_EQ(m_host.messages[0],
              std::make_pair(int(kMsgBitmapOnly), std::optional<std::string>("photo.jpg")));
    EXPECT_FALSE(fs::exists(movie()));
}

TEST_F(FileMovieTest, NothingSelectedShowsMessageSix) {
    EXPECT_EQ(run({}).end, MovieEnd::NothingSelected);
    EXPECT_EQ(m_host.messageNumbers(), std::vector<int>{kMsgNoFilesSelected});
}

TEST_F(FileMovieTest, SingleBitmapGivesAOneFrameMovie) {
    const MovieResult result = run({solid("one.bmp", 176, 144, 200, 100, 50)});
    EXPECT_EQ(result.end, MovieEnd::Completed);
    EXPECT_EQ(result.frames, 1);
    auto stream = ProbeMovieStream(movie());
    EXPECT_EQ(stream["nb_read_frames"], "1");
    EXPECT_EQ(stream["TAG:title"], "OVIK Animation");
    EXPECT_TRUE(m_host.messages.empty());
}

TEST_F(FileMovieTest, FrameOrderFollowsTheListOrder) {
    const auto red = solid("r.bmp", 64, 48, 0, 0, 255);
    const auto green = solid("g.bmp", 64, 48, 0, 255, 0);
    const auto blue = solid("b.bmp", 64, 48, 255, 0, 0);
    ASSERT_EQ(run({green, blue, red}).end, MovieEnd::Completed);
    const auto decoded = DecodeMovie(movie());
    ASSERT_EQ(decoded.size(), 3u);
    auto dominant = [](const DecodedFrame& f) {
        const uint8_t* p = &f.rgb[(20 * std::size_t(f.width) + 30) * 3];
        return p[0] > 200 ? 'r' : p[1] > 200 ? 'g' : p[2] > 200 ? 'b' : '?';
    };
    const std::string order = {dominant(decoded[0]), dominant(decoded[1]), dominant(decoded[2])};
    EXPECT_EQ(order, "gbr");
}

TEST_F(FileMovieTest, PaletteBitmapsMakeCorrectFrames) {
    BitmapBuilder builder;
    builder.width = 8, builder.height = 8, builder.bits = 8, builder.coloursUsed = 2;
    builder.table = {0, 0, 255, 0, 255, 0, 0, 0}; // 0 red, 1 blue
    builder.pixels.assign(64, 0);
    std::fill(builder.pixels.begin() + 32, builder.pixels.end(), 1); // top half blue
    builder.write(folder() / "pal.bmp");
    ASSERT_EQ(run({{(folder() / "pal.bmp").string(), "pal.bmp"}}).end, MovieEnd::Completed);
    const auto decoded = DecodeMovie(movie());
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_GT(decoded[0].rgb[2], 200) << "top row blue";
    EXPECT_GT(decoded[0].rgb[7 * 8 * 3 + 0], 200) << "bottom row red";
}

TEST_F(FileMovieTest, UnreadableFileDuringWritingShowsMessageTenAndKeepsEarlierFrames) {
    const auto a = solid("a.bmp", 32, 32, 1, 2, 3);
    const auto b = solid("b.bmp", 32, 32, 1, 2, 3);
    // Loads as a bitmap for the check, but its header promises more pixels than it holds.
    BitmapBuilder cut;
    cut.width = 32, cut.height = 32;
    cut.pixels.assign(cut.rowBytes() * 32, 7);
    cut.imageSize = 1 << 20;
    cut.write(folder() / "cut.bmp");
    const SelectedFile bad{(folder() / "cut.bmp").string(), "cut.bmp"};
    const BitmapProbe lenient = [](const std::string&) {
        return std::make_optional(std::make_pair(32, 32));
    };

    MovieWriter writer;
    EXPECT_EQ(CreateFileMovie({a, b, bad, a}, lenient, writer, m_host).end, MovieEnd::CannotLoad);
    ASSERT_EQ(m_host.messages.size(), 1u);
    EXPECT_EQ(m_host.messages[0].first, kMsgCannotLoadBitmap);
    EXPECT_EQ(m_host.messages[0].second, "cut.bmp");
    EXPECT_EQ(ProbeMovieStream(movie())["nb_read_frames"], "2");
    EXPECT_EQ(m_host.events.back(), "hide");

    // The first file unreadable: no movie at all.
    fs::remove(movie());
    m_host.messages.clear();
    EXPECT_EQ(CreateFileMovie({bad, a}, lenient, writer, m_host).end, MovieEnd::CannotLoad);
    EXPECT_EQ(m_host.messageNumbers(), std::vector<int>{kMsgCannotLoadBitmap});
    EXPECT_FALSE(fs::exists(movie()));
}

TEST_F(FileMovieTest, CancelledSaveDialogMakesNoFile) {
    m_host.saveName.reset();
    EXPECT_EQ(run({solid("a.bmp", 16, 16, 1, 2, 3)}).end, MovieEnd::NoMovie);
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_EQ(entries(), 1u);
}

TEST(PlayMovie, HandsTheChosenFileToTheDesktop) {
    RecordingHost host;
    PlayMovie(host);
    EXPECT_TRUE(host.opened.empty()) << "cancelled";
    host.openName = "/tmp/x.avi";
    PlayMovie(host);
    EXPECT_EQ(host.opened, std::vector<std::string>{"/tmp/x.avi"});
}

} // namespace
