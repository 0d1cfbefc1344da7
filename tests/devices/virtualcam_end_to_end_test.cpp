// The whole road: the camera library opens the virtual camera through the USB or serial
// transport library, uploads its pictures and converts them with the colour library; the
// pictures must come back as the files they were made from.
#include "camera/cpi.h"
#include "devices/kercol/colour_data.h"
#include "devices/virtualcam/raw_frame.h"
#include "devices/virtualcam/scenes.h"
#include "tests/devices/virtualcam_fixture.h"
#include "tests/devices/virtualcam_pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vcamtest {
namespace {

using kerris::virtualcam::Picture;

struct ImageDeleter {
    void operator()(CpiImage* image) const { CpiFreeImage(image); }
};
using ImagePtr = std::unique_ptr<CpiImage, ImageDeleter>;

// The picture a record holds, top-down.
Picture pictureOf(CpiImage* image) {
    Picture p(image->width, image->height);
    const uint8_t* pixels = cpiImagePixels(image);
    for (int y = 0; y < p.height; ++y)
        std::memcpy(p.pixel(0, y), pixels + size_t(p.height - 1 - y) * size_t(p.width) * 3,
                    size_t(p.width) * 3);
    return p;
}

Picture smoothPicture(int w, int h) {
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double u = double(x) / w, v = double(y) / h;
            uint8_t* px = p.pixel(x, y);
            px[0] = uint8_t(std::lround(60 + 150 * u * u));
            px[1] = uint8_t(std::lround(80 + 100 * std::sin(3.0 * v + u)));
            px[2] = uint8_t(std::lround(200 - 140 * (u + v) / 2));
        }
    return p;
}

class EndToEnd : public VirtualCameraTest {
protected:
    void TearDown() override {
        if (m_connection)
            CpiCameraClose(m_connection);
        VirtualCameraTest::TearDown();
    }
    CpiConnection* openCamera(uint32_t selector = 0, uint16_t expectedId = 0x2000) {
        uint16_t id = 0;
        EXPECT_EQ(CpiCameraOpen(selector, 0, &m_connection, &id), 0u);
        EXPECT_EQ(id, expectedId);
        return m_connection;
    }
    void closeCamera() {
        ASSERT_EQ(CpiCameraClose(m_connection), 0u);
        m_connection = nullptr;
    }
    // Uploads picture `index` at the size its format says.
    ImagePtr upload(uint32_t index, uint32_t* status = nullptr) {
        uint32_t format = 99;
        CpiImageInfoEx info{};
        EXPECT_EQ(CpiGetImageFormatEx(m_connection, index, &format, &info), 0u);
        ImagePtr image(CpiCreateImage(info.imageWidth, info.imageHeight));
        const uint32_t s = CpiUploadImage(m_connection, index, image.get(), nullptr);
        if (status)
            *status = s;
        else
            EXPECT_EQ(s, 0u) << "picture " << index;
        return image;
    }

    CpiConnection* m_connection = nullptr;
};

TEST_F(EndToEnd, FreshInstallDownloadsEverySampleFaithfully) {
    openCamera();
    CpiCameraStateInfo state{};
    ASSERT_EQ(CpiGetCameraStateInfo(m_connection, &state), 0u);
    ASSERT_EQ(state.ImageCount, 8);
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(buildDir() + "/share/kerris/virtualcam/pictures"))
        files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 8u);
    for (uint32_t i = 0; i < 8; ++i) {
        ImagePtr image = upload(i);
        auto original = kerris::virtualcam::readBitmapFile(files[i]);
        ASSERT_TRUE(original.has_value());
        const double figure = psnr(pictureOf(image.get()), *original);
        std::printf("%s: PSNR %.1f dB\n", files[i].filename().c_str(), figure);
        // Sharp-edged scenes lose a little at their edges to the mosaic.
        EXPECT_GT(figure, 28.0) << files[i].filename();
    }
}

TEST_F(EndToEnd, SmoothPictureComesBackAbove35dB) {
    usePictureFolder();
    const Picture original = smoothPicture(640, 480);
    addPicture("1-smooth.bmp", original);
    addPicture("2-smooth-small.bmp", smoothPicture(176, 144));
    openCamera();
    ImagePtr image = upload(0);
    const double big = psnr(pictureOf(image.get()), original);
    ImagePtr small = upload(1);
    const double little = psnr(pictureOf(small.get()), smoothPicture(176, 144));
    std::printf("smooth 640x480: PSNR %.1f dB, 176x144: %.1f dB\n", big, little);
    EXPECT_GE(big, 35.0);
    EXPECT_GE(little, 35.0);
}

TEST_F(EndToEnd, FlatPrimariesLandInTheirChannels) {
    usePictureFolder();
    struct Case {
        const char* name;
        uint8_t b, g, r;
    } cases[] = {{"1-red", 0, 0, 255}, {"2-green", 0, 255, 0}, {"3-blue", 255, 0, 0}};
    for (const Case& c : cases) {
        const Picture p = flatPicture(320, 240, c.b, c.g, c.r);
        addPicture(std::string(c.name) + ".bmp", p);
    }
    openCamera();
    for (uint32_t i = 0; i < 3; ++i) {
        Picture back = pictureOf(upload(i).get());
        const uint8_t* px = back.pixel(160, 120);
        EXPECT_EQ(px[0], cases[i].b) << cases[i].name;
        EXPECT_EQ(px[1], cases[i].g) << cases[i].name;
        EXPECT_EQ(px[2], cases[i].r) << cases[i].name;
    }
}

TEST_F(EndToEnd, NonNeutralColourDataIsReproducedToo) {
    // The camera serves a real matrix, black offset and gamma: its frames are made with their
    // inverse, so the picture still comes back.
    kercol::ColourData data = kercol::neutralColourData();
    const float matrix[9] = {1.4f, -0.3f, -0.1f, -0.2f, 1.3f, -0.1f, -0.1f, -0.3f, 1.4f};
    for (int i = 0; i < 9; ++i)
        data.matrix[i] = kercol::matrixEntryFromFloat(matrix[i]);
    data.blackOffset = 16;
    data.whiteLevel = 250;
    data.gammaOn = true;
    std::vector<uint8_t> bytes(36);
    kercol::encodeColourData(data, bytes.data());
    setBinary("ColourData", bytes);
    usePictureFolder();
    const Picture original = smoothPicture(352, 288);
    addPicture("smooth.bmp", original);
    openCamera();
    const double figure = psnr(pictureOf(upload(0).get()), original);
    std::printf("smooth 352x288 through matrix, black 16, white 250, gamma 2.2: PSNR %.1f dB\n",
                figure);
    EXPECT_GE(figure, 32.0);
}

TEST_F(EndToEnd, WithoutColourDataTheSensorMatrixIsInverted) {
    // Too little colour data: the library falls back to the sensor's built-in matrix with the
    // registry's replacements, black offset and gamma; the camera's frames follow it.
    struct Case {
        const char* name;
        uint32_t sensor;
        bool overrides;
    } cases[] = {
        {"SA", 0x1941, false}, {"SB", 0x1944, false}, {"SA with registry values", 0x1942, true}};
    usePictureFolder();
    const Picture original = smoothPicture(320, 240);
    addPicture("smooth.bmp", original);
    setDword("ColourDataLength", 15);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setDword("SensorId", c.sensor);
        if (c.overrides) {
            auto matrix =
                Key::create(Hive::LocalMachine, "SOFTWARE\\Brantor\\OVIK_SDK\\SA\\ColourMatrix");
            ASSERT_TRUE(matrix->writeDword("M11", 15000));              // 1.5
            ASSERT_TRUE(matrix->writeDword("M01", 0x80000000u | 5000)); // -0.5
            auto sensor = Key::create(Hive::LocalMachine, "SOFTWARE\\Brantor\\OVIK_SDK\\SA");
            ASSERT_TRUE(sensor->writeDword("BlackOffset", 10));
            ASSERT_TRUE(sensor->writeDword("EnableGammaCorrection", 1));
        }
        openCamera();
        const double figure = psnr(pictureOf(upload(0).get()), original);
        std::printf("smooth 320x240 through sensor %s: PSNR %.1f dB\n", c.name, figure);
        EXPECT_GE(figure, 35.0);
        closeCamera();
    }
}

TEST_F(EndToEnd, OlderCameraOverTheSerialLink) {
    setDword("Cameras", 1, "Serial");
    setDword("Generation", 0, "Serial");
    usePictureFolder();
    addPicture("a.bmp", kerris::virtualcam::drawScene(2, 352, 288));
    addPicture("b.bmp", kerris::virtualcam::drawScene(3, 176, 144));
    openCamera(0x1000, 0x1000);
    CpiImageInfo info{};
    ASSERT_EQ(CpiGetImageInfo(m_connection, &info), 0u);
    EXPECT_EQ(info.ImageCount, 2);
    EXPECT_EQ(info.imageWidth, 640); // every picture at the camera's format
    EXPECT_EQ(info.imageHeight, 480);
    ImagePtr image = upload(1);
    EXPECT_EQ(image->width, 640);
    CpiImageDescriptor header{};
    ASSERT_EQ(CpiGetImageHeader(m_connection, 1, &header), 0u);
    EXPECT_EQ(header.imageFlags, 0x01);
    uint8_t flags[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    uint16_t headers = 0, images = 0;
    ASSERT_EQ(CpiUploadImageFlags(m_connection, flags, 4, &headers, &images), 0u);
    EXPECT_EQ(headers, 2);
    EXPECT_EQ(images, 2);
    EXPECT_EQ(flags[0], 0x01);
    EXPECT_EQ(flags[1], 0x01);
    EXPECT_EQ(flags[2], 0xEE);
}

TEST_F(EndToEnd, ThumbnailsStoredAndSubsampled) {
    for (uint32_t capabilities : {0x09u, 0x01u}) {
        SCOPED_TRACE(capabilities);
        setDword("Capabilities", capabilities);
        openCamera();
        ImagePtr thumb(CpiCreateImage(80, 64));
        CpiImageDescriptor d{};
        ASSERT_EQ(CpiUploadThumbnail(m_connection, 0, thumb.get(), &d), 0u);
        EXPECT_EQ(d.rawWidth, 84);
        EXPECT_EQ(d.rawHeight, 68);
        // Against the first sample stretched to the thumbnail size.
        auto first = kerris::virtualcam::readBitmapFile(
            buildDir() + "/share/kerris/virtualcam/pictures/01-sunset-640x480.bmp");
        ASSERT_TRUE(first.has_value());
        const Picture expected = kerris::virtualcam::stretchPicture(*first, 80, 64);
        const double figure = psnr(pictureOf(thumb.get()), expected);
        std::printf("thumbnail, capabilities 0x%02X: PSNR %.1f dB\n", capabilities, figure);
        // Stored thumbnails are made from the averaged picture; subsampled ones alias.
        EXPECT_GT(figure, capabilities & 0x08 ? 28.0 : 15.0);
        closeCamera();
    }
}

TEST_F(EndToEnd, BlockUploadMatchesTheWholeUpload) {
    for (uint32_t generation : {1u, 0u}) {
        SCOPED_TRACE(generation);
        setDword("Generation", generation);
        openCamera();
        ImagePtr whole = upload(6); // 176 x 144 on extended cameras
        ImagePtr blocks(CpiCreateImage(whole->width, whole->height));
        uint32_t done = 0;
        uint32_t status =
            CpiReadFirstImageBlock(m_connection, 6, blocks.get(), 5000, &done, nullptr);
        int calls = 1;
        while (status == 6 && calls < 1000) {
            status = CpiReadNextImageBlock(m_connection, &done);
            ++calls;
        }
        ASSERT_EQ(status, 0u);
        EXPECT_GT(calls, 1);
        EXPECT_EQ(std::memcmp(cpiImagePixels(blocks.get()), cpiImagePixels(whole.get()),
                              whole->imageSize),
                  0);
        closeCamera();
    }
}

TEST_F(EndToEnd, RawUploadIsTheUnbunchedFrameBottomUp) {
    openCamera();
    std::vector<uint8_t> raw(180 * 148);
    CpiImageDescriptor d{};
    ASSERT_EQ(CpiUploadRawImage(m_connection, 6, raw.data(), &d), 0u);
    EXPECT_EQ(d.rawWidth, 180);
    EXPECT_EQ(d.rawHeight, 148);
    auto sample = kerris::virtualcam::readBitmapFile(
        buildDir() + "/share/kerris/virtualcam/pictures/07-colour-chart-176x144.bmp");
    ASSERT_TRUE(sample.has_value());
    // Picture pixel (x, y) sits at frame (x + 2, y + 2), frame rows bottom-up.
    for (int y = 0; y < 144; y += 11)
        for (int x = 0; x < 176; x += 13) {
            const int fx = x + 2, fy = y + 2;
            const int channel = (fx + fy) % 2 == 0 ? 1 : (fy % 2 == 0 ? 2 : 0);
            ASSERT_EQ(raw[size_t(147 - fy) * 180 + fx], sample->pixel(x, y)[channel])
                << x << "," << y;
        }
}

TEST_F(EndToEnd, FailedReadIsRecoveredByTheNextUpload) {
    setDword("FailReadAt", 1);
    openCamera();
    uint32_t status = 0;
    upload(0, &status);
    EXPECT_EQ(status, 0x200Fu);
    upload(0); // the reset sequence left the link usable
}

TEST_F(EndToEnd, ShortReadFailsTheUploadWithoutHarm) {
    setDword("ShortReadAt", 1);
    openCamera();
    uint32_t status = 0;
    upload(0, &status);
    EXPECT_NE(status, 0u);
    upload(0);
}

TEST_F(EndToEnd, WrongEchoFailsOpenButHandsTheConnectionBack) {
    setDword("WrongEcho", 1);
    uint16_t id = 0;
    EXPECT_EQ(CpiCameraOpen(0, 0, &m_connection, &id), 0x43u);
    ASSERT_NE(m_connection, nullptr);
    closeCamera();
}

TEST_F(EndToEnd, BusyCameraIsWaitedForAtOpen) {
    setDword("Busy", 3);
    openCamera();
    CpiCameraStateInfo state{};
    ASSERT_EQ(CpiGetCameraStateInfo(m_connection, &state), 0u);
    EXPECT_EQ(state.busy, 0); // the settle wait read it busy three times
}

TEST_F(EndToEnd, ErrorTextsComeFromTheTransport) {
    openCamera();
    char text[96];
    ASSERT_EQ(CpiGetErrorText(m_connection, 0x2005, text, sizeof text), 0u);
    EXPECT_STREQ(text, "The camera is in use: its lock was not free in time");
}

} // namespace
} // namespace vcamtest
