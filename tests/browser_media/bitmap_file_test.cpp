// Picture records written as bitmap files, and bitmap files read back as frames.
#include "browser/media/bitmap_file.h"
#include "tests/browser_media/bitmap_builder.h"
#include "tests/platform/fifo_watch.h"
#include "tests/tools/tool_test_support.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;
using namespace lumicart::media;
using namespace lumicart::media::testing;

namespace {

uint32_t le32(const std::vector<uint8_t>& b, std::size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

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

struct LayoutCase {
    const char* name;
    uint16_t bits;
    uint32_t compression;
    uint32_t coloursUsed;
    uint32_t imageSizeField;
    int width, height;
    bool ok;
    uint32_t pixelOffset, imageSize;
};

class PictureLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PictureLayout, FollowsTheFileHeaderRules) {
    const LayoutCase& c = GetParam();
    CpiImage header = header24(c.width, c.height);
    header.bitsPerPixel = c.bits;
    header.compression = c.compression;
    header.coloursUsed = c.coloursUsed;
    header.imageSize = c.imageSizeField;
    const auto layout = PictureBitmapLayout(header);
    ASSERT_EQ(layout.has_value(), c.ok);
    if (!c.ok)
        return;
    EXPECT_EQ(layout->pixelOffset, c.pixelOffset);
    EXPECT_EQ(layout->imageSize, c.imageSize);
    EXPECT_EQ(layout->fileSize, c.pixelOffset + c.imageSize);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PictureLayout,
    ::testing::Values(LayoutCase{"camera_cif", 24, 0, 0, 352 * 288 * 3, 352, 288, true, 54,
                                 352 * 288 * 3},
                      // A wrong image-size field of an uncompressed picture is recomputed.
                      LayoutCase{"recomputed", 24, 0, 0, 5, 320, 240, true, 54, 320 * 240 * 3},
                      LayoutCase{"odd_width_rows_padded", 24, 0, 0, 0, 3, 2, true, 54, 24},
                      LayoutCase{"eight_bit_full_table", 8, 0, 0, 0, 4, 4, true, 54 + 1024, 16},
                      LayoutCase{"colours_used_wins", 8, 0, 16, 0, 4, 4, true, 54 + 64, 16},
                      LayoutCase{"one_bit", 1, 0, 0, 0, 33, 1, true, 54 + 8, 8},
                      LayoutCase{"thirty_two_bit_no_table", 32, 0, 0, 0, 2, 2, true, 54, 16},
                      LayoutCase{"compressed_keeps_field", 24, 1, 0, 100, 10, 10, true, 54, 100},
                      LayoutCase{"compressed_size_zero", 24, 1, 0, 0, 10, 10, false, 0, 0},
                      LayoutCase{"zero_width", 24, 0, 0, 0, 0, 10, false, 0, 0},
                      LayoutCase{"negative_height", 24, 0, 0, 0, 10, -10, false, 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(BitmapFileTest, CameraPictureIsWrittenBehindAFourteenByteHeader) {
    auto record = makeRecord(header24(8, 4), 8 * 4 * 3);
    const fs::path file = folder() / "20240131-01.bmp";
    ASSERT_TRUE(WritePictureBitmap(record.data(), record.size(), file.string()));
    const auto bytes = readAll(file);
    ASSERT_EQ(bytes.size(), 54u + 96u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(le32(bytes, 2), 150u);
    EXPECT_EQ(le32(bytes, 6), 0u);
    EXPECT_EQ(le32(bytes, 10), 54u);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), bytes.begin() + 14));
    EXPECT_EQ(entriesIn(folder()), 1u) << "no temporary file stays behind";
    // The standard loader agrees.
    QImage image(QString::fromStdString(file.string()));
    EXPECT_EQ(image.width(), 8);
    EXPECT_EQ(image.height(), 4);
}

TEST_F(BitmapFileTest, ImageSizeFieldIsStoredBackBeforeWriting) {
    CpiImage header = header24(4, 2);
    header.imageSize = 1;
    auto record = makeRecord(header, 24);
    ASSERT_TRUE(WritePictureBitmap(record.data(), record.size(), (folder() / "a.bmp").string()));
    EXPECT_EQ(reinterpret_cast<CpiImage*>(record.data())->imageSize, 24u);
    EXPECT_EQ(le32(readAll(folder() / "a.bmp"), 14 + 20), 24u);
}

TEST_F(BitmapFileTest, RecordShorterThanTheLayoutIsRefusedWithoutReadingPastIt) {
    // Width 3: rows of 9 bytes padded to 12, so the record (18 pixel bytes) is too short.
    auto record = makeRecord(header24(3, 2), 18);
    EXPECT_FALSE(WritePictureBitmap(record.data(), record.size(), (folder() / "b.bmp").string()));
    EXPECT_EQ(entriesIn(folder()), 0u);
}

TEST_F(BitmapFileTest, CompressedPictureWithoutSizeLeavesNoFile) {
    CpiImage header = header24(4, 4);
    header.compression = 1;
    header.imageSize = 0;
    auto record = makeRecord(header, 48);
    EXPECT_FALSE(WritePictureBitmap(record.data(), record.size(), (folder() / "c.jpg").string()));
    EXPECT_EQ(entriesIn(folder()), 0u);
}

TEST_F(BitmapFileTest, ExistingFileIsNeverReplaced) {
    const fs::path file = folder() / "20240131-01.bmp";
    std::ofstream(file) << "precious";
    auto record = makeRecord(header24(4, 4), 48);
    EXPECT_FALSE(WritePictureBitmap(record.data(), record.size(), file.string()));
    EXPECT_EQ(readAll(file).size(), 8u);
    EXPECT_EQ(entriesIn(folder()), 1u);
}

TEST_F(BitmapFileTest, MissingFolderFails) {
    auto record = makeRecord(header24(4, 4), 48);
    EXPECT_FALSE(
        WritePictureBitmap(record.data(), record.size(), (folder() / "gone" / "x.bmp").string()));
}

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

// ---- Reading ----------------------------------------------------------------------------

struct RejectCase {
    const char* name;
    BitmapBuilder builder;
    BitmapReadError error;
};

class ReadBitmapRejects : public BitmapFileTest,
                          public ::testing::WithParamInterface<RejectCase> {};

BitmapBuilder goodBuilder() {
    BitmapBuilder b;
    b.width = 4, b.height = 2;
    b.pixels.assign(b.rowBytes() * 2, 0x40);
    return b;
}

RejectCase rejectCase(const char* name, BitmapReadError error, auto change) {
    BitmapBuilder b = goodBuilder();
    change(b);
    return {name, b, error};
}

TEST_P(ReadBitmapRejects, RejectsHeadersThatDisagreeWithTheFile) {
    const fs::path file = folder() / "bad.bmp";
    GetParam().builder.write(file);
    BitmapReadError error = BitmapReadError::None;
    EXPECT_FALSE(ReadBitmapFile(file.string(), &error).has_value());
    EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadBitmapRejects,
    ::testing::Values(rejectCase("offset_past_end", BitmapReadError::OffsetPastEnd,
                                 [](BitmapBuilder& b) {
                                     b.pixelOffset = 4000;
                                     b.truncateTo = 54 + 24;
                                 }),
                      rejectCase("offset_leaves_no_info_header", BitmapReadError::HeaderTooShort,
                                 [](BitmapBuilder& b) { b.pixelOffset = 30; }),
                      rejectCase("info_header_of_twelve_bytes", BitmapReadError::HeaderTooShort,
                                 [](BitmapBuilder& b) { b.infoSize = 12; }),
                      rejectCase("info_header_larger_than_the_header_area",
                                 BitmapReadError::HeaderTooShort,
                                 [](BitmapBuilder& b) {
                                     b.infoSize = 124;
                                     b.pixelOffset = 54;
                                 }),
                      rejectCase("fewer_pixel_bytes_than_image_size", BitmapReadError::PixelsShort,
                                 [](BitmapBuilder& b) { b.imageSize = 4096; }),
                      rejectCase("file_cut_inside_the_pixels", BitmapReadError::PixelsShort,
                                 [](BitmapBuilder& b) { b.truncateTo = 54 + 20; }),
                      rejectCase("rows_larger_than_file", BitmapReadError::PixelsShort,
                                 [](BitmapBuilder& b) { b.height = 100; }),
                      rejectCase("not_bm", BitmapReadError::NotBitmap,
                                 [](BitmapBuilder& b) { b.truncateTo = 10; }),
                      rejectCase("zero_width", BitmapReadError::BadDimensions,
                                 [](BitmapBuilder& b) { b.width = 0; }),
                      rejectCase("negative_width", BitmapReadError::BadDimensions,
                                 [](BitmapBuilder& b) { b.width = -4; }),
                      rejectCase("huge_height", BitmapReadError::BadDimensions,
                                 [](BitmapBuilder& b) { b.height = 0x7FFFFFFF; }),
                      rejectCase("run_length_compressed", BitmapReadError::Unsupported,
                                 [](BitmapBuilder& b) {
                                     b.bits = 8;
                                     b.compression = 1;
                                 }),
                      rejectCase("bit_count_two", BitmapReadError::Unsupported,
                                 [](BitmapBuilder& b) { b.bits = 2; }),
                      rejectCase("table_past_pixel_offset", BitmapReadError::PaletteOutside,
                                 [](BitmapBuilder& b) {
                                     b.bits = 8;
                                     b.coloursUsed = 200;
                                     b.table.assign(16, 0);
                                 }),
                      rejectCase("more_than_256_colours", BitmapReadError::PaletteOutside,
                                 [](BitmapBuilder& b) {
                                     b.bits = 8;
                                     b.coloursUsed = 1000;
                                     b.table.assign(4000, 0);
                                 })),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(BitmapFileTest, MissingFileCannotOpen) {
    BitmapReadError error = BitmapReadError::None;
    EXPECT_FALSE(ReadBitmapFile((folder() / "none.bmp").string(), &error));
    EXPECT_EQ(error, BitmapReadError::CannotOpen);
}

// Regression: the movie's frame reader opened a FIFO named like a bitmap and waited in open()
// for a writer that never came.
TEST_F(BitmapFileTest, FifoFolderOrDeviceCannotOpenWithoutWaiting) {
    const fs::path fifo = folder() / "frame.bmp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(folder() / "folder.bmp");
    fs::create_symlink("/dev/zero", folder() / "zero.bmp");
    for (const char* name : {"frame.bmp", "folder.bmp", "zero.bmp"}) {
        kerris::test::FifoWatch watch(fifo.string());
        BitmapReadError error = BitmapReadError::None;
        EXPECT_FALSE(ReadBitmapFile((folder() / name).string(), &error)) << name;
        EXPECT_TRUE(watch.finish()) << name << ": waited on the FIFO";
        EXPECT_EQ(error, BitmapReadError::CannotOpen) << name;
    }
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

TEST_F(BitmapFileTest, ImageSizeZeroIsTakenAsTheRowsSize) {
    BitmapBuilder b = goodBuilder();
    b.imageSize = 0;
    b.pixels[0] = 1, b.pixels[1] = 2, b.pixels[2] = 3;
    b.write(folder() / "z.bmp");
    const auto frame = ReadBitmapFile((folder() / "z.bmp").string());
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->header().imageSize, 24u);
    EXPECT_EQ(at(*frame, 0, 0), (std::array<uint8_t, 3>{1, 2, 3}));
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
    BitmapBuilder b = goodBuilder();
    b.height = -2;
    std::fill(b.pixels.begin(), b.pixels.begin() + 12, 0xAA); // first stored row = top
    b.write(folder() / "t.bmp");
    const auto frame = ReadBitmapFile((folder() / "t.bmp").string());
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->height(), 2);
    EXPECT_EQ(at(*frame, 0, 1)[0], 0xAA);
    EXPECT_EQ(at(*frame, 0, 0)[0], 0x40);
}

struct ConvertCase {
    const char* name;
    uint16_t bits;
    uint32_t compression;
    uint32_t coloursUsed;
    std::vector<uint8_t> table;
    std::vector<uint8_t> row; // one stored row, width 4
    std::array<uint8_t, 3> expected[4];
};

class ReadBitmapConverts : public BitmapFileTest,
                           public ::testing::WithParamInterface<ConvertCase> {};

TEST_P(ReadBitmapConverts, ToTwentyFourBitFrames) {
    const ConvertCase& c = GetParam();
    BitmapBuilder b;
    b.width = 4, b.height = 1;
    b.bits = c.bits;
    b.compression = c.compression;
    b.coloursUsed = c.coloursUsed;
    b.table = c.table;
    b.pixels = c.row;
    b.write(folder() / "c.bmp");
    const auto frame = ReadBitmapFile((folder() / "c.bmp").string());
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->header().bitsPerPixel, 24);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(at(*frame, x, 0), c.expected[x]) << "pixel " << x;
}

// Table entries B G R 0: 0 black, 1 red, 2 green, 3 blue.
const std::vector<uint8_t> kTable = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
constexpr std::array<uint8_t, 3> kBlack{0, 0, 0}, kRed{0, 0, 255}, kGreen{0, 255, 0},
    kBlue{255, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadBitmapConverts,
    ::testing::Values(
        ConvertCase{"eight_bit", 8, 0, 4, kTable, {1, 2, 3, 0}, {kRed, kGreen, kBlue, kBlack}},
        // An index beyond the table's entries shows black rather than reading past the table.
        ConvertCase{"eight_bit_index_beyond_table",
                    8,
                    0,
                    4,
                    kTable,
                    {3, 200, 1, 2},
                    {kBlue, kBlack, kRed, kGreen}},
        ConvertCase{"four_bit", 4, 0, 4, kTable, {0x12, 0x30, 0, 0}, {kRed, kGreen, kBlue, kBlack}},
        ConvertCase{"one_bit_full_table",
                    1,
                    0,
                    0,
                    {0, 0, 0, 0, 255, 255, 255, 0},
                    {0xA0, 0, 0, 0},
                    {{255, 255, 255}, kBlack, {255, 255, 255}, kBlack}},
        ConvertCase{"sixteen_bit_555",
                    16,
                    0,
                    0,
                    {},
                    {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0xFF, 0x7F},
                    {kRed, kGreen, kBlue, {255, 255, 255}}},
        ConvertCase{"sixteen_bit_565_bitfields",
                    16,
                    3,
                    0,
                    {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0},
                    {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0, 0},
                    {kRed, kGreen, kBlue, kBlack}},
        ConvertCase{"thirty_two_bit",
                    32,
                    0,
                    0,
                    {},
                    {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 1, 2, 3, 0},
                    {kRed, kGreen, kBlue, {1, 2, 3}}}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace

// The picture writer as the command-line tool uses it: exact bytes, permissions, names never
// replaced (dangling links included), a full disk, records that cannot be written whole.
namespace tooltest_compat {
std::vector<std::uint8_t> pictureRecord(int w, int h) {
    std::vector<std::uint8_t> block(sizeof(CpiImage) + std::size_t(w) * h * 3);
    CpiImage header = header24(w, h);
    std::memcpy(block.data(), &header, sizeof header);
    for (std::size_t i = sizeof header; i < block.size(); ++i)
        block[i] = std::uint8_t(i * 31);
    return block;
}
CpiImage* headerOf(std::vector<std::uint8_t>& block) {
    return reinterpret_cast<CpiImage*>(block.data());
}
} // namespace tooltest_compat

namespace {
using namespace tooltest;
using namespace tooltest_compat;

TEST(SharedPictureLayout, FollowsTheFileHeaderRules) {
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
