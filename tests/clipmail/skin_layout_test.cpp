// Skin geometry without a window: sizes and places, outline and region, cells and digits,
// and the composed background.
#include "clipmail/skin_layout.h"

#include "clipmail/bitmap_writer.h"
#include "clipmail/control_ids.h"
#include "clipmail/skin_painter.h"
#include "tests/clipmail/test_support.h"

#include <gtest/gtest.h>

#include <QDir>

namespace kerris::clipmail {
namespace {

using test::RecordingMessages;

// A skin made of solid pictures of chosen sizes.
class SkinLayoutTest : public ::testing::Test {
protected:
    void picture(const std::string& name, const QImage& image) {
        ASSERT_TRUE(writeFileAtomically(dir.path().toStdString() + "/" + name,
                                        encodeBitmapFile(image, 24)));
    }
    void load(const std::string& text) {
        const std::string folder = dir.path().toStdString() + "/";
        test::writeText(folder + "Panel.ini", text);
        ASSERT_TRUE(skin.LoadSkin(folder + "Panel.ini", folder));
        ASSERT_TRUE(messages.shown.empty()) << messages.shown.front();
    }
    // Main area 360 x 290 for the 320 x 240 video; panel, buttons and digits as given.
    void standardSkin(int panelWidth) {
        picture("FRAME.BMP", test::solidImage(360, 290, qRgb(40, 40, 60)));
        picture("PANEL.BMP", test::solidImage(panelWidth, 100, qRgb(60, 60, 80)));
        picture("BTN.BMP", test::solidImage(120, 40, qRgb(90, 90, 90)));
        picture("X.BMP", test::solidImage(48, 16, qRgb(90, 0, 0)));
        picture("WEB.BMP", test::solidImage(300, 12, qRgb(0, 0, 90)));
        picture("DIGIT.BMP", test::solidImage(154, 22, qRgb(0, 90, 0)));
        load("MAINUI=FRAME.BMP:20,30,20,20\nCTRLPANEL=PANEL.BMP\nCLOSE=X.BMP:-24,6\n"
             "MINIMIZE=X.BMP:-44,6\nWEBLINK=WEB.BMP:999,8\nRECORD=BTN.BMP:10,5\n"
             "STOP=BTN.BMP:60,5\nPLAY=BTN.BMP:110,5\nMAIL=BTN.BMP:160,5\nCONFIG=BTN.BMP:210,5\n"
             "AUDIOCTRL=BTN.BMP:260,5\nABOUT_BTM=BTN.BMP:310,5\nDIGIT=DIGIT.BMP\n"
             "TIME=20,60\nFILESIZE=200,60\n");
    }
    static QRect placed(const SkinLayout& layout, int id) {
        for (const ControlPlacement& c : layout.controls)
            if (c.id == id)
                return c.rect;
        ADD_FAILURE() << "no placement for " << id;
        return QRect();
    }
    QTemporaryDir dir;
    RecordingMessages messages;
    SkinSet skin;
};

TEST_F(SkinLayoutTest, MainAreaWiderThanPanel) {
    standardSkin(300);
    QRect window = fitWindowRect(skin, QSize(320, 240), QSize(0, 0), QRect(100, 100, 200, 200));
    EXPECT_EQ(window.size(), QSize(360, 390));
    SkinLayout layout = computeSkinLayout(skin, {QSize(320, 240), window.size(), QSize(0, 0)});
    EXPECT_EQ(layout.mainWidth, 360);
    EXPECT_EQ(layout.mainHeight, 290);
    EXPECT_EQ(layout.mainLeft, 0);
    EXPECT_EQ(layout.panelLeft, 30); // centred under the main area
    EXPECT_EQ(layout.mainRect, QRect(0, 0, 360, 290));
}

TEST_F(SkinLayoutTest, PanelWiderThanMainArea) {
    standardSkin(400);
    QRect window = fitWindowRect(skin, QSize(320, 240), QSize(0, 0), QRect(0, 0, 10, 10));
    EXPECT_EQ(window.size(), QSize(400, 390));
    SkinLayout layout = computeSkinLayout(skin, {QSize(320, 240), window.size(), QSize(0, 0)});
    EXPECT_EQ(layout.mainLeft, 20); // centred above the panel
    EXPECT_EQ(layout.panelLeft, 0);
}

TEST_F(SkinLayoutTest, FitKeepsTheCentreAndAddsTheFrame) {
    standardSkin(400);
    // Old window 100..300 x 50..150: centre (200, 100).
    QRect window = fitWindowRect(skin, QSize(320, 240), QSize(8, -30), QRect(100, 50, 200, 100));
    EXPECT_EQ(window, QRect(200 - 204, 100 - 210, 408, 420));
    // A larger video grows the main area, not the panel.
    window = fitWindowRect(skin, QSize(640, 480), QSize(0, 0), QRect(0, 0, 0, 0));
    EXPECT_EQ(window.size(), QSize(680, 630));
}

TEST_F(SkinLayoutTest, ControlsArePlacedFromTheirSlots) {
    standardSkin(400);
    SkinLayout layout = computeSkinLayout(skin, {QSize(320, 240), QSize(400, 390), QSize(6, 24)});
    const int mx = 20, mw = 360, mh = 290, px = 0;
    EXPECT_EQ(layout.borderX, 3);
    EXPECT_EQ(layout.mainRect, QRect(mx + 3, 24, mw, mh));
    EXPECT_EQ(placed(layout, kIdPreview), QRect(mx + 20, 30, 320, 240));
    EXPECT_EQ(placed(layout, kIdExit), QRect(mx + mw - 24, 6, 16, 16));
    EXPECT_EQ(placed(layout, kIdMinimize), QRect(mx + mw - 44, 6, 16, 16));
    EXPECT_EQ(placed(layout, kIdWebLink), QRect(mx + (mw - 100) / 2, 8, 100, 12));
    EXPECT_EQ(placed(layout, kIdRecord), QRect(px + 10, mh + 5, 40, 40));
    EXPECT_EQ(placed(layout, kIdAbout), QRect(px + 310, mh + 5, 40, 40));
    EXPECT_EQ(placed(layout, kIdTimer), QRect(px + 20, mh + 60, 8 * 14, 22));
    EXPECT_EQ(placed(layout, kIdSize), QRect(px + 200, mh + 60, 6 * 14, 22));
    // Panel controls are shown by the layout; the others keep their visibility.
    for (const ControlPlacement& c : layout.controls)
        EXPECT_EQ(c.show, c.id >= kIdTimer && c.id <= kIdAudio) << c.id;
    // Placement order: preview, Exit, Minimize, WebLink, then the panel in slot order.
    std::vector<int> order;
    for (const ControlPlacement& c : layout.controls)
        order.push_back(c.id);
    EXPECT_EQ(order, (std::vector<int>{kIdPreview, kIdExit, kIdMinimize, kIdWebLink, kIdRecord,
                                       kIdStop, kIdPlay, kIdMail, kIdConfig, kIdAudio, kIdAbout,
                                       kIdTimer, kIdSize}));
}

TEST_F(SkinLayoutTest, ALargerFrameLosesItsMiddle) {
    standardSkin(300);
    SkinLayout layout = computeSkinLayout(skin, {QSize(100, 60), QSize(300, 210), QSize(0, 0)});
    // MW = 140, MH = 110: quarters of 70 x 55 from the corners of the 360 x 290 picture.
    EXPECT_EQ(layout.mainCorners[0].to, QRect(80, 0, 70, 55));
    EXPECT_EQ(layout.mainCorners[1].from, QPoint(290, 0));
    EXPECT_EQ(layout.mainCorners[2].from, QPoint(0, 235));
    EXPECT_EQ(layout.mainCorners[3].to, QRect(150, 55, 70, 55));
    EXPECT_EQ(layout.mainCorners[3].from, QPoint(290, 235));
}

// A 6 x 4 panel drawn with '#' (not white) and '.' (pure white).
QImage panelFromRows(const std::vector<std::string>& rows) {
    QImage image(int(rows[0].size()), int(rows.size()), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y,
                           rows[size_t(y)][size_t(x)] == '.' ? qRgb(255, 255, 255)
                                                             : qRgb(250, 255, 255));
    return image;
}

TEST(TraceOutline, FollowsLeftEdgeDownAndRightEdgeUp) {
    const QImage panel = panelFromRows({"..##..", ".####.", "######", "......"});
    SkinLayout layout;
    layout.panelSize = panel.size();
    layout.panelLeft = 10;
    layout.borderX = 3;
    layout.mainHeight = 100;
    QPolygon points = TraceOutline(panel, layout, 20);
    const int y0 = 20 + 100 - 2;
    QPolygon expected;
    expected << QPoint(10 + 2 + 3 + 1, y0) << QPoint(10 + 1 + 3 + 1, y0 + 1)
             << QPoint(10 + 0 + 3 + 1, y0 + 2) << QPoint(10 + 5 + 3 - 1, y0 + 2)
             << QPoint(10 + 4 + 3 - 1, y0 + 1) << QPoint(10 + 3 + 3 - 1, y0);
    EXPECT_EQ(points, expected);
}

TEST(TraceOutline, EdgeCases) {
    SkinLayout layout;
    // Entirely white: no points at all.
    QImage white = panelFromRows({"....", "...."});
    layout.panelSize = white.size();
    EXPECT_TRUE(TraceOutline(white, layout, 0).isEmpty());
    // Only column 0 drawn: the left edge finds it, the right scan stops at x = 0 and adds none.
    QImage column = panelFromRows({"#...", "#..."});
    layout.panelSize = column.size();
    EXPECT_EQ(TraceOutline(column, layout, 0).size(), 2);
    // Nothing white: two points a row, the most there can be.
    QImage full = panelFromRows({"####", "####", "####"});
    layout.panelSize = full.size();
    EXPECT_EQ(TraceOutline(full, layout, 0).size(), 6);
    // No picture at all.
    layout.panelSize = QSize(0, 0);
    EXPECT_TRUE(TraceOutline(QImage(), layout, 0).isEmpty());
}

TEST(SkinRegion, AllWhitePanelLeavesTheMainRectangle) {
    const QRect main(10, 0, 100, 50);
    QRegion region = skinWindowRegion(main, QPolygon());
    EXPECT_EQ(region, QRegion(main));
}

TEST(SkinRegion, OutlineIsUnitedUnderTheWindingRule) {
    const QRect main(0, 0, 100, 50);
    // A self-overlapping outline: a winding fill keeps the overlap inside.
    QPolygon outline;
    outline << QPoint(10, 48) << QPoint(90, 48) << QPoint(90, 90) << QPoint(30, 90)
            << QPoint(30, 70) << QPoint(70, 70) << QPoint(70, 110) << QPoint(10, 110);
    QRegion region = skinWindowRegion(main, outline);
    EXPECT_TRUE(region.contains(QPoint(5, 5)));   // main area
    EXPECT_TRUE(region.contains(QPoint(50, 80))); // covered twice: still inside with winding
    EXPECT_TRUE(region.contains(QPoint(20, 100)));
    EXPECT_FALSE(region.contains(QPoint(5, 80))); // beside the panel
    EXPECT_FALSE(region.contains(QPoint(95, 100)));
}

TEST_F(SkinLayoutTest, RegionOfAShapedPanelExcludesItsWhiteCorners) {
    QImage panel = test::solidImage(100, 40, qRgb(60, 60, 80));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 100; ++x)
            if (y > 20 && (x < y - 20 || x > 119 - y))
                panel.setPixel(x, y, qRgb(255, 255, 255));
    picture("PANEL.BMP", panel);
    picture("FRAME.BMP", test::solidImage(60, 60, qRgb(1, 2, 3)));
    load("MAINUI=FRAME.BMP:0,0,0,0\nCTRLPANEL=PANEL.BMP\n");
    SkinLayout layout = computeSkinLayout(skin, {QSize(60, 60), QSize(100, 100), QSize(0, 0)});
    QPolygon outline =
        TraceOutline(skin.bitmap(SkinKey::CtrlPanel).CreateDeviceBitmap(), layout, 0);
    QRegion region = skinWindowRegion(layout.mainRect, outline);
    EXPECT_TRUE(region.contains(QPoint(50, 90)));  // middle of the panel
    EXPECT_FALSE(region.contains(QPoint(2, 95)));  // white lower-left corner
    EXPECT_FALSE(region.contains(QPoint(97, 95))); // white lower-right corner
    EXPECT_FALSE(region.contains(QPoint(5, 30)));  // beside the narrower main area
    EXPECT_TRUE(region.contains(QPoint(25, 30)));
}

TEST(ButtonCells, StateChoosesTheCell) {
    struct Case {
        bool disabled, pressed;
        int x;
    };
    for (Case c : {Case{false, false, 0}, Case{false, true, 40}, Case{true, false, 80},
                   Case{true, true, 80}})
        EXPECT_EQ(buttonCellX(121, c.disabled, c.pressed), c.x) << c.disabled << c.pressed;
}

TEST(ButtonCells, DrawnCellMatchesTheState) {
    QImage button(30, 10, QImage::Format_RGB32);
    button.fill(Qt::black);
    QPainter(&button).fillRect(0, 0, 10, 10, Qt::red);
    QPainter(&button).fillRect(10, 0, 10, 10, Qt::green);
    QPainter(&button).fillRect(20, 0, 10, 10, Qt::blue);
    struct Case {
        bool disabled, pressed;
        QRgb colour;
    };
    for (Case c : {Case{false, false, qRgb(255, 0, 0)}, Case{false, true, qRgb(0, 255, 0)},
                   Case{true, false, qRgb(0, 0, 255)}, Case{true, true, qRgb(0, 0, 255)}}) {
        QImage target = test::solidImage(14, 14, qRgb(1, 1, 1));
        QPainter painter(&target);
        drawButtonCell(painter, button, QRect(2, 2, 10, 10), c.disabled, c.pressed);
        painter.end();
        EXPECT_EQ(target.pixel(2, 2), c.colour);
        EXPECT_EQ(target.pixel(11, 11), c.colour);
        EXPECT_EQ(target.pixel(1, 1), qRgb(1, 1, 1));
        EXPECT_EQ(target.pixel(12, 12), qRgb(1, 1, 1));
    }
}

std::string shown(const std::array<int, 8>& cells) {
    std::string text;
    for (int v : cells)
        text += v == 10 ? ':' : char('0' + v);
    return text;
}

TEST(DigitDisplays, TimeCells) {
    EXPECT_EQ(shown(timeDisplayCells(3725)), "01:02:05");
    EXPECT_EQ(shown(timeDisplayCells(0)), "00:00:00");
    EXPECT_EQ(shown(timeDisplayCells(59)), "00:00:59");
    EXPECT_EQ(shown(timeDisplayCells(3600)), "01:00:00");
    EXPECT_EQ(shown(timeDisplayCells(359999)), "99:59:59");
    EXPECT_EQ(shown(timeDisplayCells(99999)), "27:46:39");
    // The first cell is not reduced to one digit: 100 hours reach the separator cell.
    EXPECT_EQ(timeDisplayCells(360000)[0], 10);
}

TEST(DigitDisplays, SizeCells) {
    struct Case {
        int k;
        std::array<int, 6> cells;
    };
    for (Case c : {Case{123, {0, 0, 0, 1, 2, 3}}, Case{1234567, {2, 3, 4, 5, 6, 7}},
                   Case{0, {0, 0, 0, 0, 0, 0}}, Case{999999, {9, 9, 9, 9, 9, 9}},
                   Case{1000000, {0, 0, 0, 0, 0, 0}}})
        EXPECT_EQ(sizeDisplayCells(c.k), c.cells) << c.k;
}

TEST(DigitDisplays, CellsAreCopiedFromTheStrip) {
    // Strip of eleven 3-pixel cells, cell v filled with grey 20 v + 1.
    QImage strip(33, 2, QImage::Format_RGB32);
    for (int v = 0; v < 11; ++v)
        QPainter(&strip).fillRect(3 * v, 0, 3, 2, QColor(20 * v + 1, 20 * v + 1, 20 * v + 1));
    QImage target = test::solidImage(24, 2, qRgb(0, 0, 0));
    QPainter painter(&target);
    drawDigitCells(painter, strip, timeDisplayCells(3725));
    painter.end();
    const std::array<int, 8> expected{0, 1, 10, 0, 2, 10, 0, 5};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(qRed(target.pixel(3 * i + 1, 1)), 20 * expected[size_t(i)] + 1) << i;
    // A cell value past the strip draws nothing rather than reading beyond it.
    QImage untouched = test::solidImage(3, 2, qRgb(7, 7, 7));
    QPainter p2(&untouched);
    drawDigitCells(p2, strip, std::array<int, 1>{11});
    p2.end();
    EXPECT_EQ(untouched.pixel(1, 1), qRgb(7, 7, 7));
}

TEST_F(SkinLayoutTest, BackgroundIsTextureThenFrameQuartersThenPanel) {
    QImage frame = test::solidImage(100, 80, qRgb(200, 0, 0));
    QPainter(&frame).fillRect(50, 0, 50, 80, QColor(0, 200, 0)); // right half green
    picture("FRAME.BMP", frame);
    picture("PANEL.BMP", test::solidImage(160, 30, qRgb(0, 0, 200)));
    load("MAINUI=FRAME.BMP:10,10,10,10\nCTRLPANEL=PANEL.BMP\n");
    const QSize client(160, 90);
    SkinLayout layout = computeSkinLayout(skin, {QSize(40, 40), client, QSize(0, 0)});
    // MW = MH = 60, MX = 50; panel at (0, 60).
    QImage background =
        composeBackground(skin, test::solidImage(4, 4, qRgb(9, 9, 9)), layout, client);
    ASSERT_EQ(background.size(), client);
    EXPECT_EQ(background.pixel(5, 5), qRgb(9, 9, 9));      // texture beside the main area
    EXPECT_EQ(background.pixel(55, 5), qRgb(200, 0, 0));   // left quarters from the left edge
    EXPECT_EQ(background.pixel(105, 55), qRgb(0, 200, 0)); // right quarters from the right edge
    EXPECT_EQ(background.pixel(5, 70), qRgb(0, 0, 200));   // panel
}

// Regression: margins past the field's range (clamped to 32767) or far below 0 gave an
// invisible 32767 x 1 window that could not be closed. Such skins are refused; the bounds
// themselves are usable.
TEST_F(SkinLayoutTest, SkinsThatCannotGiveAUsableWindowAreRefused) {
    picture("FRAME.BMP", test::solidImage(360, 290, qRgb(40, 40, 60)));
    picture("PANEL.BMP", test::solidImage(400, 100, qRgb(60, 60, 80)));
    struct Case {
        const char* margins;
        bool usable;
    };
    // Video 320 x 240 and a 400 x 100 panel: height = T + 240 + B + 100 <= 16384.
    const Case cases[] = {
        {"20,30,20,20", true},
        {"0,0,0,0", true},
        {"0,16044,0,0", true},  // height exactly 16384
        {"0,16045,0,0", false}, // one past
        {"16064,0,0,0", true},  // width exactly 16384
        {"16065,0,0,0", false},
        {"99999999999999999999,0,0,0", false},
        {"0,0,99999999999999999999,99999999999999999999", false},
        {"-5000,0,0,0", false},
        {"0,0,0,-1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.margins);
        const std::string folder = dir.path().toStdString() + "/";
        test::writeText(folder + "Panel.ini",
                        std::string("MAINUI=FRAME.BMP:") + c.margins + "\nCTRLPANEL=PANEL.BMP\n");
        SkinSet local;
        ASSERT_TRUE(local.LoadSkin(folder + "Panel.ini", folder));
        const std::optional<std::string> problem = skinWindowProblem(local, SkinFrame{}.video);
        EXPECT_EQ(!problem.has_value(), c.usable) << problem.value_or("");
        if (c.usable) {
            const QRect window =
                fitWindowRect(local, SkinFrame{}.video, QSize(0, 0), QRect(0, 0, 10, 10));
            EXPECT_GE(window.width(), 1);
            EXPECT_LE(window.height(), kMaxSkinWindowSide);
        }
    }
}

} // namespace
} // namespace kerris::clipmail
