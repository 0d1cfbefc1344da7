// The bitmap codec: encoder and reader round trips at every bit count, the packed layout, the
// size boundaries, and whole-file reads that never block.
#include "platform/bitmap/bitmap_encoder.h"
#include "platform/bitmap/bitmap_file.h"
#include "platform/bitmap/row_decoder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kerris::bitmap {
namespace {

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
            const auto decoder = RowDecoder::create(view);
            ASSERT_TRUE(decoder);
            std::vector<uint8_t> row(std::size_t(width) * 3);
            for (int y = 0; y < height; ++y) {
                decoder->decode(y, row.data());
                for (int x = 0; x < width; ++x) {
                    const uint32_t want =
                        indexed ? palette[std::size_t(x + y) % entries] : colourAt(x, y);
                    const uint32_t got =
                        uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x];
                    ASSERT_EQ(got, want) << "pixel " << x << ", " << y;
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

// The sides at their bound, a 16- and 32-bit file with masks, and the masks' own bounds.
TEST(BitmapCodec, SidesAndMasksAtTheirBoundaries) {
    auto file = [](int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                   std::size_t extra) {
        std::vector<uint8_t> b(kFileHeaderSize + kInfoHeaderSize + extra);
        BitmapInfo info;
        info.width = width, info.height = height, info.bitCount = bits,
        info.compression = compression;
        info.encode(b.data() + kFileHeaderSize);
        const std::size_t pixels = std::size_t(rowStride(width, bits) * rowCount(height));
        const std::size_t offset = b.size();
        b.resize(offset + pixels);
        FileHeader{kBitmapMagic, uint32_t(b.size()), uint32_t(offset)}.encode(b.data());
        return b;
    };
    BitmapView view;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        BitmapError error;
    } cases[] = {
        {"widest", file(kMaxBitmapSide, 1, 24, 0, 0), BitmapError::None},
        {"one wider", file(kMaxBitmapSide + 1, 1, 24, 0, 0), BitmapError::BadDimensions},
        {"tallest top-down", file(1, -kMaxBitmapSide, 24, 0, 0), BitmapError::None},
        {"one taller top-down", file(1, -kMaxBitmapSide - 1, 24, 0, 0), BitmapError::BadDimensions},
        {"masks present", file(2, 1, 16, kCompressionBitfields, 12), BitmapError::None},
        {"masks cut", file(2, 1, 16, kCompressionBitfields, 11), BitmapError::PaletteOutside},
        {"bitfields at 24 bits", file(2, 1, 24, kCompressionBitfields, 0), BitmapError::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parseBitmapFile(c.bytes.data(), c.bytes.size(), view), c.error);
    }
    ReadRules strict;
    strict.decodableOnly = true;
    const auto odd = file(2, 1, 24, kCompressionBitfields, 0);
    EXPECT_EQ(parseBitmapFile(odd.data(), odd.size(), view, strict), BitmapError::Unsupported);

    // 5-6-5 masks: pure red, green and blue reach 255.
    auto b = file(3, 1, 16, kCompressionBitfields, 12);
    const uint32_t masks[] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(b.data() + 54, masks, 12);
    const uint16_t pixels[] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(b.data() + 66, pixels, 6);
    ASSERT_EQ(parseBitmapFile(b.data(), b.size(), view), BitmapError::None);
    std::vector<uint8_t> row(9);
    RowDecoder::create(view)->decode(0, row.data());
    EXPECT_EQ(row, (std::vector<uint8_t>{0, 0, 255, 0, 255, 0, 255, 0, 0}));
}

class BitmapFileRead : public ::testing::Test {
protected:
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("bitmap_test_" + std::to_string(::getpid()));
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(BitmapFileRead, OnlyRegularFilesWithinTheBoundAreRead) {
    const std::string fifo = (dir / "x.bmp").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<uint8_t> bytes{7};
    EXPECT_EQ(readFileBytes(fifo, bytes),
              BitmapError::CannotOpen); // returns: never waits for a writer
    EXPECT_EQ(readFileBytes(dir.string(), bytes), BitmapError::CannotOpen);
    EXPECT_EQ(readFileBytes((dir / "none").string(), bytes), BitmapError::CannotOpen);
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
