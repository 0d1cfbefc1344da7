// Picture records written as bitmap files, and bitmap files read back as frames.
#include "browser/media/bitmap_file.h"
#include "tests/platform/bitmap_builder.h"
#include "tests/tools/tool_test_support.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;
using namespace lumicart::media;
using kerris::test::BitmapBuilder;

namespace {

// A record of `header` followed by `extra` bytes of content (colour table and pixels).
std::vector<uint8_t> makeRecord(CpiImage header, std::size_t extra) {
    std::vector<uint8_t> record(sizeof(CpiImage) + extra);
    std::memcpy(record.data(), &header, sizeof header);
    for (std::size_t k = sizeof header; k < record.size(); ++k)
        record[k] = uint8_t(k * 7);
    return record;
}

CpiImage header24(int w, int h) {
    CpiImage header{};
    header.headerSize = 40;
    header.width = w;
    header.height = h;
    header.planes = 1;
    header.bitsPerPixel = 24;
    header.imageSize = uint32_t(w * h * 3);
    return header;
}

std::size_t entriesIn(const fs::path& folder) {
    return std::size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class BitmapFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override { SetBitmapWriteFaultForTesting(-1); }
    fs::path folder() const { return m_dir.path().toStdString(); }
    QTemporaryDir m_dir;
};

TEST_F(BitmapFileTest, FailedWriteAtAnyPointLeavesNoFile) {
    auto record = makeRecord(header24(8, 8), 8 * 8 * 3);
    for (long failAfter : {0L, 1L, 13L, 14L, 15L, 53L, 54L, 200L, 54L + 191L}) {
        SCOPED_TRACE(failAfter);
        SetBitmapWriteFaultForTesting(failAfter);
        EXPECT_FALSE(
            WritePictureBitmap(record.data(), record.size(), (folder() / "p.bmp").string()));
        EXPECT_EQ(entriesIn(folder()), 0u) << "neither the picture nor a temporary file remains";
    }
    SetBitmapWriteFaultForTesting(54 + 192);
    EXPECT_TRUE(WritePictureBitmap(record.data(), record.size(), (folder() / "p.bmp").string()))
        << "a fault just past the end does not fire";
}

// ---- Reading (the codec's checks and conversions: tests/platform/bitmap_test.cpp) ------

TEST_F(BitmapFileTest, MissingFileCannotOpen) {
    BitmapReadError error = BitmapReadError::None;
    EXPECT_FALSE(ReadBitmapFile((folder() / "none.bmp").string(), &error));
    EXPECT_EQ(error, BitmapReadError::CannotOpen);
}

// Pixel (x, y from the bottom) of a frame as B, G, R.
std::array<uint8_t, 3> at(const Frame& f, int x, int y) {
    const uint8_t* p = f.pixels() + f.stride() * std::size_t(y) + 3 * std::size_t(x);
    return {p[0], p[1], p[2]};
}

TEST_F(BitmapFileTest, TwentyFourBitRoundTripKeepsEveryPixel) {
    auto record = makeRecord(header24(12, 5), 12 * 5 * 3);
    const fs::path file = folder() / "r.bmp";
    ASSERT_TRUE(WritePictureBitmap(record.data(), record.size(), file.string()));
    const auto frame = ReadBitmapFile(file.string());
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width(), 12);
    EXPECT_EQ(frame->height(), 5);
    EXPECT_EQ(frame->header().bitsPerPixel, 24);
    EXPECT_EQ(frame->header().imageSize, 12u * 5 * 3);
    EXPECT_TRUE(std::equal(record.begin() + 40, record.end(), frame->pixels()));
}

TEST_F(BitmapFileTest, OddWidthRowsKeepTheirPadding) {
    BitmapBuilder b;
    b.width = 3, b.height = 2;
    b.pixels.assign(24, 0);
    b.pixels[12 + 6] = 9, b.pixels[12 + 7] = 8, b.pixels[12 + 8] = 7; // (2, 1)
    b.write(folder() / "o.bmp");
    const auto frame = ReadBitmapFile((folder() / "o.bmp").string());
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->stride(), 12u);
    EXPECT_EQ(at(*frame, 2, 1), (std::array<uint8_t, 3>{9, 8, 7}));
}

TEST_F(BitmapFileTest, TopDownFileIsTurnedBottomUp) {
    BitmapBuilder b{.width = 4, .height = -2};
    b.pixels.assign(24, 0x40);
    std::fill(b.pixels.begin(), b.pixels.begin() + 12, 0xAA); // first stored row = top
    b.write(folder() / "t.bmp");
    const auto frame = ReadBitmapFile((folder() / "t.bmp").string());
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->height(), 2);
    EXPECT_EQ(at(*frame, 0, 1)[0], 0xAA);
    EXPECT_EQ(at(*frame, 0, 0)[0], 0x40);
}

// The picture writer as the command-line tool uses it: exact bytes, permissions, names never
// replaced (dangling links included), a full disk, records that cannot be written whole.
using namespace tooltest;

std::vector<std::uint8_t> pictureRecord(int w, int h) {
    return makeRecord(header24(w, h), std::size_t(w) * h * 3);
}
CpiImage* headerOf(std::vector<std::uint8_t>& block) {
    return reinterpret_cast<CpiImage*>(block.data());
}

TEST(PictureLayout, FollowsTheFileHeaderRules) {
    struct Case {
        const char* what;
        std::int32_t w, h;
        std::uint16_t bits;
        std::uint32_t compression, imageSize, coloursUsed;
        bool valid;
        std::uint32_t colours, image, offset, file;
    } cases[] = {
        {"camera VGA", 640, 480, 24, 0, 640 * 480 * 3, 0, true, 0, 921600, 54, 921654},
        {"camera QCIF", 176, 144, 24, 0, 176 * 144 * 3, 0, true, 0, 76032, 54, 76086},
        {"rows padded to 4 bytes", 5, 2, 24, 0, 0, 0, true, 0, 32, 54, 86},
        {"stale image size recomputed", 4, 4, 24, 0, 12345, 0, true, 0, 48, 54, 102},
        {"8 bits get a full colour table", 4, 1, 8, 0, 0, 0, true, 256, 4, 1078, 1082},
        {"colours-used wins", 4, 1, 8, 0, 0, 16, true, 16, 4, 118, 122},
        {"1 bit, 33 wide", 33, 1, 1, 0, 0, 0, true, 2, 8, 62, 70},
        {"32 bits have no table", 2, 2, 32, 0, 0, 0, true, 0, 16, 54, 70},
        {"compressed keeps its size", 4, 4, 8, 1, 100, 0, true, 256, 100, 1078, 1178},
        {"compressed without size", 4, 4, 8, 1, 0, 0, false, 0, 0, 0, 0},
        {"zero width", 0, 4, 24, 0, 0, 0, false, 0, 0, 0, 0},
        {"negative height", 4, -4, 24, 0, 0, 0, false, 0, 0, 0, 0},
        {"past 4 GiB", 65536, 65536, 24, 0, 0, 0, false, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        CpiImage header{};
        header.width = c.w;
        header.height = c.h;
        header.bitsPerPixel = c.bits;
        header.compression = c.compression;
        header.imageSize = c.imageSize;
        header.coloursUsed = c.coloursUsed;
        const auto layout = PictureBitmapLayout(header);
        ASSERT_EQ(layout.has_value(), c.valid) << c.what;
        if (!layout)
            continue;
        EXPECT_EQ(layout->colourCount, c.colours) << c.what;
        EXPECT_EQ(layout->imageSize, c.image) << c.what;
        EXPECT_EQ(layout->pixelOffset, c.offset) << c.what;
        EXPECT_EQ(layout->fileSize, c.file) << c.what;
    }
}

TEST(PictureWriter, WritesHeaderAndRecordExactly) {
    TempFolder folder;
    auto record = pictureRecord(8, 4);
    headerOf(record)->imageSize = 7; // brought up to date before writing
    std::string error;
    ASSERT_EQ(WritePictureBitmapFile(headerOf(record), record.size(), (folder / "a.bmp"), error),
              PictureWrite::Written)
        << error;
    const auto bytes = readFile((folder / "a.bmp"));
    ASSERT_EQ(bytes.size(), 14u + 40 + 96);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(little32(bytes, 2), 150u);
    EXPECT_EQ(little32(bytes, 6), 0u);
    EXPECT_EQ(little32(bytes, 10), 54u);
    EXPECT_EQ(headerOf(record)->imageSize, 96u);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), bytes.begin() + 14));
    EXPECT_EQ(entries(folder.path()), (std::set<std::string>{"a.bmp"}));
    const QImage image(QString::fromStdString(folder / "a.bmp")); // Qt's reader agrees
    EXPECT_EQ(image.size(), QSize(8, 4));
    struct stat info;
    ASSERT_EQ(::stat(((folder / "a.bmp")).c_str(), &info), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask) << "a new file's usual permissions";
}

TEST(PictureWriter, NeverReplacesAnExistingFile) {
    TempFolder folder;
    writeFile((folder / "a.bmp"), "precious");
    ASSERT_EQ(::symlink("elsewhere", ((folder / "b.bmp")).c_str()), 0);
    auto record = pictureRecord(8, 4);
    for (const char* name : {"a.bmp", "b.bmp"}) {
        std::string error;
        EXPECT_EQ(WritePictureBitmapFile(headerOf(record), record.size(), (folder / name), error),
                  PictureWrite::NameTaken)
            << name;
    }
    const auto kept = readFile((folder / "a.bmp"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "precious");
    EXPECT_TRUE(fs::is_symlink((folder / "b.bmp")));
    EXPECT_EQ(entries(folder.path()), (std::set<std::string>{"a.bmp", "b.bmp"}))
        << "no temporary file left";
}

TEST(PictureWriter, LeavesNoPartialFileWhenTheDiskIsFull) {
    TempFolder folder;
    auto record = pictureRecord(64, 64); // 12 342 bytes on disk
    std::string error;
    {
        FileSizeLimit limit(5000);
        EXPECT_EQ(
            WritePictureBitmapFile(headerOf(record), record.size(), (folder / "a.bmp"), error),
            PictureWrite::Failed);
    }
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_TRUE(entries(folder.path()).empty()) << "neither the file nor its temporary";
    // With room again the same write succeeds.
    error.clear();
    EXPECT_EQ(WritePictureBitmapFile(headerOf(record), record.size(), (folder / "a.bmp"), error),
              PictureWrite::Written)
        << error;
}

TEST(PictureWriter, RefusesRecordsThatCannotBeWrittenWhole) {
    TempFolder folder;
    auto record = pictureRecord(8, 4);
    std::string error;
    // Shorter than its header says: nothing is read past the end, nothing is written.
    EXPECT_EQ(
        WritePictureBitmapFile(headerOf(record), record.size() - 1, (folder / "a.bmp"), error),
        PictureWrite::Failed);
    // Width 3: rows of 9 bytes padded to 12, so 18 pixel bytes are too few.
    auto padded = pictureRecord(3, 2);
    EXPECT_EQ(WritePictureBitmapFile(headerOf(padded), padded.size(), (folder / "p.bmp"), error),
              PictureWrite::Failed);
    headerOf(record)->width = 0;
    EXPECT_EQ(WritePictureBitmapFile(headerOf(record), record.size(), (folder / "b.bmp"), error),
              PictureWrite::Failed);
    headerOf(record)->width = 8;
    EXPECT_EQ(
        WritePictureBitmapFile(headerOf(record), record.size(), (folder / "missing/c.bmp"), error),
        PictureWrite::Failed);
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    EXPECT_TRUE(entries(folder.path()).empty());
}

} // namespace
