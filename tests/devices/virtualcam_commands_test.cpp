// Every command of the camera command set, in both generations, with the layout of its reply.
#include "tests/devices/virtualcam_fixture.h"

#include "devices/kercol/colour_data.h"
#include "devices/virtualcam/raw_frame.h"
#include "devices/virtualcam/scenes.h"

#include <chrono>
#include <fstream>
#include <set>

namespace vcamtest {
namespace {

using kerris::virtualcam::drawScene;
using kerris::virtualcam::Picture;
using kerris::virtualcam::unbunchFrame;

constexpr uint32_t kUnknownCommand = 0x2007, kBadLength = 0x2008, kBadValue = 0x2009,
                   kBadIndex = 0x200A, kBadAddress = 0x200B, kNoThumbnail = 0x2014,
                   kShortTransfer = 0x1003, kNoTransfer = 0x1004;

// Three pictures of three formats, plus files the camera must pass over.
class Commands : public VirtualCameraTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        VirtualCameraTest::SetUp();
        setDword("Generation", uint32_t(GetParam()));
        usePictureFolder();
        addPicture("a.bmp", drawScene(0, 640, 480));
        addPicture("b.BMP", drawScene(1, 176, 144));
        addPicture("c.bmp", drawScene(2, 320, 240));
        std::ofstream(pictureFolder() / "notes.txt") << "not a picture";
        std::ofstream(pictureFolder() / "broken.bmp") << "BM";
        // A fixed date for the first picture's header.
        const auto stamp = std::chrono::sys_days{std::chrono::year{2024} / 1 / 31} +
                           std::chrono::hours{12} + std::chrono::minutes{34} +
                           std::chrono::seconds{56};
        setenv("TZ", "UTC", 1);
        tzset();
        fs::last_write_time(pictureFolder() / "a.bmp", std::chrono::file_clock::from_sys(stamp));
        handle = open(usb);
    }
    bool extended() const { return GetParam() == 1; }
    // The frame size every picture has: its own on extended cameras, 644 x 484 on older ones.
    std::pair<int, int> frameOf(int index) const {
        if (!extended())
            return {644, 484};
        static constexpr std::pair<int, int> kFrames[] = {{644, 484}, {178, 146}, {322, 242}};
        return kFrames[index];
    }
    uint32_t handle = 0;
};

INSTANTIATE_TEST_SUITE_P(Generations, Commands, ::testing::Values(0, 1),
                         [](const auto& p) { return p.param ? "Extended" : "Older"; });

TEST_P(Commands, CameraInformation) {
    Command c(0x85, 0, 0, 16, 0xEE);
    ASSERT_EQ(run(handle, c), 0u);
    const uint32_t version = c.big32(0);
    const bool extendedRule = (version >> 24) != 0 || ((version >> 16) & 0xFF) >= 0x61;
    EXPECT_EQ(extendedRule, extended());
    EXPECT_EQ(c.big16(4), 0x1941); // sensor id
    EXPECT_EQ(c.data[6], extended() ? 0x09 : 0x08);
    EXPECT_EQ(c.data[7], 0);
}

TEST_P(Commands, ImageInformation) {
    Command c(0x86, 0, 0, 16);
    ASSERT_EQ(run(handle, c), 0u);
    EXPECT_EQ(c.big16(0), 3);   // ImageCount
    EXPECT_EQ(c.big16(2), 3);   // HeaderCount
    EXPECT_EQ(c.big16(4), 644); // the first picture's frame
    EXPECT_EQ(c.big16(6), 484);
    EXPECT_EQ(c.big32(8), 644u * 484u);
    EXPECT_EQ(c.data[12], 84); // thumbnail frame
    EXPECT_EQ(c.data[13], 68);
    EXPECT_EQ(c.big16(14), 5712);
}

TEST_P(Commands, DescriptorAndFrameOfEveryPicture) {
    for (int i = 0; i < 3; ++i) {
        Command c(0x83, 0, uint8_t(i), 16);
        ASSERT_EQ(run(handle, c), 0u);
        const auto [w, h] = frameOf(i);
        EXPECT_EQ(c.big32(0), uint32_t(w * h)) << i;
        EXPECT_EQ(c.big16(4), w) << i;
        EXPECT_EQ(c.big16(6), h) << i;
        EXPECT_EQ(c.data[15], 0x01) << i; // flags
        auto frame = readAll(handle, uint32_t(w * h));
        ASSERT_EQ(frame.size(), size_t(w * h));
    }
    // The first picture's header carries the file's date and time.
    Command c(0x83, 0, 0, 16);
    ASSERT_EQ(run(handle, c), 0u);
    EXPECT_EQ(c.big16(8), 2024);
    EXPECT_EQ(c.big16(10), 0x011F); // January 31
    EXPECT_EQ(c.data[12], 12);
    EXPECT_EQ(c.data[13], 34);
    EXPECT_EQ(c.data[14], 56);
}

// Older cameras keep every picture at 640 x 480 and lack the state, descriptor and location
// commands: these cases are for the extended command set alone.
class ExtendedCommands : public Commands {};
INSTANTIATE_TEST_SUITE_P(Generations, ExtendedCommands, ::testing::Values(1),
                         [](const auto&) { return std::string("Extended"); });

TEST_P(ExtendedCommands, SmallFormatFrameIsThePictureUnbunched) {
    Command c(0x83, 0, 1, 16);
    ASSERT_EQ(run(handle, c), 0u);
    auto frame = readAll(handle, 178 * 146);
    ASSERT_EQ(frame.size(), 178u * 146u);
    auto bayer = unbunchFrame(frame.data(), 178, 146);
    const Picture picture = drawScene(1, 176, 144);
    // Frame (x + 2, y + 2) holds the mosaic channel of picture (x, y): G R / B G.
    for (int y = 0; y < 144; y += 7)
        for (int x = 0; x < 176; x += 5) {
            const int fx = x + 2, fy = y + 2;
            const int channel = (fx + fy) % 2 == 0 ? 1 : (fy % 2 == 0 ? 2 : 0); // BGR index
            ASSERT_EQ(bayer[size_t(fy) * 178 + fx], picture.pixel(x, y)[channel]) << x << "," << y;
        }
}

TEST_P(Commands, ThumbnailDescriptor) {
    Command c(0x84, 0, 2, 16);
    ASSERT_EQ(run(handle, c), 0u);
    EXPECT_EQ(c.big32(0), 5712u);
    EXPECT_EQ(c.big16(4), 84);
    EXPECT_EQ(c.big16(6), 68);
    EXPECT_EQ(readAll(handle, 5712).size(), 5712u);
}

TEST_P(Commands, ThumbnailRefusedWithoutStoredThumbnails) {
    close(usb, handle);
    setDword("Capabilities", 0x01);
    handle = open(usb);
    Command c(0x84, 0, 0, 16);
    EXPECT_EQ(run(handle, c), kNoThumbnail);
}

TEST_P(Commands, IndexOutOfRange) {
    for (uint8_t request : {0x83, 0x84}) {
        Command c(request, 0, 3, 16);
        EXPECT_EQ(run(handle, c), kBadIndex);
        Command high(request, 1, 0, 16); // index 256
        EXPECT_EQ(run(handle, high), kBadIndex);
    }
}

TEST_P(Commands, ExtendedOnlyCommands) {
    struct Case {
        uint8_t request;
        uint32_t length;
    } cases[] = {{0x8D, 8}, {0x8F, 16}, {0x90, 16}};
    for (const Case& k : cases) {
        Command c(k.request, 0, 1, k.length);
        EXPECT_EQ(run(handle, c), extended() ? 0u : kUnknownCommand) << int(k.request);
    }
}

TEST_P(ExtendedCommands, StateDescriptorExAndLocation) {
    Command state(0x8D, 0, 0, 8, 0xEE);
    ASSERT_EQ(run(handle, state), 0u);
    EXPECT_EQ(state.data[0], 0);
    EXPECT_EQ(state.data[1], 0); // not busy
    EXPECT_EQ(state.big16(2), 3);
    EXPECT_EQ(state.big16(4), 3);

    Command ex(0x8F, 0, 2, 16);
    ASSERT_EQ(run(handle, ex), 0u);
    EXPECT_EQ(ex.big16(4), 322);
    EXPECT_EQ(ex.big16(6), 242);
    EXPECT_EQ(ex.big32(0), 322u * 242u);
    uint32_t status = 0;
    readAll(handle, 1, &status);
    EXPECT_EQ(status, kNoTransfer); // 0x8F only describes

    // The location's bytes, read by address, are the frame the descriptor command sends.
    Command loc(0x90, 0, 2, 16);
    ASSERT_EQ(run(handle, loc), 0u);
    const uint32_t address = loc.big32(0), size = loc.big32(4);
    EXPECT_EQ(size, 322u * 242u);
    EXPECT_EQ(loc.big16(8), 322);
    EXPECT_EQ(loc.big16(10), 242);
    EXPECT_EQ(address % 256, 0u);
    Command bulk(0x03, 0, 0, 8);
    for (int i = 0; i < 4; ++i) {
        bulk.data[i] = uint8_t(address >> (24 - 8 * i));
        bulk.data[4 + i] = uint8_t(size >> (24 - 8 * i));
    }
    ASSERT_EQ(run(handle, bulk), 0u);
    auto byAddress = readAll(handle, size);
    Command desc(0x83, 0, 2, 16);
    ASSERT_EQ(run(handle, desc), 0u);
    EXPECT_EQ(readAll(handle, size), byAddress);
}

TEST_P(Commands, HeaderTableInMemory) {
    // Header of index 2 at (2 + 16) * 16 = 288: frame address, date, flags, frame size.
    Command bulk(0x03, 0, 0, 8);
    bulk.data = {0, 0, 0x01, 0x20, 0, 0, 0, 16};
    ASSERT_EQ(run(handle, bulk), 0u);
    auto header = readAll(handle, 16);
    ASSERT_EQ(header.size(), 16u);
    EXPECT_EQ(header[11], 0x01);
    const auto [w, h] = frameOf(2);
    EXPECT_EQ(uint32_t(header[12]) << 24 | header[13] << 16 | header[14] << 8 | header[15],
              uint32_t(w * h));
    EXPECT_NE(header[4] << 8 | header[5], 0); // a year
}

TEST_P(Commands, ImageFormatSetAndQuery) {
    Command query(0x87, 0, 0, 8, 0xEE);
    ASSERT_EQ(run(handle, query), 0u);
    EXPECT_EQ(query.data[0], 1);
    EXPECT_EQ(query.data[1], 0);
    Command set(0x07, 1, 0, 8);
    set.data[0] = 3;
    ASSERT_EQ(run(handle, set), 0u);
    ASSERT_EQ(run(handle, query), 0u);
    EXPECT_EQ(query.data[0], 3);
    set.data[0] = 4;
    EXPECT_EQ(run(handle, set), kBadValue);
    Command empty(0x07, 1, 0, 0);
    EXPECT_EQ(run(handle, empty), kBadLength);
}

TEST_P(Commands, EchoAndIdleAndAbort) {
    Command echo(0x88, 0x78, 0x56, 2);
    ASSERT_EQ(run(handle, echo), 0u);
    EXPECT_EQ(echo.data[0] | echo.data[1] << 8, 0x5678);
    Command idle(0x00, 0, 0, 0);
    EXPECT_EQ(run(handle, idle), 0u);
    Command desc(0x83, 0, 0, 16);
    ASSERT_EQ(run(handle, desc), 0u);
    Command abort(0x04, 0, 0, 0);
    EXPECT_EQ(run(handle, abort), 0u);
    uint32_t status = 0;
    readAll(handle, 16, &status);
    EXPECT_EQ(status, kNoTransfer);
}

TEST_P(Commands, ColourDataIsTheNeutralSet) {
    Command length(0x8A, 0, 0, 2, 0xEE);
    ASSERT_EQ(run(handle, length), 0u);
    ASSERT_EQ(length.data[0], 36);
    EXPECT_EQ(length.data[1], 0);
    // Read as the camera library does: 16, 16, then 4 bytes.
    std::vector<uint8_t> data;
    for (uint32_t offset : {0u, 16u, 32u}) {
        Command piece(0x8B, uint8_t(offset), 0, offset == 32 ? 4 : 16);
        ASSERT_EQ(run(handle, piece), 0u);
        data.insert(data.end(), piece.data.begin(), piece.data.end());
    }
    kercol::ColourData decoded{};
    ASSERT_EQ(kercol::decodeColourData(data.data(), &decoded), kercol::ColourDataError::None);
    const kercol::ColourData neutral = kercol::neutralColourData();
    EXPECT_EQ(std::vector<int16_t>(decoded.matrix, decoded.matrix + 9),
              std::vector<int16_t>(neutral.matrix, neutral.matrix + 9));
    EXPECT_EQ(decoded.blackOffset, 0);
    EXPECT_FALSE(decoded.gammaOn);
    Command past(0x8B, 32, 0, 5);
    EXPECT_EQ(run(handle, past), kBadValue);
    Command tooLong(0x8B, 0, 0, 17);
    EXPECT_EQ(run(handle, tooLong), kBadValue);
}

TEST_P(Commands, LastErrorReportsAndClears) {
    Command error(0x80, 0, 0, 2, 0xEE);
    ASSERT_EQ(run(handle, error), 0u);
    EXPECT_EQ(error.data, (std::vector<uint8_t>{0, 0}));
    Command bad(0x83, 0, 9, 16);
    ASSERT_EQ(run(handle, bad), kBadIndex);
    ASSERT_EQ(run(handle, error), 0u);
    EXPECT_EQ(error.data, (std::vector<uint8_t>{2, 0}));
    ASSERT_EQ(run(handle, error), 0u);
    EXPECT_EQ(error.data, (std::vector<uint8_t>{0, 0}));
}

TEST_P(Commands, ControlRegisters) {
    Command power(0x81, 0x41, 0x00, 1);
    ASSERT_EQ(run(handle, power), 0u);
    EXPECT_EQ(power.data[0], 0x04); // on external power
    Command write(0x01, 0x10, 0x03, 16);
    for (int i = 0; i < 16; ++i)
        write.data[size_t(i)] = uint8_t(i + 1);
    ASSERT_EQ(run(handle, write), 0u);
    Command read(0x81, 0x14, 0x03, 2);
    ASSERT_EQ(run(handle, read), 0u);
    EXPECT_EQ(read.data, (std::vector<uint8_t>{5, 6}));
    for (uint32_t length : {0u, 17u}) {
        Command r(0x81, 0, 0, length), w(0x01, 0, 0, length);
        EXPECT_EQ(run(handle, r), kBadLength) << length;
        EXPECT_EQ(run(handle, w), kBadLength) << length;
    }
    Command edge(0x81, 0xFF, 0xFF, 2); // would pass register 0xFFFF
    EXPECT_EQ(run(handle, edge), kBadLength);
}

TEST_P(Commands, SdramThroughTheAddressRegister) {
    auto setAddress = [&](uint32_t address) {
        Command a(0x01, 0x01, 0x02, 4);
        a.data = {uint8_t(address >> 24), uint8_t(address >> 16), uint8_t(address >> 8),
                  uint8_t(address)};
        ASSERT_EQ(run(handle, a), 0u);
    };
    setAddress(0x40);
    Command write(0x02, 1, 0, 4);
    write.data = {0xDE, 0xAD, 0xBE, 0xEF};
    ASSERT_EQ(run(handle, write), 0u); // mode 1: the address moves on to 0x44
    Command write2(0x02, 1, 0, 2);
    write2.data = {0x11, 0x22};
    ASSERT_EQ(run(handle, write2), 0u);
    setAddress(0x40);
    Command read(0x82, 0, 0, 6);
    ASSERT_EQ(run(handle, read), 0u);
    EXPECT_EQ(read.data, (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF, 0x11, 0x22}));
    ASSERT_EQ(run(handle, read), 0u); // mode 0: the same bytes again
    EXPECT_EQ(read.data[0], 0xDE);
    setAddress(0x02000000 - 2); // the last two bytes of the 32 MiB memory
    Command last(0x82, 0, 0, 2);
    EXPECT_EQ(run(handle, last), 0u);
    Command past(0x82, 0, 0, 3);
    EXPECT_EQ(run(handle, past), kBadAddress);
    Command tooLong(0x82, 0, 0, 17);
    EXPECT_EQ(run(handle, tooLong), kBadLength);
}

TEST_P(Commands, BulkReadBoundsAndPartialReads) {
    Command bulk(0x03, 0, 0, 8);
    bulk.data = {0x01, 0xFF, 0xFF, 0xF0, 0, 0, 0, 0x20}; // past the end of the memory
    EXPECT_EQ(run(handle, bulk), kBadAddress);
    Command shortPayload(0x03, 0, 0, 7);
    EXPECT_EQ(run(handle, shortPayload), kBadLength);
    bulk.data = {0, 0, 0x01, 0x00, 0, 0, 0, 10};
    ASSERT_EQ(run(handle, bulk), 0u);
    EXPECT_EQ(readAll(handle, 4).size(), 4u);
    uint32_t status = 0;
    auto rest = readAll(handle, 100, &status); // only 6 bytes are left
    EXPECT_EQ(status, kShortTransfer);
    EXPECT_EQ(rest.size(), 6u);
    readAll(handle, 1, &status);
    EXPECT_EQ(status, kNoTransfer);
    uint32_t got = 0xdeadbeef;
    EXPECT_EQ(usb.read(handle, nullptr, 4, &got, 0), 0x2003u);
}

TEST_P(Commands, GrabAndResetImageIndex) {
    Command grabNew(0x05, 0x9F, 0xFF, 0); // 0x90 | index bits 0x0F, keep
    ASSERT_EQ(run(handle, grabNew), 0u);
    Command info(0x86, 0, 0, 16);
    ASSERT_EQ(run(handle, info), 0u);
    EXPECT_EQ(info.big16(0), 4);
    Command discard(0x05, 0xDF, 0xFF, 0); // 0x90 | 0x40: taken, not kept
    ASSERT_EQ(run(handle, discard), 0u);
    ASSERT_EQ(run(handle, info), 0u);
    EXPECT_EQ(info.big16(0), 4);
    Command replace(0x05, 0x00, 0x01, 0); // into picture 1, in the current format 640 x 480
    ASSERT_EQ(run(handle, replace), 0u);
    Command desc(0x83, 0, 1, 16);
    ASSERT_EQ(run(handle, desc), 0u);
    EXPECT_EQ(desc.big16(4), 644);
    Command replaceMissing(0x05, 0x00, 0x09, 0);
    EXPECT_EQ(run(handle, replaceMissing), kBadIndex);

    Command reset(0x06, 0, 1, 0);
    ASSERT_EQ(run(handle, reset), 0u);
    ASSERT_EQ(run(handle, info), 0u);
    EXPECT_EQ(info.big16(0), 1);
    Command resetPast(0x06, 0, 2, 0);
    EXPECT_EQ(run(handle, resetPast), kBadIndex);
    Command resetAll(0x06, 0, 0, 0);
    ASSERT_EQ(run(handle, resetAll), 0u);
    ASSERT_EQ(run(handle, info), 0u);
    EXPECT_EQ(info.big16(0), 0);
    EXPECT_EQ(info.big16(4), 644); // the current format's frame
}

TEST_P(Commands, TestControlAndUnknownRequests) {
    Command none(0x08, 1, 2, 0);
    EXPECT_EQ(run(handle, none), 0u);
    Command full(0x08, 1, 2, 255);
    EXPECT_EQ(run(handle, full), 0u);
    for (uint8_t request : {0x09, 0x7F, 0x89, 0x8C, 0x8E, 0x91, 0xFF}) {
        Command c(request, 0, 0, 16);
        EXPECT_EQ(run(handle, c), kUnknownCommand) << int(request);
    }
}

TEST_P(Commands, RepliesNeedTheirLength) {
    struct Case {
        uint8_t request;
        uint32_t needed;
    } cases[] = {{0x80, 2},  {0x83, 16}, {0x84, 16}, {0x85, 16},
                 {0x86, 16}, {0x87, 8},  {0x88, 2},  {0x8A, 2}};
    for (const Case& k : cases) {
        Command shortOne(k.request, 0, 0, k.needed - 1, 0xEE);
        EXPECT_EQ(run(handle, shortOne), kBadLength) << int(k.request);
        EXPECT_EQ(shortOne.data, std::vector<uint8_t>(k.needed - 1, 0xEE)) << int(k.request);
        // A longer buffer is fine: the rest is zeroed.
        Command longOne(k.request, 0, 0, k.needed + 4, 0xEE);
        EXPECT_EQ(run(handle, longOne), 0u) << int(k.request);
        EXPECT_EQ(longOne.data.back(), 0) << int(k.request);
    }
}

using FreshInstall = VirtualCameraTest;

TEST_F(FreshInstall, ServesTheSamplePicturesInAllFourFormats) {
    uint32_t h = open(usb);
    Command info(0x86, 0, 0, 16);
    ASSERT_EQ(run(h, info), 0u);
    ASSERT_EQ(info.big16(0), 8);
    std::set<std::pair<int, int>> frames;
    for (uint8_t i = 0; i < 8; ++i) {
        Command c(0x8F, 0, i, 16);
        ASSERT_EQ(run(h, c), 0u);
        frames.insert({c.big16(4), c.big16(6)});
    }
    EXPECT_EQ(frames,
              (std::set<std::pair<int, int>>{{644, 484}, {356, 292}, {178, 146}, {322, 242}}));
}

TEST_F(FreshInstall, EmptyOrMissingFolderServesNoPictures) {
    setString("PictureFolder", "/nonexistent/kerris/pictures");
    uint32_t h = open(usb);
    Command info(0x86, 0, 0, 16);
    ASSERT_EQ(run(h, info), 0u);
    EXPECT_EQ(info.big16(0), 0);
    EXPECT_EQ(info.big16(4), 644);
}

// Fills the picture folder with `files` one-pixel bitmaps.
void writeDots(const fs::path& folder, int files) {
    const auto bytes = kerris::virtualcam::encodeBitmap(kerris::virtualcam::Picture(1, 1));
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%04d.bmp", i);
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
}

TEST_F(FreshInstall, FullHeaderTableOrMemoryStopsStoringPictures) {
    struct Case {
        const char* name;
        uint32_t generation;
        int files;
        int lowest, highest; // pictures stored
    } cases[] = {
        // 176 x 144 pictures of 32 KiB each: the table's 1024 entries run out first.
        {"header table", 1, 1100, 1024, 1024},
        // Older cameras make every picture 640 x 480 (310 KiB): the 32 MiB run out first.
        {"memory", 0, 120, 90, 110},
    };
    usePictureFolder();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setDword("Generation", c.generation);
        writeDots(pictureFolder(), c.files);
        uint32_t h = open(usb);
        Command info(0x86, 0, 0, 16);
        ASSERT_EQ(run(h, info), 0u);
        const uint16_t count = info.big16(0);
        EXPECT_GE(count, c.lowest);
        EXPECT_LE(count, c.highest);
        // The last picture stored is whole; there is no room for one more.
        Command desc(0x83, uint8_t((count - 1) >> 8), uint8_t(count - 1), 16);
        ASSERT_EQ(run(h, desc), 0u);
        EXPECT_EQ(readAll(h, desc.big32(0)).size(), desc.big32(0));
        Command past(0x83, uint8_t(count >> 8), uint8_t(count), 16);
        EXPECT_EQ(run(h, past), kBadIndex);
        Command grab(0x05, 0x9F, 0xFF, 0);
        EXPECT_EQ(run(h, grab), 0x2012u);
        close(usb, h);
        fs::remove_all(pictureFolder());
        fs::create_directories(pictureFolder());
    }
}

TEST_F(FreshInstall, SerialSubKeyOverridesTheCommonValues) {
    setDword("Cameras", 1, "Serial");
    setDword("Generation", 1);
    setDword("Generation", 0, "Serial");
    uint32_t s = open(serial), u = open(usb);
    Command state(0x8D, 0, 0, 8);
    EXPECT_EQ(run(s, state, &serial), kUnknownCommand);
    EXPECT_EQ(run(u, state), 0u);
}

} // namespace
} // namespace vcamtest
