// The bitmap codec: encoder and reader round trips at every bit count and both row orders, the
// packed layout, headers that disagree with their bytes, the conversion of every decodable
// layout, the size boundaries, and whole-file reads that never block.
#include "platform/bitmap/bitmap_encoder.h"
#include "platform/bitmap/bitmap_file.h"
#include "platform/bitmap/little_endian.h"
#include "platform/bitmap/row_decoder.h"
#include "tests/platform/bitmap_builder.h"
#include "tests/platform/fifo_watch.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kerris::bitmap {
namespace {

using kerris::test::BitmapBuilder;

// Pixel colours of a w x h test picture, 0x00RRGGBB.
uint32_t colourAt(int x, int y) {
    return uint32_t((x * 37) % 256) << 16 | uint32_t((y * 91) % 256) << 8 | uint32_t((x + y) % 256);
}

TEST(BitmapCodec, EveryEncodedBitCountReadsBackAsWritten) {
    const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    for (uint16_t bits : {1, 4, 8, 24, 32}) {
        for (int width : {1, 3, 7, 8, 33}) {
            SCOPED_TRACE(std::to_string(bits) + " bits, width " + std::to_string(width));
            const int height = 3;
            const bool indexed = bits <= 8;
            const std::size_t entries = bits == 1 ? 2 : palette.size();
            auto e = BitmapEncoder::create(width, height, bits,
                                           indexed ? std::span(palette.data(), entries)
                                                   : std::span<const uint32_t>());
            ASSERT_TRUE(e);
            EXPECT_EQ(e->stride() % 4, 0u);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    if (indexed) {
                        e->setIndex(x, y, unsigned(x + y) % unsigned(entries));
                    } else {
                        const uint32_t c = colourAt(x, y);
                        uint8_t* p = e->row(y) + std::size_t(x) * (bits / 8);
                        p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
                    }
                }
            BitmapView view;
            ASSERT_EQ(parseBitmapFile(e->bytes().data(), e->bytes().size(), view),
                      BitmapError::None);
            EXPECT_EQ(view.pixelBytes, e->stride() * height);
            // The same rows stored top-down, under a negative height, read the same way.
            std::vector<uint8_t> topDown = e->bytes();
            put32(topDown.data() + kFileHeaderSize + 8, uint32_t(-height));
            const std::size_t offset = std::size_t(view.pixels - e->bytes().data());
            for (int y = 0; y < height; ++y)
                std::memcpy(topDown.data() + offset + std::size_t(y) * e->stride(), e->row(y),
                            e->stride());
            BitmapView topDownView;
            ASSERT_EQ(parseBitmapFile(topDown.data(), topDown.size(), topDownView),
                      BitmapError::None);
            for (const BitmapView* v : {&view, &topDownView}) {
                const auto decoder = RowDecoder::create(*v);
                ASSERT_TRUE(decoder);
                std::vector<uint8_t> row(std::size_t(width) * 3);
                for (int y = 0; y < height; ++y) {
                    decoder->decode(y, row.data());
                    for (int x = 0; x < width; ++x) {
                        const uint32_t want =
                            indexed ? palette[std::size_t(x + y) % entries] : colourAt(x, y);
                        const uint32_t got = uint32_t(row[3 * x + 2]) << 16 |
                                             uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
                        ASSERT_EQ(got, want)
                            << "pixel " << x << ", " << y << (v->topDown() ? " top-down" : "");
                    }
                }
            }
            // The same bitmap packed (no file header) reads the same way.
            BitmapView packed;
            ASSERT_EQ(parsePackedBitmap(e->bytes().data() + kFileHeaderSize,
                                        e->bytes().size() - kFileHeaderSize, packed),
                      BitmapError::None);
            EXPECT_EQ(packed.pixels, view.pixels);
            // One byte less is refused by both.
            EXPECT_EQ(parseBitmapFile(e->bytes().data(), e->bytes().size() - 1, view),
                      BitmapError::PixelsShort);
            EXPECT_EQ(parsePackedBitmap(e->bytes().data() + kFileHeaderSize,
                                        e->bytes().size() - kFileHeaderSize - 1, packed),
                      BitmapError::PixelsShort);
        }
    }
}

TEST(BitmapCodec, EncoderRefusesWhatTheFormatCannotHold) {
    const std::vector<uint32_t> two = {0, 1}, three = {0, 1, 2};
    EXPECT_FALSE(BitmapEncoder::create(0, 1, 24));
    EXPECT_FALSE(BitmapEncoder::create(1, -1, 24));
    EXPECT_FALSE(BitmapEncoder::create(1, 1, 16));
    EXPECT_FALSE(BitmapEncoder::create(1, 1, 8));        // no palette
    EXPECT_FALSE(BitmapEncoder::create(1, 1, 1, three)); // more entries than indices
    EXPECT_TRUE(BitmapEncoder::create(1, 1, 1, two));
    EXPECT_FALSE(BitmapEncoder::create(1, 1, 24, two));    // a palette with no use
    EXPECT_FALSE(BitmapEncoder::create(65536, 65536, 24)); // past 4 GiB
}

BitmapBuilder sized(BitmapBuilder b) {
    b.pixels.assign(b.rowBytes() * std::size_t(rowCount(b.height)), 0x40);
    return b;
}

// Headers that disagree with their bytes, and the sides and channel masks at their bounds. Each
// case changes a good 4 x 2 24-bit file; `lenient` is the verdict of the default rules, `strict`
// the verdict when only decodable layouts are accepted.
TEST(BitmapCodec, HeadersAreCheckedAgainstTheirBytes) {
    using E = BitmapError;
    struct Case {
        const char* name;
        void (*change)(BitmapBuilder&);
        BitmapError lenient, strict;
    } cases[] = {
        {"good", [](BitmapBuilder&) {}, E::None, E::None},
        {"image size 0 means the rows' size", [](BitmapBuilder& b) { b.imageSize = 0; }, E::None,
         E::None},
        {"cut inside the file header", [](BitmapBuilder& b) { b.truncateTo = 10; }, E::NotBitmap,
         E::NotBitmap},
        {"empty", [](BitmapBuilder& b) { b.pixels.clear(), b.truncateTo = 0; }, E::NotBitmap,
         E::NotBitmap},
        {"cut inside the information header", [](BitmapBuilder& b) { b.truncateTo = 40; },
         E::OffsetPastEnd, E::OffsetPastEnd},
        {"offset past the end",
         [](BitmapBuilder& b) { b.pixelOffset = 4000, b.truncateTo = 54 + 24; }, E::OffsetPastEnd,
         E::OffsetPastEnd},
        {"offset leaves no information header", [](BitmapBuilder& b) { b.pixelOffset = 30; },
         E::HeaderTooShort, E::HeaderTooShort},
        {"information header of 12 bytes", [](BitmapBuilder& b) { b.infoSize = 12; },
         E::HeaderTooShort, E::HeaderTooShort},
        {"information header past the header area",
         [](BitmapBuilder& b) { b.infoSize = 124, b.pixelOffset = 54; }, E::HeaderTooShort,
         E::HeaderTooShort},
        {"zero width", [](BitmapBuilder& b) { b.width = 0; }, E::BadDimensions, E::BadDimensions},
        {"negative width", [](BitmapBuilder& b) { b.width = -4; }, E::BadDimensions,
         E::BadDimensions},
        {"zero height", [](BitmapBuilder& b) { b.height = 0; }, E::BadDimensions, E::BadDimensions},
        {"huge height", [](BitmapBuilder& b) { b.height = 0x7FFFFFFF; }, E::BadDimensions,
         E::BadDimensions},
        {"widest", [](BitmapBuilder& b) { b = sized({.width = kMaxBitmapSide, .height = 1}); },
         E::None, E::None},
        {"one wider", [](BitmapBuilder& b) { b.width = kMaxBitmapSide + 1; }, E::BadDimensions,
         E::BadDimensions},
        {"tallest top-down",
         [](BitmapBuilder& b) { b = sized({.width = 1, .height = -kMaxBitmapSide}); }, E::None,
         E::None},
        {"one taller top-down", [](BitmapBuilder& b) { b.height = -kMaxBitmapSide - 1; },
         E::BadDimensions, E::BadDimensions},
        {"fewer pixel bytes than the image size", [](BitmapBuilder& b) { b.imageSize = 4096; },
         E::PixelsShort, E::PixelsShort},
        {"cut inside the pixels", [](BitmapBuilder& b) { b.truncateTo = 54 + 20; }, E::PixelsShort,
         E::PixelsShort},
        {"rows past the end", [](BitmapBuilder& b) { b.height = 100; }, E::PixelsShort,
         E::PixelsShort},
        {"run-length compressed", [](BitmapBuilder& b) { b.bits = 8, b.compression = 1; },
         E::PaletteOutside, E::Unsupported},
        {"two bits a pixel", [](BitmapBuilder& b) { b.bits = 2; }, E::None, E::Unsupported},
        {"bitfields at 24 bits", [](BitmapBuilder& b) { b.compression = kCompressionBitfields; },
         E::None, E::Unsupported},
        {"table past the pixel offset",
         [](BitmapBuilder& b) { b.bits = 8, b.coloursUsed = 200, b.table.assign(16, 0); },
         E::PaletteOutside, E::PaletteOutside},
        {"more than 256 colours",
         [](BitmapBuilder& b) { b.bits = 8, b.coloursUsed = 1000, b.table.assign(4000, 0); },
         E::PaletteOutside, E::PaletteOutside},
        {"masks present",
         [](BitmapBuilder& b) {
             b = sized({.width = 2, .height = 1, .bits = 16, .compression = kCompressionBitfields});
             b.table.assign(12, 0);
         },
         E::None, E::None},
        {"masks cut",
         [](BitmapBuilder& b) {
             b = sized({.width = 2, .height = 1, .bits = 16, .compression = kCompressionBitfields});
             b.table.assign(11, 0);
         },
         E::PaletteOutside, E::PaletteOutside},
    };
    ReadRules strict;
    strict.decodableOnly = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitmapBuilder b = sized({});
        c.change(b);
        const std::vector<uint8_t> bytes = b.bytes();
        BitmapView view;
        EXPECT_EQ(parseBitmapFile(bytes.data(), bytes.size(), view), c.lenient);
        EXPECT_EQ(parseBitmapFile(bytes.data(), bytes.size(), view, strict), c.strict);
    }
    std::vector<uint8_t> noMagic = sized({}).bytes();
    noMagic[0] = 'X';
    BitmapView view;
    EXPECT_EQ(parseBitmapFile(noMagic.data(), noMagic.size(), view), BitmapError::NotBitmap);
}

// Every decodable layout turned into B, G, R: one row of four pixels.
TEST(BitmapCodec, RowsAreConvertedFromEveryDecodableLayout) {
    using Bgr = std::array<uint8_t, 3>;
    constexpr Bgr kBlack{0, 0, 0}, kRed{0, 0, 255}, kGreen{0, 255, 0}, kBlue{255, 0, 0},
        kWhite{255, 255, 255};
    // Table entries B G R 0: 0 black, 1 red, 2 green, 3 blue.
    const std::vector<uint8_t> table = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
    struct Case {
        const char* name;
        uint16_t bits;
        uint32_t compression, coloursUsed;
        std::vector<uint8_t> table, row;
        std::array<Bgr, 4> expected;
    } cases[] = {
        {"8 bits", 8, 0, 4, table, {1, 2, 3, 0}, {kRed, kGreen, kBlue, kBlack}},
        // An index beyond the table shows black rather than reading past the table.
        {"8 bits, an index beyond the table",
         8,
         0,
         4,
         table,
         {3, 200, 1, 2},
         {kBlue, kBlack, kRed, kGreen}},
        {"4 bits", 4, 0, 4, table, {0x12, 0x30, 0, 0}, {kRed, kGreen, kBlue, kBlack}},
        {"1 bit, full table",
         1,
         0,
         0,
         {0, 0, 0, 0, 255, 255, 255, 0},
         {0xA0, 0, 0, 0},
         {kWhite, kBlack, kWhite, kBlack}},
        {"16 bits, 5-5-5 by default",
         16,
         0,
         0,
         {},
         {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0xFF, 0x7F},
         {kRed, kGreen, kBlue, kWhite}},
        {"16 bits, 5-6-5 masks",
         16,
         kCompressionBitfields,
         0,
         {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0},
         {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0, 0},
         {kRed, kGreen, kBlue, kBlack}},
        {"32 bits",
         32,
         0,
         0,
         {},
         {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 1, 2, 3, 0},
         {kRed, kGreen, kBlue, Bgr{1, 2, 3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const BitmapBuilder b{.width = 4,
                              .height = 1,
                              .bits = c.bits,
                              .compression = c.compression,
                              .coloursUsed = c.coloursUsed,
                              .table = c.table,
                              .pixels = c.row};
        const std::vector<uint8_t> bytes = b.bytes();
        BitmapView view;
        ReadRules strict;
        strict.decodableOnly = true;
        ASSERT_EQ(parseBitmapFile(bytes.data(), bytes.size(), view, strict), BitmapError::None);
        const auto decoder = RowDecoder::create(view);
        ASSERT_TRUE(decoder);
        std::array<Bgr, 4> got;
        decoder->decode(0, got[0].data());
        EXPECT_EQ(got, c.expected);
    }
}

class BitmapFileRead : public ::testing::Test {
protected:
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("bitmap_test_" + std::to_string(::getpid()));
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(BitmapFileRead, OnlyRegularFilesWithinTheBoundAreRead) {
    // Regression: the movie's frame reader opened a FIFO named like a bitmap and waited in
    // open() for a writer that never came.
    const std::string fifo = (dir / "x.bmp").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "zero.bmp");
    std::vector<uint8_t> bytes{7};
    for (const std::filesystem::path& path :
         {std::filesystem::path(fifo), dir, dir / "zero.bmp", dir / "none"}) {
        kerris::test::FifoWatch watch(fifo);
        EXPECT_EQ(readFileBytes(path.string(), bytes), BitmapError::CannotOpen) << path;
        EXPECT_TRUE(watch.finish()) << path << ": waited on the FIFO";
    }
    EXPECT_EQ(bytes, std::vector<uint8_t>{7}); // untouched by failures

    const std::string file = (dir / "f.bin").string();
    std::ofstream(file) << std::string(100, 'x');
    EXPECT_EQ(readFileBytes(file, bytes, 99), BitmapError::NotBitmap);
    EXPECT_EQ(readFileBytes(file, bytes, 100), BitmapError::None);
    EXPECT_EQ(bytes.size(), 100u);
    LoadedBitmap loaded;
    EXPECT_EQ(loadBitmapFile(file, loaded), BitmapError::NotBitmap);
}

} // namespace
} // namespace kerris::bitmap
