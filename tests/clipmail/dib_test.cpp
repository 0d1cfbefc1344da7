// CDib: mapped loading and its failures, derived values, attach ownership, archive reading
// and writing, pictures made from every supported bit count.
#include "clipmail/dib.h"

#include "clipmail/bitmap_writer.h"
#include "tests/clipmail/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#define KERRIS_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KERRIS_TEST_SANITIZED 1
#endif
#endif

namespace kerris::clipmail {
namespace {

#ifdef KERRIS_TEST_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

using test::RawBitmap;
using test::RecordingMessages;

class DibTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }
    QTemporaryDir dir;
    RecordingMessages messages;
};

// The 3 x 2 four-bit picture of the format's own edge case: rows of 12 bits take one word.
RawBitmap fourBitThreeByTwo() {
    RawBitmap b;
    b.width = 3;
    b.height = 2;
    b.bitCount = 4;
    for (uint32_t i = 0; i < 16; ++i)
        b.colours.push_back(i * 0x101010);
    // bottom row: indices 1 2 3, top row: 15 14 13
    b.bits = {0x12, 0x30, 0x00, 0x00, 0xFE, 0xD0, 0x00, 0x00};
    return b;
}

TEST_F(DibTest, MappedLoadFailuresShowTheirMessageAndLeaveTheObjectEmpty) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes; // empty name: no file at all
        bool create;
        const char* message;
    };
    const Case cases[] = {
        {"missing", {}, false, kEmptyBitmapFile},
        {"empty", {}, true, kEmptyBitmapFile},
        {"one byte", {'B'}, true, kInvalidBitmapFile},
        {"other type", {'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}, true, kInvalidBitmapFile},
        {"type only", {'B', 'M'}, true, kInvalidBitmapFile},
        {"header cut short",
         {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0},
         true,
         kInvalidBitmapFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.shown.clear();
        const std::string file = path(std::string("case-") + c.name);
        if (c.create)
            test::writeBytes(file, c.bytes);
        CDib dib;
        EXPECT_FALSE(dib.LoadMapped(file, true));
        EXPECT_EQ(messages.shown, std::vector<std::string>{c.message});
        EXPECT_TRUE(dib.isEmpty());
        EXPECT_FALSE(dib.isMapped());
        EXPECT_EQ(dib.Size(), QSize(0, 0));
    }
}

TEST_F(DibTest, AFolderCannotBeMapped) {
    CDib dib;
    EXPECT_FALSE(dib.LoadMapped(dir.path().toStdString() + "/", true));
    EXPECT_EQ(messages.shown, std::vector<std::string>{kEmptyBitmapFile});
}

// Headers whose colour table or bits reach past the end of the file, or whose sizes overflow,
// are refused before anything is read from beyond the mapping.
TEST_F(DibTest, OutOfBoundsHeadersAreInvalid) {
    struct Case {
        const char* name;
        RawBitmap bitmap;
    };
    std::vector<Case> cases;
    auto base = [] {
        RawBitmap b;
        b.width = 2;
        b.height = 2;
        b.bits.assign(16, 0x7F);
        return b;
    };
    {
        RawBitmap b = base();
        b.clrUsed = 0xFFFFFFFF;
        cases.push_back({"colour count of 2^32 - 1", b});
    }
    {
        RawBitmap b = base();
        b.clrUsed = 0x40000000; // 4 x count wraps to 0 in 32 bits
        cases.push_back({"colour table wrapping to zero", b});
    }
    {
        RawBitmap b = base();
        b.clrUsed = 3; // table of 12 bytes leaves only 4 of the 16 bits
        cases.push_back({"colour table pushing the bits out", b});
    }
    {
        RawBitmap b = base();
        b.sizeImage = 17;
        cases.push_back({"image size one past the end", b});
    }
    {
        RawBitmap b = base();
        b.sizeImage = 0xFFFFFFFF;
        cases.push_back({"image size 2^32 - 1", b});
    }
    {
        RawBitmap b = base();
        b.bits.resize(15);
        cases.push_back({"bits one byte short", b});
    }
    {
        RawBitmap b = base();
        b.width = 0x7FFFFFFF;
        b.height = 0x7FFFFFFF;
        cases.push_back({"rows times height overflowing", b});
    }
    {
        RawBitmap b = base();
        b.height = INT_MIN;
        cases.push_back({"height of INT_MIN", b});
    }
    {
        RawBitmap b = base();
        b.headerSize = 12;
        cases.push_back({"short core header", b});
    }
    {
        RawBitmap b = base();
        b.bitCount = 8; // 256 implied colours, none present
        cases.push_back({"implied table missing", b});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.shown.clear();
        const std::string file = path("oob.bmp");
        test::writeBytes(file, c.bitmap.bytes());
        CDib dib;
        EXPECT_FALSE(dib.LoadMapped(file, true));
        EXPECT_EQ(messages.shown, std::vector<std::string>{kInvalidBitmapFile});
        EXPECT_TRUE(dib.isEmpty());
        // The archive reader refuses the same files.
        messages.shown.clear();
        Archive archive(file, Archive::Mode::Load);
        EXPECT_FALSE(dib.Serialize(archive));
        EXPECT_EQ(messages.shown, std::vector<std::string>{kInvalidBitmapFile});
        EXPECT_TRUE(dib.isEmpty());
    }
}

TEST_F(DibTest, TwentyFourBitWithoutColoursHasBitsRightAfterTheHeader) {
    RawBitmap b;
    b.width = 2;
    b.height = 1;
    b.bits = {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00}; // red, green, row padding
    test::writeBytes(path("rgb.bmp"), b.bytes());
    CDib dib;
    ASSERT_TRUE(dib.LoadMapped(path("rgb.bmp"), true));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(dib.colourCount(), 0);
    EXPECT_FALSE(dib.hasPalette());
    EXPECT_EQ(dib.imageSize(), 8);
    EXPECT_EQ(dib.colourTable(), dib.bits());
    EXPECT_EQ(dib.headerOwnership(), CDib::HeaderOwnership::Borrowed);
    EXPECT_TRUE(dib.isMapped());
    EXPECT_EQ(dib.Size(), QSize(2, 1));
    QImage image = dib.CreateDeviceBitmap();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 255, 0));
}

TEST_F(DibTest, FourBitThreeByTwoWithZeroImageSizeTakesOneWordPerRow) {
    test::writeBytes(path("four.bmp"), fourBitThreeByTwo().bytes());
    CDib dib;
    ASSERT_TRUE(dib.LoadMapped(path("four.bmp"), true));
    EXPECT_EQ(dib.imageSize(), 8);
    EXPECT_EQ(dib.colourCount(), 16);
    EXPECT_EQ(dib.bits(), dib.colourTable() + 64);
    ASSERT_TRUE(dib.hasPalette());
    ASSERT_EQ(dib.palette().size(), 16);
    EXPECT_EQ(dib.palette()[15], qRgb(0xF0, 0xF0, 0xF0));
    QImage image = dib.CreateDeviceBitmap();
    ASSERT_EQ(image.size(), QSize(3, 2));
    // Bottom-up storage: the second stored row is the top one.
    EXPECT_EQ(image.pixel(0, 0), qRgb(0xF0, 0xF0, 0xF0));
    EXPECT_EQ(image.pixel(2, 0), qRgb(0xD0, 0xD0, 0xD0));
    EXPECT_EQ(image.pixel(0, 1), qRgb(0x10, 0x10, 0x10));
    EXPECT_EQ(image.pixel(2, 1), qRgb(0x30, 0x30, 0x30));
}

TEST(DibDerivedValues, ColourCountAndImageSize) {
    struct Case {
        uint16_t bits;
        uint32_t used;
        int32_t width, height;
        uint32_t sizeImage;
        int64_t colours, image;
    };
    const Case cases[] = {
        {1, 0, 33, 2, 0, 2, 16},  {4, 0, 3, 2, 0, 16, 8},   {8, 0, 5, 3, 0, 256, 24},
        {8, 7, 4, 1, 0, 7, 4},    {16, 0, 3, 1, 0, 0, 8},   {24, 0, 1, 1, 0, 0, 4},
        {32, 0, 2, 2, 0, 0, 16},  {24, 0, 4, 4, 99, 0, 99}, {2, 0, 16, 1, 0, 5, 4},
        {24, 0, 1, -3, 0, 0, 12},
    };
    for (const Case& c : cases) {
        BitmapInfoHeader h;
        h.bitCount = c.bits;
        h.coloursUsed = c.used;
        h.width = c.width;
        h.height = c.height;
        h.imageSize = c.sizeImage;
        EXPECT_EQ(dibColourCount(h, 5), c.colours) << c.bits << " bits";
        EXPECT_EQ(dibImageSize(h), c.image) << c.bits << " bits, width " << c.width;
    }
}

TEST(DibEmpty, HasNoSizePictureOrPalette) {
    CDib dib;
    EXPECT_EQ(dib.Size(), QSize(0, 0));
    EXPECT_TRUE(dib.CreateDeviceBitmap().isNull());
    EXPECT_FALSE(dib.MakePalette());
    EXPECT_FALSE(dib.hasPalette());
    dib.Clear();
    EXPECT_TRUE(dib.isEmpty());
}

TEST_F(DibTest, PicturesOfEveryBitCount) {
    QImage picture(5, 3, QImage::Format_RGB32);
    const QList<QRgb> palette = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(200, 30, 30),
                                 qRgb(30, 200, 30)};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            picture.setPixel(x, y, palette[(x + y) % 2 + (x > 2 ? 2 : 0)]);
    for (int bits : {1, 4, 8, 24}) {
        SCOPED_TRACE(bits);
        QList<QRgb> used = bits == 1 ? QList<QRgb>{palette[0], palette[1]} : palette;
        QImage expected = picture;
        if (bits == 1)
            for (int y = 0; y < 3; ++y)
                for (int x = 3; x < 5; ++x)
                    expected.setPixel(x, y, qRgb(0, 0, 0)); // both colours lie nearer black
        test::writeBytes(path("p.bmp"), encodeBitmapFile(picture, bits, used));
        CDib dib;
        ASSERT_TRUE(dib.LoadMapped(path("p.bmp"), true));
        EXPECT_EQ(dib.CreateDeviceBitmap(), expected);
    }
}

TEST_F(DibTest, SixteenAndThirtyTwoBitAndTopDownRows) {
    RawBitmap b16;
    b16.width = 1;
    b16.height = 2;
    b16.bitCount = 16;
    b16.bits = {0x00, 0x7C, 0, 0, 0x1F, 0x00, 0, 0}; // bottom red, top blue (5-5-5)
    test::writeBytes(path("16.bmp"), b16.bytes());
    CDib dib;
    ASSERT_TRUE(dib.LoadMapped(path("16.bmp"), true));
    QImage image = dib.CreateDeviceBitmap();
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(0, 1), qRgb(255, 0, 0));

    RawBitmap b32;
    b32.width = 1;
    b32.height = -2; // top row first
    b32.bitCount = 32;
    b32.bits = {0, 0, 255, 0, 255, 0, 0, 0};
    test::writeBytes(path("32.bmp"), b32.bytes());
    ASSERT_TRUE(dib.LoadMapped(path("32.bmp"), true));
    image = dib.CreateDeviceBitmap();
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 255));
}

TEST_F(DibTest, IndicesPastAShortColourTableDrawBlack) {
    RawBitmap b;
    b.width = 2;
    b.height = 1;
    b.bitCount = 8;
    b.clrUsed = 1;
    b.colours = {0x00FF00};
    b.bits = {0, 200, 0, 0};
    test::writeBytes(path("short-table.bmp"), b.bytes());
    CDib dib;
    ASSERT_TRUE(dib.LoadMapped(path("short-table.bmp"), true));
    QImage image = dib.CreateDeviceBitmap();
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0));
}

TEST_F(DibTest, PicturesOfUndrawableFormatsAreNull) {
    RawBitmap small = fourBitThreeByTwo();
    small.sizeImage = 4; // fits in the file, but too few bytes for two rows
    test::writeBytes(path("few.bmp"), small.bytes());
    CDib dib;
    ASSERT_TRUE(dib.LoadMapped(path("few.bmp"), true));
    EXPECT_TRUE(dib.CreateDeviceBitmap().isNull());

    RawBitmap rle = fourBitThreeByTwo();
    rle.compression = 2;
    test::writeBytes(path("rle.bmp"), rle.bytes());
    ASSERT_TRUE(dib.LoadMapped(path("rle.bmp"), true));
    EXPECT_TRUE(dib.CreateDeviceBitmap().isNull());
}

TEST_F(DibTest, AFailedLoadDropsTheEarlierPicture) {
    test::writeBytes(path("four.bmp"), fourBitThreeByTwo().bytes());
    CDib dib;
    ASSERT_TRUE(dib.LoadMapped(path("four.bmp"), true));
    EXPECT_FALSE(dib.LoadMapped(path("nothing-here.bmp"), true));
    EXPECT_TRUE(dib.isEmpty());
    EXPECT_FALSE(dib.hasPalette());
}

TEST(DibAttach, OwnershipFollowsTheMode) {
    const std::vector<uint8_t> file = fourBitThreeByTwo().bytes();
    const size_t dibBytes = file.size() - kFileHeaderSize;

    std::vector<uint8_t> borrowed(file.begin() + kFileHeaderSize, file.end());
    {
        CDib dib;
        ASSERT_TRUE(dib.Attach(borrowed.data(), 0, nullptr, dibBytes));
        EXPECT_EQ(dib.headerOwnership(), CDib::HeaderOwnership::Borrowed);
        EXPECT_EQ(dib.imageSize(), 8);
        EXPECT_TRUE(dib.hasPalette());
    }
    EXPECT_EQ(borrowed[0], 40); // still ours and untouched

    auto* heap = static_cast<uint8_t*>(std::malloc(dibBytes));
    std::memcpy(heap, borrowed.data(), dibBytes);
    {
        CDib dib;
        ASSERT_TRUE(dib.Attach(heap, 1, nullptr, dibBytes));
        EXPECT_EQ(dib.headerOwnership(), CDib::HeaderOwnership::Heap);
    } // freed by the object; the sanitizer build reports a leak or double free otherwise

    GlobalBlock* global = globalAlloc(dibBytes);
    uint8_t* locked = globalLock(global);
    std::memcpy(locked, borrowed.data(), dibBytes);
    CDib dib;
    ASSERT_TRUE(dib.Attach(locked, 2, global, dibBytes));
    EXPECT_EQ(dib.headerOwnership(), CDib::HeaderOwnership::Global);
    EXPECT_EQ(globalLockCount(global), 1);
    dib.Clear(); // unlocks and frees the block
    EXPECT_TRUE(dib.isEmpty());
}

TEST(DibAttach, RefusesHeadersReachingPastTheGivenBytesAndTakesNothing) {
    const std::vector<uint8_t> file = fourBitThreeByTwo().bytes();
    auto* heap = static_cast<uint8_t*>(std::malloc(file.size()));
    std::memcpy(heap, file.data() + kFileHeaderSize, file.size() - kFileHeaderSize);
    CDib dib;
    EXPECT_FALSE(dib.Attach(heap, 1, nullptr, file.size() - kFileHeaderSize - 1));
    EXPECT_TRUE(dib.isEmpty());
    EXPECT_FALSE(dib.Attach(nullptr, 1, nullptr, 1000));
    std::free(heap); // still the caller's
}

TEST_F(DibTest, ArchiveRoundTripKeepsEveryByte) {
    QImage picture(7, 5, QImage::Format_RGB32);
    picture.fill(qRgb(10, 20, 30));
    picture.setPixel(3, 2, qRgb(250, 1, 2));
    const std::vector<uint8_t> original =
        encodeBitmapFile(picture, 4, {qRgb(10, 20, 30), qRgb(250, 1, 2), qRgb(0, 0, 0)});
    test::writeBytes(path("in.bmp"), original);
    CDib mapped;
    ASSERT_TRUE(mapped.LoadMapped(path("in.bmp"), true));
    {
        Archive out(path("out.bmp"), Archive::Mode::Store);
        ASSERT_TRUE(out.isOpen());
        EXPECT_TRUE(mapped.Serialize(out));
    }
    EXPECT_EQ(test::readBytes(path("out.bmp")), original);

    CDib read;
    Archive in(path("out.bmp"), Archive::Mode::Load);
    ASSERT_TRUE(read.Serialize(in));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(read.headerOwnership(), CDib::HeaderOwnership::Heap);
    EXPECT_TRUE(read.ownsBits());
    EXPECT_FALSE(read.isMapped());
    EXPECT_EQ(read.colourCount(), 3);
    EXPECT_TRUE(read.hasPalette());
    EXPECT_EQ(read.CreateDeviceBitmap(), mapped.CreateDeviceBitmap());
}

TEST_F(DibTest, ArchiveReadFailures) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    RawBitmap offsetPastEnd = fourBitThreeByTwo();
    offsetPastEnd.offBits = 5000;
    RawBitmap offsetInsideFileHeader = fourBitThreeByTwo();
    offsetInsideFileHeader.offBits = 20;
    RawBitmap tableLongerThanHeader = fourBitThreeByTwo();
    tableLongerThanHeader.offBits = 54 + 8; // room for two entries, sixteen implied
    RawBitmap bitsPastEnd = fourBitThreeByTwo();
    bitsPastEnd.bits.resize(7);
    const Case cases[] = {
        {"empty", {}, kReadErrorShort},
        {"13 bytes", std::vector<uint8_t>(13, 'B'), kReadErrorShort},
        {"other type", std::vector<uint8_t>(60, 'X'), kInvalidBitmapFile},
        {"offset past end", offsetPastEnd.bytes(), kInvalidBitmapFile},
        {"offset inside file header", offsetInsideFileHeader.bytes(), kInvalidBitmapFile},
        {"table longer than header", tableLongerThanHeader.bytes(), kInvalidBitmapFile},
        {"bits past end", bitsPastEnd.bytes(), kInvalidBitmapFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.shown.clear();
        test::writeBytes(path("r.bmp"), c.bytes);
        CDib dib;
        Archive in(path("r.bmp"), Archive::Mode::Load);
        EXPECT_FALSE(dib.Serialize(in));
        EXPECT_EQ(messages.shown, std::vector<std::string>{c.message});
        EXPECT_TRUE(dib.isEmpty());
    }
}

TEST_F(DibTest, AFailingFileGivesReadError1WithCapitalR) {
    // Reading a folder as a file fails in the file layer, not for lack of bytes.
    std::FILE* folder = std::fopen(dir.path().toLocal8Bit().constData(), "r");
    ASSERT_NE(folder, nullptr);
    CDib dib;
    Archive in(folder, Archive::Mode::Load);
    EXPECT_FALSE(dib.Serialize(in));
    std::fclose(folder);
    EXPECT_EQ(messages.shown, std::vector<std::string>{kReadErrorFile});
}

TEST_F(DibTest, WriteFailuresShowWriteError) {
    test::writeBytes(path("four.bmp"), fourBitThreeByTwo().bytes());
    CDib dib;
    ASSERT_TRUE(dib.LoadMapped(path("four.bmp"), true));
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    {
        Archive out(full, Archive::Mode::Store);
        EXPECT_FALSE(dib.Serialize(out));
    }
    std::fclose(full);
    EXPECT_EQ(messages.shown, std::vector<std::string>{kWriteError});

    messages.shown.clear();
    CDib empty;
    Archive out(path("empty-out.bmp"), Archive::Mode::Store);
    EXPECT_FALSE(empty.Serialize(out));
    EXPECT_EQ(messages.shown, std::vector<std::string>{kWriteError});
}

// Peak resident memory of this process in bytes, after `reset` cleared it.
long long peakResidentBytes(bool reset) {
    if (reset) {
        std::ofstream("/proc/self/clear_refs") << "5";
        return 0;
    }
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word)
        if (word == "VmHWM:") {
            long long kib = 0;
            status >> kib;
            return kib * 1024;
        }
    return -1;
}

// A 24-bit skin picture as the generator writes it, then sides forged in bytes 18-25.
std::vector<uint8_t> forgedSides(int32_t width, int32_t height) {
    std::vector<uint8_t> file = encodeBitmapFile(test::solidImage(40, 20, qRgb(9, 9, 9)), 24);
    std::memcpy(&file[18], &width, 4);
    std::memcpy(&file[22], &height, 4);
    return file;
}

// Regression: a CTRLPANEL.BMP whose header claims 30000 x 30000 (its image size and pixels
// those of 40 x 20) loaded, and drawing it took 7 GB. A header that claims more pixels than the
// file holds, or a side past any screen, is "Invalid bitmap file"; the largest side is read.
TEST_F(DibTest, ForgedSidesAreInvalidBitmapFiles) {
    RawBitmap huge; // found by fuzzing: huge sides with a small stated image size
    huge.width = 0x7FFFFFFF;
    huge.height = -0x7FFFFFFF;
    huge.bitCount = 32;
    huge.sizeImage = 4;
    huge.bits = {1, 2, 3, 4};
    RawBitmap rowsShort = fourBitThreeByTwo();
    rowsShort.sizeImage = 4; // the stated size fits, but two rows need 8 bytes
    rowsShort.bits.resize(7);
    RawBitmap wide;
    wide.width = bitmap::kMaxBitmapSide + 1;
    wide.bitCount = 8;
    wide.clrUsed = 1;
    wide.colours = {0};
    wide.bits.assign(size_t(wide.width + 3) / 4 * 4, 0);
    RawBitmap widest = wide;
    widest.width = bitmap::kMaxBitmapSide;
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        bool loads;
    } cases[] = {
        {"30000 x 30000", forgedSides(30000, 30000), false},
        {"40 x 30000", forgedSides(40, 30000), false},
        {"40 x -21", forgedSides(40, -21), false},
        {"40 x -20 (top-down, as it is)", forgedSides(40, -20), true},
        {"2^31 - 1 sides", huge.bytes(), false},
        {"rows past the file", rowsShort.bytes(), false},
        {"one past the largest side", wide.bytes(), false},
        {"the largest side", widest.bytes(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        messages.shown.clear();
        test::writeBytes(path("CTRLPANEL.BMP"), c.bytes);
        CDib dib;
        EXPECT_EQ(dib.LoadMapped(path("CTRLPANEL.BMP"), true), c.loads);
        EXPECT_EQ(messages.shown, c.loads ? std::vector<std::string>{}
                                          : std::vector<std::string>{kInvalidBitmapFile});
        EXPECT_EQ(dib.CreateDeviceBitmap().isNull(), !c.loads);
    }
}

int loadForgedPictureInChild(const std::string& file) {
    if (!kSanitized) {
        const rlimit limit{512ull << 20, 512ull << 20};
        ::setrlimit(RLIMIT_AS, &limit);
    }
    peakResidentBytes(true);
    const long long before = peakResidentBytes(false);
    CDib dib;
    const bool loaded = dib.LoadMapped(file, true);
    const bool drawn = !dib.CreateDeviceBitmap().isNull();
    const long long grown = peakResidentBytes(false) - before;
    std::fprintf(stderr, "loaded %d drawn %d peak grew by %lld bytes\n", loaded, drawn, grown);
    return !loaded && !drawn && grown < (16ll << 20) ? 0 : 1;
}

// The same forged file costs next to nothing: loaded and drawn in a child whose address space
// is held to 512 MiB (in the plain build; the sanitizers reserve far more), with its peak
// resident memory measured.
TEST_F(DibTest, AForgedSkinPictureCostsNoMemory) {
    test::writeBytes(path("CTRLPANEL.BMP"), forgedSides(30000, 30000));
    const std::string file = path("CTRLPANEL.BMP");
    EXPECT_EXIT(std::_Exit(loadForgedPictureInChild(file)), ::testing::ExitedWithCode(0), "");
}

int drawWhileTheFileChangesInChild(const std::string& file, const std::vector<uint8_t>& bytes) {
    CDib dib;
    if (!dib.LoadMapped(file, true))
        return 2;
    const QImage before = dib.CreateDeviceBitmap();
    // Cut to nothing, in place: a mapping of it would now fault on every page.
    if (::truncate(file.c_str(), 0) != 0)
        return 3;
    bool same = dib.CreateDeviceBitmap() == before;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int round = 0; !stop; ++round) {
            const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC);
            if (fd < 0)
                continue;
            const size_t part = size_t(round * 7919) % bytes.size();
            (void)!::write(fd, bytes.data(), part);
            ::close(fd);
        }
    });
    for (int i = 0; i < 200; ++i) {
        CDib other;
        if (other.LoadMapped(file, true))
            (void)other.CreateDeviceBitmap();
        same = same && dib.CreateDeviceBitmap() == before;
    }
    stop = true;
    writer.join();
    return same ? 0 : 1;
}

// Regression: the skin's pictures stayed mapped while the program ran, so a skin rewritten in
// place under it (a forced set-up) killed it with SIGBUS. A loaded picture keeps drawing as it
// was while its file is truncated and rewritten, and loads of the changing file never crash.
TEST_F(DibTest, APictureSurvivesItsFileChanging) {
    QImage original(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            original.setPixel(x, y, qRgb(x % 256, y, (x * y) % 256));
    const std::vector<uint8_t> bytes = encodeBitmapFile(original, 24);
    const std::string file = path("MAINUI.BMP");
    test::writeBytes(file, bytes);
    EXPECT_EXIT(std::_Exit(drawWhileTheFileChangesInChild(file, bytes)),
                ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace kerris::clipmail
