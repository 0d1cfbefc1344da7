// MainDialog with the default skin and with hand-made ones, offscreen: controls of the
// template, layout and region, owner drawing, the message table, keys, dragging and exit.
#include "clipmail/main_dialog.h"

#include "clipmail/bitmap_writer.h"
#include "clipmail/control_ids.h"
#include "clipmail/program_resources.h"
#include "clipmail/skin_painter.h"
#include "clipmail/splash_dialog.h"
#include "tests/clipmail/app_support.h"
#include "tests/clipmail/encoder_fake.h"
#include "tests/clipmail/test_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>

namespace kerris::clipmail {
namespace {

using test::RecordingDesktop;
using test::RecordingMessages;

MainDialogOptions standardOptions() {
    MainDialogOptions options;
    options.aboutItemText = QString::fromUtf8(kString101);
    return options;
}

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication();
        ASSERT_TRUE(
            skin.LoadSkin(test::defaultSkinFolder() + "Panel.ini", test::defaultSkinFolder()))
            << "default skin missing in " << test::defaultSkinFolder();
        ASSERT_TRUE(messages.shown.empty()) << messages.shown.front();
        // An encoder with its settings: the preview starts at once, nothing is posted.
        fake.writeSettings(clipFolder() + "Murvane.wme");
        fake.setDetails("Murvane: [Video] 320 x 240");
    }
    QImage slotPicture(SkinKey slot) const { return skin.bitmap(slot).CreateDeviceBitmap(); }
    std::string clipFolder() const { return clips.path().toStdString() + "/"; }
    test::PrivateRegistry registryFolder;
    test::FakeEncoder fake;
    QTemporaryDir clips;
    RecordingMessages messages;
    RecordingDesktop desktop;
    SkinSet skin;
};

TEST_F(MainDialogTest, ControlsOfTheTemplateWithTheirIdsAndStates) {
    MainDialog dialog(skin, clipFolder(), standardOptions());
    dialog.initialise();
    struct Case {
        int id;
        bool visible;
        bool enabled;
    };
    const Case cases[] = {
        {kIdOk, false, true},        {kIdCancel, false, true}, {kIdWebLink, true, false},
        {kIdMinimize, false, false}, {kIdExit, true, true},    {kIdPreview, true, true},
        {kIdPropShell, false, true}, {kIdTimer, true, false},  {kIdSize, true, false},
        {kIdAbout, true, true},      {kIdRecord, true, true},  {kIdPlay, true, false},
        {kIdStop, true, false},      {kIdMail, true, false},   {kIdConfig, true, true},
        {kIdAudio, true, true},      {kIdNoUse, false, true},
    };
    for (const Case& c : cases) {
        QWidget* w = dialog.control(c.id);
        ASSERT_NE(w, nullptr) << c.id;
        EXPECT_EQ(w->property("controlId").toInt(), c.id);
        EXPECT_EQ(w->objectName(), QString::number(c.id));
        EXPECT_EQ(w->isVisible(), c.visible) << c.id;
        EXPECT_EQ(w->isEnabled(), c.enabled) << c.id;
    }
    EXPECT_EQ(static_cast<QAbstractButton*>(dialog.control(kIdRecord))->text(), "Record");
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dialog.windowTitle(), "Murvane");
    EXPECT_FALSE(dialog.windowIcon().isNull());
}

TEST_F(MainDialogTest, DefaultSkinGivesANonRectangularWindow) {
    MainDialog dialog(skin, clipFolder(), standardOptions());
    dialog.initialise();
    ASSERT_TRUE(dialog.skinReady());
    // max(MW 360, PW 400) x (MH 290 + PH 118)
    EXPECT_EQ(dialog.size(), QSize(400, 408));
    EXPECT_EQ(dialog.control(kIdPreview)->geometry(), QRect(40, 30, 320, 240));
    EXPECT_EQ(dialog.control(kIdRecord)->geometry(), QRect(30, 302, 40, 40));
    EXPECT_EQ(dialog.control(kIdExit)->geometry(), QRect(20 + 360 - 28, 6, 20, 20));
    EXPECT_EQ(dialog.control(kIdTimer)->geometry(), QRect(70, 360, 8 * 13, 22));
    const QRegion region = dialog.windowRegion();
    EXPECT_EQ(dialog.mask(), region);
    EXPECT_NE(region, QRegion(region.boundingRect()));
    EXPECT_TRUE(region.contains(QPoint(200, 100))); // main area
    EXPECT_TRUE(region.contains(QPoint(200, 350))); // panel
    EXPECT_TRUE(region.contains(QPoint(5, 292)));   // the panel's wing below the main area
    EXPECT_FALSE(region.contains(QPoint(5, 100)));  // beside the main area
    EXPECT_FALSE(region.contains(QPoint(1, 406)));  // white corner of the panel
    EXPECT_FALSE(region.contains(QPoint(398, 406)));
    EXPECT_FALSE(region.contains(QPoint(10, 380))); // the tray narrows below the wings
}

TEST_F(MainDialogTest, PaintShowsTheComposedBackground) {
    MainDialog dialog(skin, clipFolder(), standardOptions());
    dialog.initialise();
    const QImage shot = dialog.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // A point of the main frame and one of the panel not covered by a control.
    for (QPoint p : {QPoint(25, 150), QPoint(200, 395)})
        EXPECT_EQ(shot.pixel(p), dialog.background().pixel(p)) << p.x() << "," << p.y();
    EXPECT_EQ(dialog.background().pixel(200, 395),
              slotPicture(SkinKey::CtrlPanel).pixel(200, 395 - 290));
}

TEST_F(MainDialogTest, ButtonsDrawTheCellOfTheirState) {
    MainDialog dialog(skin, clipFolder(), standardOptions());
    dialog.initialise();
    auto cell = [&](SkinKey slot, int index) {
        const QImage picture = slotPicture(slot);
        const int w = picture.width() / 3;
        return picture.copy(index * w, 0, w, picture.height());
    };
    auto drawn = [&](int id) {
        return dialog.control(id)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    EXPECT_EQ(drawn(kIdRecord), cell(SkinKey::Record, 0)); // normal
    EXPECT_EQ(drawn(kIdPlay), cell(SkinKey::Play, 2));     // disabled
    static_cast<QAbstractButton*>(dialog.control(kIdConfig))->setDown(true);
    EXPECT_EQ(drawn(kIdConfig), cell(SkinKey::Config, 1));   // pressed
    EXPECT_EQ(drawn(kIdWebLink), cell(SkinKey::WebLink, 2)); // always disabled
    EXPECT_NE(cell(SkinKey::Record, 0), cell(SkinKey::Record, 2));
}

TEST_F(MainDialogTest, SetCountersRedrawsBothDisplays) {
    MainDialog dialog(skin, clipFolder(), standardOptions());
    dialog.initialise();
    dialog.SetCounters(3725, 1234567);
    const QImage strip = slotPicture(SkinKey::Digit);
    auto expected = [&](auto cells, int count) {
        QImage image(count * (strip.width() / 11), strip.height(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        drawDigitCells(painter, strip, cells);
        return image;
    };
    auto drawn = [&](int id) {
        return dialog.control(id)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    EXPECT_EQ(drawn(kIdTimer), expected(timeDisplayCells(3725), 8));
    EXPECT_EQ(drawn(kIdSize), expected(sizeDisplayCells(1234567), 6));
    EXPECT_NE(drawn(kIdTimer), expected(timeDisplayCells(0), 8));
}

TEST_F(MainDialogTest, EnterEscapeOkAndCancelLeaveTheDialogOpen) {
    MainDialog dialog(skin, clipFolder(), standardOptions());
    dialog.initialise();
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &press);
    }
    dialog.onCommand(kIdOk);
    dialog.onCommand(kIdCancel);
    QApplication::processEvents();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
}

TEST_F(MainDialogTest, ExitAndCloseEndTheDialogWithOk) {
    {
        MainDialog dialog(skin, clipFolder(), standardOptions());
        dialog.initialise();
        static_cast<QAbstractButton*>(dialog.control(kIdExit))->click();
        EXPECT_EQ(dialog.result(), 1);
        EXPECT_FALSE(dialog.isVisible());
    }
    {
        MainDialog dialog(skin, clipFolder(), standardOptions());
        dialog.initialise();
        dialog.close();
        EXPECT_EQ(dialog.result(), 1);
        EXPECT_FALSE(dialog.isVisible());
    }
    {
        // A run that ends from inside its own loop returns the result.
        MainDialog dialog(skin, clipFolder(), standardOptions());
        QMetaObject::invokeMethod(
            &dialog, [&] { dialog.onCommand(kIdExit); }, Qt::QueuedConnection);
        EXPECT_EQ(dialog.exec(), 1);
    }
}

TEST_F(MainDialogTest, AboutBoxFromTheButtonAndTheSystemMenu) {
    MainDialog dialog(skin, clipFolder(), standardOptions());
    dialog.initialise();
    // The button posts system command 16: nothing until the queue runs.
    static_cast<QAbstractButton*>(dialog.control(kIdAbout))->click();
    EXPECT_TRUE(desktop.modals.empty());
    QApplication::processEvents();
    ASSERT_EQ(desktop.modals.size(), 1u);
    EXPECT_EQ(desktop.modals[0].title, "About Murvane");
    EXPECT_TRUE(desktop.modals[0].labels.contains("Murvane Version 1.1"));
    EXPECT_TRUE(desktop.modals[0].labels.contains(QString::fromUtf8(kAboutCopyright)));

    const QList<QAction*> actions = dialog.systemMenu()->actions();
    ASSERT_GE(actions.size(), 2);
    QAction* about = actions.last();
    EXPECT_EQ(about->text(), QString::fromUtf8("\xE9\x97\x9C\xE6\x96\xBC Murvane(&A)..."));
    EXPECT_EQ(about->data().toInt(), kSysCommandAbout);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    about->trigger();
    EXPECT_EQ(desktop.modals.size(), 2u);
    // The low four bits of a system command do not matter; other commands open nothing.
    dialog.onSysCommand(kSysCommandAbout | 0x7);
    dialog.onSysCommand(32);
    EXPECT_EQ(desktop.modals.size(), 3u);
}

TEST_F(MainDialogTest, NoAboutItemWithoutItsText) {
    MainDialogOptions options;
    MainDialog dialog(skin, clipFolder(), options);
    dialog.initialise();
    for (QAction* action : dialog.systemMenu()->actions()) {
        EXPECT_FALSE(action->isSeparator());
        EXPECT_NE(action->data().toInt(), kSysCommandAbout);
    }
}

TEST_F(MainDialogTest, AudioOpensTheVolumeMixerOrSaysWhyNot) {
    MainDialog dialog(skin, clipFolder(), standardOptions());
    dialog.initialise();
    dialog.onCommand(kIdAudio);
    EXPECT_EQ(desktop.started, std::vector<QString>{"pavucontrol"});
    EXPECT_TRUE(desktop.messages.empty());

    desktop.programsPresent = false;
    dialog.onCommand(kIdAudio);
    EXPECT_EQ(desktop.started.size(), 1u);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].contains("pavucontrol"));

    desktop.programsPresent = true;
    desktop.startSucceeds = false;
    dialog.onCommand(kIdAudio);
    EXPECT_EQ(desktop.messages.size(), 2u);
}

TEST_F(MainDialogTest, WebLinkOpensTheDownloadPageOnlyWhenCommanded) {
    MainDialog dialog(skin, clipFolder(), standardOptions());
    dialog.initialise();
    static_cast<QAbstractButton*>(dialog.control(kIdWebLink))->click(); // disabled: no command
    EXPECT_TRUE(desktop.urls.empty());
    dialog.onCommand(kIdWebLink);
    ASSERT_EQ(desktop.urls.size(), 1u);
    EXPECT_EQ(desktop.urls[0], QUrl(QString::fromUtf8(kEncoderDownloadPage)));
}

TEST_F(MainDialogTest, FitFollowsTheVideoSizeAndKeepsTheCentre) {
    MainDialog dialog(skin, clipFolder(), standardOptions());
    dialog.initialise();
    const QRect before = dialog.geometry();
    dialog.setVideoSize(QSize(640, 480));
    dialog.FitWindowToSkin();
    EXPECT_EQ(dialog.size(), QSize(680, 408 + 240));
    EXPECT_LE((dialog.geometry().center() - before.center()).manhattanLength(), 2);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.control(kIdPreview)->geometry(), QRect(20, 30, 640, 480));
    EXPECT_EQ(dialog.control(kIdRecord)->geometry().topLeft(), QPoint(140 + 30, 530 + 12));
}

TEST_F(MainDialogTest, MovingSkipsTheLayoutAndDraggingFollowsTheMouse) {
    MainDialog dialog(skin, clipFolder(), standardOptions());
    dialog.initialise();
    const qint64 background = dialog.background().cacheKey();
    const QPoint start = dialog.pos();
    const QPoint grip(200, 395); // panel background, no control there
    const QPoint global = start + grip;
    QMouseEvent press(QEvent::MouseButtonPress, grip, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&dialog, &press);
    QMouseEvent move(QEvent::MouseMove, grip + QPoint(30, 20), global + QPoint(30, 20),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, grip, global + QPoint(30, 20), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &release);
    QApplication::processEvents();
    EXPECT_EQ(dialog.pos(), start + QPoint(30, 20));
    EXPECT_EQ(dialog.background().cacheKey(), background);
}

// Skins made here: an all-white panel and no skin at all.
class HandMadeSkinTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureApplication(); }
    QTemporaryDir dir;
    RecordingMessages messages;
    RecordingDesktop desktop;
    SkinSet skin;
};

TEST_F(HandMadeSkinTest, AllWhitePanelLeavesOnlyTheMainRectangle) {
    const std::string folder = dir.path().toStdString() + "/";
    ASSERT_TRUE(writeFileAtomically(
        folder + "F.BMP", encodeBitmapFile(test::solidImage(360, 290, qRgb(50, 50, 50)), 24)));
    ASSERT_TRUE(writeFileAtomically(
        folder + "P.BMP", encodeBitmapFile(test::solidImage(300, 80, qRgb(255, 255, 255)), 24)));
    test::writeText(folder + "Panel.ini", "MAINUI=F.BMP:20,30,20,20\nCTRLPANEL=P.BMP\n");
    ASSERT_TRUE(skin.LoadSkin(folder + "Panel.ini", folder));
    MainDialog dialog(skin, folder, standardOptions());
    dialog.initialise();
    EXPECT_EQ(dialog.size(), QSize(360, 370));
    EXPECT_EQ(dialog.windowRegion(), QRegion(0, 0, 360, 290));
}

TEST_F(HandMadeSkinTest, NoSkinStillGivesAWindow) {
    MainDialog dialog(skin, "/nonexistent/", standardOptions());
    dialog.initialise();
    EXPECT_TRUE(dialog.skinReady());
    EXPECT_EQ(dialog.size(), QSize(320, 240));
    EXPECT_EQ(dialog.windowRegion(), QRegion(0, 0, 320, 240));
    EXPECT_TRUE(messages.shown.empty());
}

TEST(SplashPlace, CentredWithTruncatedHalves) {
    EXPECT_EQ(splashPosition(QSize(1280, 800), QSize(400, 240)), QPoint(440, 280));
    EXPECT_EQ(splashPosition(QSize(1279, 799), QSize(401, 241)), QPoint(639 - 200, 399 - 120));
    EXPECT_EQ(splashPosition(QSize(300, 200), QSize(400, 240)), QPoint(-50, -20));
}

TEST(ProgramResources, TextureIsA48By48SixteenColourBitmap) {
    const CDib& texture = bitmap137();
    EXPECT_EQ(texture.Size(), QSize(48, 48));
    EXPECT_EQ(texture.header().bitCount, 4);
    EXPECT_EQ(texture.colourCount(), 16);
    EXPECT_FALSE(texture.CreateDeviceBitmap().isNull());
    EXPECT_EQ(icon128Image().size(), QSize(32, 32));
}

} // namespace
} // namespace kerris::clipmail
