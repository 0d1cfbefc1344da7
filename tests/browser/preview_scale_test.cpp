// The preview's reduced JPEG decode: which of libjpeg's scales a panel asks for, the sizes that
// come out, and that what the panel shows stays what the whole decode showed.
#include "browser/preview.h"
#include "browser/widgets.h"
#include "tests/browser/photo_like.h"
#include "tests/browser/test_support.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QRadialGradient>

#include <gtest/gtest.h>

#include <cmath>

namespace lumicart {
namespace {

struct ScaleCase {
    const char* name;
    QSize picture, panel;
    int eighths;
};

class JpegScale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(JpegScale, IsTheSmallestThatCoversTheShownArea) {
    const ScaleCase& c = GetParam();
    EXPECT_EQ(jpegScaleEighths(c.picture, c.panel), c.eighths) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Panels, JpegScale,
    ::testing::Values(
        // 24 megapixels into the usual panel: 750 x 500 covers the 300 x 200 shown.
        ScaleCase{"photo24mp", {6000, 4000}, {300, 225}, 1},
        ScaleCase{"photo12mp", {4000, 3000}, {300, 225}, 1},
        // 2400 x 1800 shown at 900 x 675 exactly: 3/8 gives exactly that; one pixel more
        // of panel width no longer fits in 3/8.
        ScaleCase{"exactly_three_eighths", {2400, 1800}, {900, 675}, 3},
        ScaleCase{"one_pixel_past", {2400, 1800}, {901, 676}, 4},
        ScaleCase{"half", {2000, 1500}, {1000, 750}, 4},
        ScaleCase{"nearly_whole", {2000, 1500}, {1999, 1499}, 8},
        // Shown at its natural size (the panel holds it): the whole picture.
        ScaleCase{"panel_equal", {2000, 1500}, {2000, 1500}, 8},
        ScaleCase{"panel_larger", {2000, 1500}, {3000, 3000}, 8},
        // Small pictures are decoded whole, the first one past the limit is not.
        ScaleCase{"small_800x400", {800, 400}, {200, 150}, 8},
        ScaleCase{"exactly_one_megapixel", {1024, 1024}, {100, 100}, 8},
        ScaleCase{"just_past_one_megapixel", {1025, 1024}, {100, 100}, 1},
        // A long strip shown zero pixels high still needs its width.
        ScaleCase{"strip", {65500, 100}, {300, 225}, 1},
        // No panel, or no picture: the whole picture, as before.
        ScaleCase{"no_panel", {6000, 4000}, {}, 8},
        ScaleCase{"zero_panel", {6000, 4000}, {0, 225}, 8},
        ScaleCase{"no_picture", {0, 0}, {300, 225}, 8}),
    [](const auto& p) { return std::string(p.param.name); });

// A picture fitted to a panel by the picture's own size: smoothly scaled to the area it is
// shown in (every decoded pixel counts), or as the preview widget itself draws it.
QImage fitted(const QImage& decoded, QSize pictureSize, QSize panel) {
    const PreviewGeometry g =
        fitPreview(panel.width(), panel.height(), pictureSize.width(), pictureSize.height());
    return decoded.scaled(g.width, g.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

QImage drawnByTheWidget(const QImage& decoded, QSize pictureSize, QSize panel) {
    const PreviewGeometry g =
        fitPreview(panel.width(), panel.height(), pictureSize.width(), pictureSize.height());
    PreviewImage widget;
    widget.setPicture(QPixmap::fromImage(decoded));
    widget.setStretch(g.stretch);
    widget.resize(g.width, g.height);
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

double psnr(const QImage& a, const QImage& b) {
    EXPECT_EQ(a.size(), b.size());
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int dr = qRed(ra[x]) - qRed(rb[x]), dg = qGreen(ra[x]) - qGreen(rb[x]),
                      db = qBlue(ra[x]) - qBlue(rb[x]);
            sum += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = sum / (3.0 * a.width() * a.height());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

class PreviewScaleTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication();
        ASSERT_TRUE(m_dir.isValid());
    }
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    void writeJpeg(const QString& file, const QImage& image, bool progressive = false) {
        QImageWriter writer(file, "jpeg");
        writer.setQuality(90);
        writer.setProgressiveScanWrite(progressive);
        ASSERT_TRUE(writer.write(image)) << file.toStdString();
    }
    QTemporaryDir m_dir;
};

struct ShownCase {
    const char* name;
    QSize picture, panel;
    bool progressive;
    double minimumDb;
};

class PreviewShown : public PreviewScaleTest, public ::testing::WithParamInterface<ShownCase> {};

// The panel shows what the whole decode showed, to at least 35 dB; the figures are printed.
// A side that is no multiple of 8 ends in a part block, which libjpeg's reduced decode gives a
// whole pixel: the picture then stands up to half a reduced pixel off at its far edge.
TEST_P(PreviewShown, MatchesTheWholeDecode) {
    const ShownCase& c = GetParam();
    const QString file = path("photo.jpg");
    writeJpeg(file, test::photoLikePicture(c.picture.width(), c.picture.height()), c.progressive);
    const std::optional<QImage> whole = decodeJpegFile(file);
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->size(), c.picture);
    const std::optional<PreviewPicture> reduced = decodePreview(file, c.panel);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->size, c.picture);
    const int eighths = jpegScaleEighths(c.picture, c.panel);
    EXPECT_LT(eighths, 8) << c.name << ": a reduced decode was expected";
    EXPECT_EQ(reduced->image.size(),
              QSize((c.picture.width() * eighths + 7) / 8, (c.picture.height() * eighths + 7) / 8));
    const double db =
        psnr(fitted(*whole, c.picture, c.panel), fitted(reduced->image, reduced->size, c.panel));
    // The widget samples its picture without averaging: what it drew of the whole decode
    // carries aliasing of its own, so its figure is printed beside, not held to the mark.
    const double drawn = psnr(drawnByTheWidget(*whole, c.picture, c.panel),
                              drawnByTheWidget(reduced->image, reduced->size, c.panel));
    std::printf("[ PSNR     ] %s: %dx%d in %dx%d at %d/8: fitted %.2f dB, as drawn %.2f dB\n",
                c.name, c.picture.width(), c.picture.height(), c.panel.width(), c.panel.height(),
                eighths, db, drawn);
    EXPECT_GE(db, c.minimumDb) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Photos, PreviewShown,
    ::testing::Values(ShownCase{"landscape", {3000, 2000}, {300, 225}, false, 35.0},
                      ShownCase{"portrait", {1504, 2000}, {300, 225}, false, 35.0},
                      ShownCase{"progressive", {3000, 2000}, {300, 225}, true, 35.0},
                      ShownCase{"half_panel", {2400, 1800}, {901, 676}, false, 35.0},
                      ShownCase{"odd_sides", {1500, 2001}, {300, 225}, false, 28.0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(PreviewScaleTest, OddSizesComeOutRoundedUp) {
    const QString file = path("odd.jpg");
    writeJpeg(file, test::photoLikePicture(2401, 1799));
    const std::optional<QImage> image = decodeJpegFile(file, QImage(), QSize(300, 225));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(301, 225));
}

TEST_F(PreviewScaleTest, GreyscaleIsReducedToo) {
    QImage grey(2048, 1024, QImage::Format_Grayscale8);
    grey.fill(120);
    const QString file = path("grey.jpg");
    writeJpeg(file, grey);
    const std::optional<QImage> image = decodeJpegFile(file, QImage(), QSize(256, 256));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(256, 128));
    EXPECT_NEAR(image->pixelColor(100, 60).green(), 120, 3);
}

// A bitmap has no reduced decode: it keeps its size whatever the panel.
TEST_F(PreviewScaleTest, BitmapKeepsItsSize) {
    test::makePicture(path("large.bmp"), 1600, 1200, "BMP", Qt::blue);
    const std::optional<PreviewPicture> picture = decodePreview(path("large.bmp"), {300, 225});
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image.size(), QSize(1600, 1200));
    EXPECT_EQ(picture->size, QSize(1600, 1200));
}

// Regression guard for the budget: a picture past it whole is still shown reduced.
TEST_F(PreviewScaleTest, PictureTooLargeWholeIsShownReduced) {
    // 12000 x 8000 decodes to 288 MB whole (refused) and to 1500 x 1000 at 1/8.
    QImage image(12000, 8000, QImage::Format_Grayscale8);
    image.fill(90);
    const QString file = path("huge.jpg");
    writeJpeg(file, image);
    image = QImage();
    EXPECT_FALSE(decodeJpegFile(file));
    const std::optional<QImage> reduced = decodeJpegFile(file, QImage(), QSize(300, 225));
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->size(), QSize(1500, 1000));
}

} // namespace
} // namespace lumicart
