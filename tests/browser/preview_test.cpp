// The preview's decoder (bitmap first, then JPEG through libjpeg) and its fitting.
#include "browser/preview.h"
#include "tests/browser/test_support.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

namespace lumicart {
namespace {

struct FitCase {
    int panelW, panelH, w, h;
    PreviewGeometry expected;
};

class FitPreviewTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitPreviewTest, ScalesCentresAndStretchesOnlyWhenShrinking) {
    const FitCase& c = GetParam();
    EXPECT_EQ(fitPreview(c.panelW, c.panelH, c.w, c.h), c.expected)
        << c.w << "x" << c.h << " in " << c.panelW << "x" << c.panelH;
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, FitPreviewTest,
    ::testing::Values(
        // A small picture gets the whole panel and is drawn at its natural size.
        FitCase{200, 150, 80, 60, {0, 0, 200, 150, false}},
        // A wide picture is shrunk to the width and centred vertically.
        FitCase{200, 150, 800, 400, {0, 25, 200, 100, true}},
        // A tall one is shrunk to the height and centred horizontally.
        FitCase{200, 150, 300, 600, {62, 0, 75, 150, true}},
        // Exactly the panel's size: scale 1, no stretching.
        FitCase{200, 150, 200, 150, {0, 0, 200, 150, false}},
        // Twice too wide: halved, centred vertically.
        FitCase{200, 150, 400, 150, {0, 37, 200, 75, true}},
        // Small but wide: enlarged area, natural drawing.
        FitCase{200, 150, 100, 10, {0, 65, 200, 20, false}},
        // An empty panel.
        FitCase{0, 0, 80, 60, {0, 0, 0, 0, true}},
        // A picture without pixels gets nothing.
        FitCase{200, 150, 0, 60, {0, 0, 0, 0, false}},
        FitCase{200, 150, 80, -1, {0, 0, 0, 0, false}}));

class PreviewDecodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication();
        ASSERT_TRUE(m_dir.isValid());
    }
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir m_dir;
};

TEST_F(PreviewDecodeTest, JpegDecodesWithItsSizeAndColours) {
    test::makePicture(path("p.jpg"), 64, 48, "JPG", Qt::blue);
    const std::optional<QImage> image = loadPreviewPicture(path("p.jpg"));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(64, 48));
    const QColor centre = image->pixelColor(32, 24);
    EXPECT_LT(centre.red(), 30);
    EXPECT_LT(centre.green(), 30);
    EXPECT_GT(centre.blue(), 220);
}

TEST_F(PreviewDecodeTest, JpgFileHoldingBitmapDataLoadsAsBitmap) {
    test::makePicture(path("bitmap.JPG"), 33, 17, "BMP", Qt::green);
    ASSERT_TRUE(test::readAll(path("bitmap.JPG")).startsWith("BM"));
    EXPECT_FALSE(decodeJpegFile(path("bitmap.JPG")));
    const std::optional<QImage> image = loadPreviewPicture(path("bitmap.JPG"));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(33, 17));
    EXPECT_EQ(image->pixelColor(5, 5), QColor(Qt::green));
}

TEST_F(PreviewDecodeTest, BmpFileHoldingJpegDataFallsBackToJpeg) {
    test::makePicture(path("photo.bmp"), 20, 10, "JPG");
    EXPECT_FALSE(loadBitmapFile(path("photo.bmp")));
    const std::optional<QImage> image = loadPreviewPicture(path("photo.bmp"));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(20, 10));
}

TEST_F(PreviewDecodeTest, GreyscaleJpegBecomesRgb) {
    QImage grey(16, 8, QImage::Format_Grayscale8);
    grey.fill(200);
    ASSERT_TRUE(grey.save(path("grey.jpg"), "JPG"));
    const std::optional<QImage> image = decodeJpegFile(path("grey.jpg"));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(16, 8));
    EXPECT_NEAR(image->pixelColor(8, 4).red(), 200, 3);
    EXPECT_NEAR(image->pixelColor(8, 4).blue(), 200, 3);
}

TEST_F(PreviewDecodeTest, RecycledBufferIsWrittenOnlyWhenNobodyElseHoldsIt) {
    test::makePicture(path("red.jpg"), 40, 30, "JPG", Qt::red);
    test::makePicture(path("blue.jpg"), 40, 30, "JPG", Qt::blue);
    test::makePicture(path("small.jpg"), 20, 10, "JPG", Qt::blue);
    std::optional<QImage> red = decodeJpegFile(path("red.jpg"));
    ASSERT_TRUE(red);

    // Shared with the caller: the caller's copy keeps its pixels.
    const QImage kept = *red;
    std::optional<QImage> blue = decodeJpegFile(path("blue.jpg"), *red);
    ASSERT_TRUE(blue);
    EXPECT_GT(kept.pixelColor(20, 15).red(), 220);
    EXPECT_GT(blue->pixelColor(20, 15).blue(), 220);

    // Held by nobody else: its buffer carries the next picture of that size.
    const uchar* bluePixels = blue->constBits();
    std::optional<QImage> again = decodeJpegFile(path("red.jpg"), std::move(*blue));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->constBits(), bluePixels);
    EXPECT_GT(again->pixelColor(20, 15).red(), 220);

    // Another size: a new picture of the right size.
    std::optional<QImage> small = decodeJpegFile(path("small.jpg"), std::move(*again));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->size(), QSize(20, 10));
}

TEST_F(PreviewDecodeTest, BrokenFilesFailWithoutEndingTheProcess) {
    test::makeFile(path("empty.jpg"), 0);
    QFile garbage(path("garbage.jpg"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(4096, '\x5a'));
    garbage.close();
    EXPECT_FALSE(loadPreviewPicture(path("empty.jpg")));
    EXPECT_FALSE(loadPreviewPicture(path("garbage.jpg")));
    EXPECT_FALSE(loadPreviewPicture(path("missing.jpg")));
    EXPECT_FALSE(decodeJpeg(nullptr, 10));
}

TEST_F(PreviewDecodeTest, HeaderOnlyJpegFails) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(&buffer, "JPG"));
    // Every cut inside the headers must fail cleanly (libjpeg's error exit is caught).
    for (qsizetype cut : {2, 4, 20, 100, 300}) {
        ASSERT_LT(cut, jpeg.size());
        EXPECT_FALSE(decodeJpeg(reinterpret_cast<const uint8_t*>(jpeg.constData()),
                                static_cast<size_t>(cut)))
            << "cut at " << cut;
    }
    // A file cut inside the picture data still gives a picture of the right size, as
    // libjpeg pads what is missing.
    const std::optional<QImage> partial = decodeJpeg(
        reinterpret_cast<const uint8_t*>(jpeg.constData()), static_cast<size_t>(jpeg.size() - 40));
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->size(), QSize(64, 64));
}

} // namespace
} // namespace lumicart
