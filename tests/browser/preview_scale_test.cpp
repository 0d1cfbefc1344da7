// The preview's reduced JPEG decode and its drawing: which of libjpeg's scales a panel asks for,
// the sizes that come out, the averaging that shrinks a picture to its area, and that what the
// panel shows stays what the whole decode showed.
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

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// One row of grey levels as a picture, and the levels of a picture's first row.
QImage greyRow(const std::vector<int>& levels, QImage::Format format = QImage::Format_RGB888) {
    QImage row(static_cast<int>(levels.size()), 1, QImage::Format_RGB32);
    for (int x = 0; x < row.width(); ++x)
        row.setPixel(x, 0, qRgb(levels[size_t(x)], levels[size_t(x)], levels[size_t(x)]));
    return row.convertToFormat(format);
}

std::vector<int> levelsOf(const QImage& image) {
    std::vector<int> levels;
    for (int x = 0; x < image.width(); ++x)
        levels.push_back(qGreen(image.pixel(x, 0)));
    return levels;
}

struct ResampleCase {
    const char* name;
    std::vector<int> levels;
    double extent; // 0: the whole row
    int width;
    std::vector<int> expected; // empty: a null picture
};

class Resample : public ::testing::TestWithParam<ResampleCase> {};

TEST_P(Resample, AveragesWhatEachPixelCovers) {
    const ResampleCase& c = GetParam();
    const QImage out = resamplePicture(greyRow(c.levels), QSizeF(c.extent, c.extent > 0 ? 1 : 0),
                                       QSize(c.width, 1));
    if (c.expected.empty()) {
        EXPECT_TRUE(out.isNull()) << c.name;
        return;
    }
    ASSERT_EQ(out.size(), QSize(c.width, 1)) << c.name;
    EXPECT_EQ(out.format(), QImage::Format_RGB888) << c.name;
    EXPECT_EQ(levelsOf(out), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Resample,
    ::testing::Values(
        // Stripes of one pixel average to grey; sampling without averaging gives 0 or 255.
        ResampleCase{"stripes", {0, 255, 0, 255, 0, 255, 0, 255}, 0, 2, {128, 128}},
        ResampleCase{"three_to_two", {0, 90, 180}, 0, 2, {30, 150}},
        // The last pixel stands for an eighth of a pixel only: it weighs that much.
        ResampleCase{"part_pixel_weighs_its_part", {0, 0, 255}, 2.125, 1, {15}},
        ResampleCase{"part_pixel_whole", {0, 0, 255}, 3, 1, {85}},
        ResampleCase{"part_pixel_keeps_its_place", {0, 120, 240}, 2.5, 2, {24, 168}},
        // Fewer pixels than the area: linear between the pixel centres, the ends held.
        ResampleCase{"enlarged", {0, 255}, 0, 4, {0, 64, 191, 255}},
        // An extent past the picture, or none, is the whole picture.
        ResampleCase{"extent_past_the_end", {0, 0, 255}, 3.5, 1, {85}},
        ResampleCase{"no_area", {0, 255}, 0, 0, {}}, ResampleCase{"no_picture", {}, 0, 2, {}}),
    [](const auto& p) { return std::string(p.param.name); });

struct DrawingCase {
    const char* name;
    QSize decoded, picture;
    QSizeF extent;
    QSize area;
    bool stretch;
    QSize drawn;
};

class Drawing : public ::testing::TestWithParam<DrawingCase> {};

TEST_P(Drawing, IsTheAreaWhenStretchedAndTheNaturalSizeOtherwise) {
    const DrawingCase& c = GetParam();
    QImage decoded(c.decoded, QImage::Format_RGB888);
    decoded.fill(Qt::darkCyan);
    const QImage drawn = previewDrawing({decoded, c.picture, c.extent}, c.area, c.stretch);
    EXPECT_EQ(drawn.size(), c.drawn) << c.name;
    if (!c.stretch && c.decoded == c.picture) { // drawn as it is, not a resampled copy
        EXPECT_EQ(drawn.cacheKey(), decoded.cacheKey()) << c.name;
    } else if (!drawn.isNull()) {
        EXPECT_EQ(drawn.pixelColor(c.drawn.width() / 2, c.drawn.height() / 2), QColor(Qt::darkCyan))
            << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, Drawing,
    ::testing::Values(
        DrawingCase{"natural", {80, 60}, {80, 60}, {80, 60}, {200, 150}, false, {80, 60}},
        DrawingCase{
            "reduced", {301, 225}, {2401, 1799}, {300.125, 224.875}, {300, 224}, true, {300, 224}},
        // A reduced decode in a panel that has since grown past the picture: its natural size.
        DrawingCase{
            "grown", {151, 101}, {1201, 801}, {150.125, 100.125}, {1300, 900}, false, {1201, 801}},
        DrawingCase{"no_area", {80, 60}, {80, 60}, {80, 60}, {0, 0}, true, {0, 0}}),
    [](const auto& p) { return std::string(p.param.name); });

// What the preview widget draws of a picture in a panel, fitted by the picture's own size.
QImage drawnByTheWidget(const PreviewPicture& picture, QSize panel) {
    const PreviewGeometry g =
        fitPreview(panel.width(), panel.height(), picture.size.width(), picture.size.height());
    PreviewImage widget;
    widget.setPicture(picture);
    widget.setStretch(g.stretch);
    widget.resize(g.width, g.height);
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// How the preview drew a shrunk picture before it averaged: bilinear sampling of the whole.
QImage drawnBilinear(const QImage& decoded, QSize pictureSize, QSize panel) {
    const PreviewGeometry g =
        fitPreview(panel.width(), panel.height(), pictureSize.width(), pictureSize.height());
    QImage out(g.width, g.height, QImage::Format_RGB32);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(out.rect(), decoded);
    return out;
}

class PreviewScaleTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication();
        ASSERT_TRUE(m_dir.isValid());
    }
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    void writeJpeg(const QString& file, const QImage& image, bool progressive = false,
                   int quality = 90) {
        QImageWriter writer(file, "jpeg");
        writer.setQuality(quality);
        writer.setProgressiveScanWrite(progressive);
        ASSERT_TRUE(writer.write(image)) << file.toStdString();
    }
    QTemporaryDir m_dir;
};

struct ShownCase {
    const char* name;
    QSize picture, panel;
    int grain;
    bool progressive;
};

class PreviewShown : public PreviewScaleTest, public ::testing::WithParamInterface<ShownCase> {};

// The panel shows what the whole decode showed, both drawn by averaging, to at least 35 dB; the
// figures are printed, beside the one against the bilinear drawing of the whole decode, which
// carries aliasing of its own (most on grainy pictures) and is not held to the mark.
TEST_P(PreviewShown, MatchesTheWholeDecode) {
    const ShownCase& c = GetParam();
    const QString file = path("photo.jpg");
    writeJpeg(file, test::photoLikePicture(c.picture.width(), c.picture.height(), c.grain),
              c.progressive);
    const std::optional<PreviewPicture> whole = decodePreview(file, QSize());
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->image.size(), c.picture);
    const std::optional<PreviewPicture> reduced = decodePreview(file, c.panel);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->size, c.picture);
    const int eighths = jpegScaleEighths(c.picture, c.panel);
    EXPECT_LT(eighths, 8) << c.name << ": a reduced decode was expected";
    const QImage shown = drawnByTheWidget(*reduced, c.panel);
    const double db = test::psnr(drawnByTheWidget(*whole, c.panel), shown);
    const double bilinear = test::psnr(drawnBilinear(whole->image, c.picture, c.panel), shown);
    std::printf("[ PSNR     ] %s: %dx%d grain %d in %dx%d at %d/8: %.2f dB averaged, %.2f dB "
                "against the bilinear whole\n",
                c.name, c.picture.width(), c.picture.height(), c.grain, c.panel.width(),
                c.panel.height(), eighths, db, bilinear);
    RecordProperty("psnr_db", std::to_string(db));
    EXPECT_GE(db, 35.0) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Photos, PreviewShown,
    ::testing::Values(ShownCase{"smooth", {3000, 2000}, {300, 225}, 0, false},
                      ShownCase{"grainy", {3000, 2000}, {300, 225}, 32, false},
                      ShownCase{"portrait", {1504, 2000}, {300, 225}, 16, false},
                      ShownCase{"progressive", {3000, 2000}, {300, 225}, 16, true},
                      ShownCase{"half_panel", {2400, 1800}, {901, 676}, 16, false},
                      ShownCase{"odd_sides", {1500, 2001}, {300, 225}, 16, false}),
    [](const auto& p) { return std::string(p.param.name); });

// Sides on either side of a whole number of blocks, at every reduced scale: libjpeg rounds the
// reduced side up, and the part block at the end is drawn in its place, not stretched to a whole
// pixel. A ramp of 6 levels a pixel along the far edges turns a misplacement there into wrong
// levels: a part block drawn as a whole pixel is off by 1 to 7 source pixels.
class OddSides : public PreviewScaleTest, public ::testing::WithParamInterface<int> {};

TEST_P(OddSides, LastBlockIsDrawnInItsPlace) {
    const int side = GetParam();
    QImage picture(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const int level = 40 + 6 * std::max(0, std::max(x, y) - (side - 32));
            picture.setPixel(x, y, qRgb(level, level, level));
        }
    const QString file = path("ramp.jpg");
    writeJpeg(file, picture, false, 98);
    const std::optional<PreviewPicture> whole = decodePreview(file, QSize());
    ASSERT_TRUE(whole);
    for (int eighths = 1; eighths < 8; ++eighths) {
        const int reducedSide = (side * eighths + 7) / 8;
        const QSize panel(reducedSide, reducedSide);
        ASSERT_EQ(jpegScaleEighths(picture.size(), panel), eighths) << side;
        const std::optional<PreviewPicture> reduced = decodePreview(file, panel);
        ASSERT_TRUE(reduced);
        EXPECT_EQ(reduced->image.size(), QSize(reducedSide, reducedSide)) << eighths;
        EXPECT_EQ(reduced->extent, QSizeF(side * eighths / 8.0, side * eighths / 8.0));
        const QImage a = drawnByTheWidget(*whole, panel), b = drawnByTheWidget(*reduced, panel);
        int worst = 0;
        for (int i = 0; i < a.width(); ++i)
            for (int edge : {a.width() - 1, a.width() - 8})
                worst =
                    std::max({worst, std::abs(qGreen(a.pixel(edge, i)) - qGreen(b.pixel(edge, i))),
                              std::abs(qGreen(a.pixel(i, edge)) - qGreen(b.pixel(i, edge)))});
        EXPECT_LE(worst, 4) << side << " at " << eighths << "/8";
    }
}

INSTANTIATE_TEST_SUITE_P(Sides, OddSides, ::testing::Values(1199, 1200, 1201));

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
