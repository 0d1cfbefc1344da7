// LoadSkin: line handling, keys, folders, number parts and failing pictures.
#include "clipmail/skin_set.h"

#include "clipmail/bitmap_writer.h"
#include "tests/clipmail/test_support.h"

#include <gtest/gtest.h>

#include <QDir>

#include <climits>

namespace kerris::clipmail {
namespace {

using test::RecordingMessages;

class SkinSetTest : public ::testing::Test {
protected:
    std::string folder() const { return dir.path().toStdString() + "/"; }
    // Writes a solid 24-bit picture of the size at folder + relative.
    void picture(const std::string& relative, int w, int h, QRgb colour = qRgb(10, 20, 30)) {
        const std::string full = folder() + relative;
        QDir().mkpath(QString::fromStdString(full).section('/', 0, -2));
        ASSERT_TRUE(
            writeFileAtomically(full, encodeBitmapFile(test::solidImage(w, h, colour), 24)));
    }
    bool load(const std::string& text) {
        test::writeText(folder() + "Panel.ini", text);
        return skin.LoadSkin(folder() + "Panel.ini", folder());
    }
    QTemporaryDir dir;
    RecordingMessages messages;
    SkinSet skin;
};

TEST_F(SkinSetTest, BlanksTabsAndLowerCaseAroundEveryPart) {
    picture("REC.BMP", 60, 20);
    ASSERT_TRUE(load("  record \t=\t rec.bmp \t: \t 12 \t, \t -34 \t\r\n"));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(skin.bitmapSize(SkinKey::Record), QSize(60, 20));
    EXPECT_EQ(skin.position(SkinKey::Record), QPoint(12, -34));
}

TEST_F(SkinSetTest, MainUiTakesFourMargins) {
    picture("FRAME.BMP", 360, 290);
    ASSERT_TRUE(load("MainUI = frame.bmp : 20, 30, 21, 22\n"));
    EXPECT_EQ(skin.bitmapSize(SkinKey::MainUi), QSize(360, 290));
    const SkinMargins& m = skin.margins();
    EXPECT_EQ((std::array<int, 4>{m.left, m.top, m.right, m.bottom}),
              (std::array<int, 4>{20, 30, 21, 22}));
}

TEST_F(SkinSetTest, CommentEmptyAndUnknownLinesChangeNothing) {
    picture("LOGO.BMP", 10, 10);
    ASSERT_TRUE(load("# LOGO=LOGO.BMP\n\n \t \nBANNER=LOGO.BMP:1,2\nLOGO\n=LOGO.BMP\nTIMEX=3,4\n"));
    // "LOGO" alone names the key with an empty value: the folder itself, which is no picture.
    EXPECT_EQ(messages.shown, std::vector<std::string>{kEmptyBitmapFile});
    for (int slot = 0; slot < kSkinKeyCount; ++slot) {
        EXPECT_EQ(skin.bitmapSize(SkinKey(slot)), QSize(0, 0)) << slot;
        EXPECT_EQ(skin.position(SkinKey(slot)), QPoint(0, 0)) << slot;
    }
    EXPECT_EQ(skin.bitmapFolder(), folder());
}

TEST_F(SkinSetTest, PathLinesAccumulate) {
    picture("A/B/DIGIT.BMP", 110, 16);
    picture("A/LOGO.BMP", 8, 8);
    ASSERT_TRUE(load("PATH=a\nLOGO=logo.bmp\nPATH=b\nDIGIT=digit.bmp\n"));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(skin.bitmapFolder(), folder() + "A/B/");
    EXPECT_EQ(skin.bitmapSize(SkinKey::Logo), QSize(8, 8));
    EXPECT_EQ(skin.bitmapSize(SkinKey::Digit), QSize(110, 16));
}

TEST_F(SkinSetTest, ALineLongerThan255CharactersIsReadInPieces) {
    picture("REC.BMP", 30, 10);
    // The first piece is a comment of 255 characters; the rest of the line stands alone.
    const std::string line = "#" + std::string(254, 'x') + "RECORD=REC.BMP:5,6\n";
    ASSERT_TRUE(load(line));
    EXPECT_EQ(skin.bitmapSize(SkinKey::Record), QSize(30, 10));
    EXPECT_EQ(skin.position(SkinKey::Record), QPoint(5, 6));
}

TEST_F(SkinSetTest, NumberPartsThatStopEarlyKeepTheEarlierValues) {
    ASSERT_TRUE(load("TIME=7,8\nTIME=9\nFILESIZE=1;2\nFILESIZE=x,5\n"));
    EXPECT_EQ(skin.position(SkinKey::Time), QPoint(9, 8));
    EXPECT_EQ(skin.position(SkinKey::FileSize), QPoint(1, 0));
}

TEST_F(SkinSetTest, HugeNumbersAreHeldToWindowCoordinates) {
    // Regression: margins of 2^31 - 1 made the main-area sums overflow.
    ASSERT_TRUE(load("MAINUI=:2147483647,-2147483648,99999999999,5\nTIME=40000,-40000\n"));
    const SkinMargins& m = skin.margins();
    EXPECT_EQ((std::array<int, 4>{m.left, m.top, m.right, m.bottom}),
              (std::array<int, 4>{32767, -32768, 32767, 5}));
    EXPECT_EQ(skin.position(SkinKey::Time), QPoint(32767, -32768));
}

TEST_F(SkinSetTest, AFileKeyWithoutColonHasNoFileAndAllNumbers) {
    ASSERT_TRUE(load("STOP=4,5\n"));
    EXPECT_EQ(messages.shown, std::vector<std::string>{kEmptyBitmapFile});
    EXPECT_EQ(skin.bitmapSize(SkinKey::Stop), QSize(0, 0));
    EXPECT_EQ(skin.position(SkinKey::Stop), QPoint(4, 5));
}

TEST_F(SkinSetTest, BadPicturesShowOneMessageEachAndStayEmpty) {
    test::writeText(folder() + "EMPTY.BMP", "");
    test::writeText(folder() + "TEXT.BMP",
                    "not a picture at all, but long enough to have a header");
    ASSERT_TRUE(load("LOGO=missing.bmp\nCTRLPANEL=empty.bmp\nDIGIT=text.bmp\n"));
    EXPECT_EQ(messages.shown,
              (std::vector<std::string>{kEmptyBitmapFile, kEmptyBitmapFile, kInvalidBitmapFile}));
    EXPECT_EQ(skin.bitmapSize(SkinKey::Logo), QSize(0, 0));
    EXPECT_EQ(skin.bitmapSize(SkinKey::CtrlPanel), QSize(0, 0));
    EXPECT_EQ(skin.bitmapSize(SkinKey::Digit), QSize(0, 0));
}

TEST_F(SkinSetTest, AMissingSkinFileGivesAnEmptySkin) {
    EXPECT_FALSE(skin.LoadSkin(folder() + "Panel.ini", folder()));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(skin.bitmapSize(SkinKey::MainUi), QSize(0, 0));
    EXPECT_EQ(skin.bitmapSize(SkinKey::Path), QSize(0, 0)); // not a picture slot
}

TEST(SkinKeys, NamesRoundTripAndCompareExactly) {
    for (int slot = 0; slot < kSkinKeyCount; ++slot)
        EXPECT_EQ(skinKeyFromName(skinKeyName(SkinKey(slot))), SkinKey(slot));
    EXPECT_EQ(skinKeyFromName("ABOUT_BTM"), SkinKey::AboutBtm);
    EXPECT_EQ(skinKeyFromName("AUDIOCTRL"), SkinKey::AudioCtrl);
    EXPECT_FALSE(skinKeyFromName("logo"));
    EXPECT_FALSE(skinKeyFromName("LOGO "));
    EXPECT_FALSE(skinKeyFromName(""));
}

TEST(SkinNumbers, ScanLikeCommaSeparatedIntegers) {
    struct Case {
        const char* text;
        int count;
        int read;
        std::array<int, 4> values;
    };
    const Case cases[] = {
        {"1,2", 2, 2, {1, 2, -1, -1}},
        {"-5,+7", 2, 2, {-5, 7, -1, -1}},
        {"3", 2, 1, {3, -1, -1, -1}},
        {",4", 2, 0, {-1, -1, -1, -1}},
        {"1;2", 2, 1, {1, -1, -1, -1}},
        {"", 2, 0, {-1, -1, -1, -1}},
        {"99999999999999999999,-99999999999999999999", 2, 2, {INT_MAX, INT_MIN, -1, -1}},
        {"1,2,3,4,5", 4, 4, {1, 2, 3, 4}},
        {"1,,3", 4, 1, {1, -1, -1, -1}},
        {"7,8x", 2, 2, {7, 8, -1, -1}},
        {"-", 1, 0, {-1, -1, -1, -1}},
    };
    for (const Case& c : cases) {
        std::array<int, 4> v{-1, -1, -1, -1};
        EXPECT_EQ(scanIntegers(c.text, c.count, v.data()), c.read) << c.text;
        EXPECT_EQ(v, c.values) << c.text;
    }
}

TEST(SkinLines, BlanksGoAndAsciiIsUpperCased) {
    EXPECT_EQ(normaliseSkinLine(" a b\tc\r\n"), "ABC");
    // Multibyte characters pass unchanged: only ASCII letters change case.
    EXPECT_EQ(normaliseSkinLine("logo=\xE6\x88\x91.bmp"), "LOGO=\xE6\x88\x91.BMP");
}

} // namespace
} // namespace kerris::clipmail
