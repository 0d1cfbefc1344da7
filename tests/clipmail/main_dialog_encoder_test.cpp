// MainDialog with the fake encoder component: the first run's check and configuration, the
// settings file, the recording commands with their buttons and displays, Exit and failures.
#include "clipmail/main_dialog.h"

#include "clipmail/capture_hardware.h"
#include "clipmail/control_ids.h"
#include "clipmail/program_resources.h"
#include "clipmail/skin_painter.h"
#include "tests/clipmail/app_support.h"
#include "tests/clipmail/encoder_fake.h"
#include "tests/clipmail/test_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileInfo>
#include <QPainter>

namespace kerris::clipmail {
namespace {

using test::FakeEncoder;

class MainDialogEncoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication();
        ASSERT_TRUE(
            skin.LoadSkin(test::defaultSkinFolder() + "Panel.ini", test::defaultSkinFolder()));
        folder = dir.path().toStdString() + "/";
        fake.setDevices({"Kerris Camera"}, {"Kerris Camera Microphone"});
        fake.setProfiles({"Murvane"});
        fake.setDetails("Murvane: [Video] 320 x 240, 15 frames/s; [Audio] 22050 Hz");
    }
    void writeSettings() { fake.writeSettings(folder + "Murvane.wme"); }
    std::unique_ptr<MainDialog> open() {
        auto dialog = std::make_unique<MainDialog>(skin, folder, MainDialogOptions{});
        dialog->initialise();
        return dialog;
    }
    // Runs what the dialog posted, and what that posted in turn.
    static void runPosted() {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    }
    static void click(MainDialog& d, int id) {
        static_cast<QAbstractButton*>(d.control(id))->click();
    }
    // The enabled states of Record, Play, Stop, Mail, Config and Audio.
    static std::vector<bool> buttons(MainDialog& d) {
        std::vector<bool> states;
        for (int id : {kIdRecord, kIdPlay, kIdStop, kIdMail, kIdConfig, kIdAudio})
            states.push_back(d.control(id)->isEnabled());
        return states;
    }
    // What the Timer display shows for that many seconds.
    QImage timerShowing(int seconds) const {
        const QImage strip = skin.bitmap(SkinKey::Digit).CreateDeviceBitmap();
        QImage image(8 * (strip.width() / 11), strip.height(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        drawDigitCells(painter, strip, timeDisplayCells(seconds));
        return image;
    }
    static QImage drawn(MainDialog& d, int id) {
        return d.control(id)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    size_t count(const std::string& object, int slot) const {
        return fake.callsOf(object, slot).size();
    }
    size_t systemDialogs() const {
        return size_t(std::count_if(desktop.modals.begin(), desktop.modals.end(),
                                    [](const auto& m) { return m.title == "System"; }));
    }

    test::PrivateRegistry registryFolder;
    FakeEncoder fake;
    QTemporaryDir dir;
    std::string folder;
    test::RecordingMessages messages;
    test::RecordingDesktop desktop;
    SkinSet skin;
};

const std::vector<bool> kIdle = {true, false, false, false, true, true};
const std::vector<bool> kRecording = {false, false, true, false, false, false};
const std::vector<bool> kStopped = {true, true, false, false, true, true}; // no mail here
const std::vector<bool> kFailed = {false, false, false, false, true, false};

TEST_F(MainDialogEncoderTest, FirstRunChecksTheHardwareThenConfiguresAndSavesAtExit) {
    bool cursorDuringDialog = true;
    desktop.onModal = [&](QDialog&) {
        cursorDuringDialog = QApplication::overrideCursor() != nullptr;
        return int(QDialog::Accepted);
    };
    auto dialog = open();
    // Posted during initialisation, run only once it is over.
    EXPECT_TRUE(fake.callsOf("groups", 11).empty());
    EXPECT_EQ(systemDialogs(), 0u);
    runPosted();
    ASSERT_EQ(fake.callsOf("groups", 11).size(), 1u);
    EXPECT_EQ(systemDialogs(), 1u);
    EXPECT_FALSE(cursorDuringDialog);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(buttons(*dialog), kIdle);
    EXPECT_GE(count("view", 9), 1u); // the preview runs after the configuration
    EXPECT_TRUE(desktop.messages.empty());
    fake.clearLog();
    click(*dialog, kIdExit);
    EXPECT_EQ(dialog->result(), 1);
    const auto saves = fake.callsOf("encoder", 9);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].args, std::vector<std::string>{folder + "Murvane.wme"});
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(folder + "Murvane.wme")));
}

TEST_F(MainDialogEncoderTest, NoCaptureHardwareShowsTheMessageAndCloses) {
    fake.setDevices({}, {});
    auto dialog = open();
    runPosted();
    EXPECT_EQ(desktop.messages, std::vector<QString>{QString::fromUtf8(kNoCaptureHardware)});
    EXPECT_EQ(systemDialogs(), 0u);
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_FALSE(dialog->isVisible());
    // Nothing was set up: no settings file, so that the next start checks again.
    EXPECT_TRUE(fake.callsOf("encoder", 9).empty());
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(folder + "Murvane.wme")));
}

TEST_F(MainDialogEncoderTest, TheEncoderMissingFromTheRegistryShows102AndCloses) {
    fake.unregister(encoder::CLSID_Encoder);
    auto dialog = open();
    EXPECT_EQ(desktop.messages, std::vector<QString>{QString::fromUtf8(kString102)});
    runPosted();
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(systemDialogs(), 0u);
    EXPECT_EQ(desktop.messages.size(), 1u);
}

TEST_F(MainDialogEncoderTest, WithASettingsFileThePreviewRunsAtTheProfilesSizeWithoutTheDialog) {
    writeSettings();
    fake.setDetails("Big: [Video] 640 x 480");
    auto dialog = open();
    runPosted();
    EXPECT_EQ(systemDialogs(), 0u);
    EXPECT_EQ(dialog->videoSize(), QSize(640, 480));
    EXPECT_EQ(dialog->size(), QSize(680, 408 + 240));
    EXPECT_EQ(dialog->control(kIdPreview)->geometry().size(), QSize(640, 480));
    EXPECT_EQ(count("encoder", 10), 1u);
    EXPECT_EQ(fake.callsOf("view", 3).at(0).args.at(2), std::to_string(dialog->previewWindow()));
    EXPECT_EQ(buttons(*dialog), kIdle);
}

TEST_F(MainDialogEncoderTest, ASettingsFileThatFailsToLoadOpensTheConfiguration) {
    writeSettings();
    fake.fail("encoder", 8, "The settings file is damaged");
    auto dialog = open();
    EXPECT_EQ(buttons(*dialog), kFailed);
    EXPECT_EQ(desktop.messages, std::vector<QString>{"The settings file is damaged"});
    // In the dialog the user chooses the sources again (as the first run's check would).
    desktop.onModal = [&](QDialog&) {
        CheckCaptureHardware(dialog->encoderSession()->encoder(), [](const std::string&) {});
        return int(QDialog::Accepted);
    };
    runPosted();
    EXPECT_EQ(systemDialogs(), 1u);
    EXPECT_EQ(buttons(*dialog), kIdle);
    EXPECT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(count("encoder", 10), 1u);
}

TEST_F(MainDialogEncoderTest, RecordThenStop) {
    writeSettings();
    auto dialog = open();
    click(*dialog, kIdRecord);
    EXPECT_EQ(buttons(*dialog), kRecording);
    ASSERT_TRUE(dialog->encoderSession()->timerActive());
    fake.setStatistics(3'725'000, 600 * 1024, 40 * 1024);
    dialog->encoderSession()->OnTimer();
    EXPECT_EQ(drawn(*dialog, kIdTimer), timerShowing(3725));
    EXPECT_NE(drawn(*dialog, kIdTimer), timerShowing(0));
    fake.clearLog();
    click(*dialog, kIdStop);
    EXPECT_EQ(buttons(*dialog), kStopped);
    EXPECT_EQ(drawn(*dialog, kIdTimer), timerShowing(0));
    EXPECT_FALSE(dialog->encoderSession()->timerActive());
    // The preview continues, without an output file (started by StopRecording and once more
    // by the command).
    const auto starts = fake.callsOf("encoder", 10);
    ASSERT_FALSE(starts.empty());
    EXPECT_EQ(starts.back().args.at(0), "");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainDialogEncoderTest, AFailedStatisticsReadShows27Hours46Minutes39Seconds) {
    writeSettings();
    auto dialog = open();
    click(*dialog, kIdRecord);
    fake.fail("statistics", 7, "");
    dialog->encoderSession()->OnTimer();
    EXPECT_EQ(drawn(*dialog, kIdTimer), timerShowing(99999));
    EXPECT_EQ(buttons(*dialog), kRecording);
}

TEST_F(MainDialogEncoderTest, RecordWithoutAFileObjectStaysInRecordingUntilStop) {
    writeSettings();
    auto dialog = open();
    fake.fail("encoder", 32, "no file object");
    fake.clearLog();
    click(*dialog, kIdRecord);
    EXPECT_EQ(buttons(*dialog), kRecording);
    EXPECT_FALSE(dialog->encoderSession()->recording());
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_EQ(count("encoder", 10), 0u);
    click(*dialog, kIdStop);
    EXPECT_EQ(buttons(*dialog), kStopped);
    EXPECT_EQ(count("encoder", 10), 1u);
    EXPECT_GE(count("view", 9), 1u);
}

TEST_F(MainDialogEncoderTest, ExitDuringARecordingStopsTheTimerAndTheEncoderAndSaves) {
    writeSettings();
    auto dialog = open();
    click(*dialog, kIdRecord);
    ASSERT_TRUE(dialog->encoderSession()->timerActive());
    fake.clearLog();
    dialog->close();
    EXPECT_EQ(dialog->result(), 1);
    EXPECT_FALSE(dialog->encoderSession()->timerActive());
    EXPECT_EQ(count("encoder", 11), 1u);
    EXPECT_EQ(count("encoder", 9), 1u);
}

TEST_F(MainDialogEncoderTest, ConfigStopsTheEncoderAndComesBackIdle) {
    writeSettings();
    fake.fail("encoder", 10, "The video device is in use by another program");
    auto dialog = open();
    EXPECT_EQ(buttons(*dialog), kFailed);
    runPosted();
    EXPECT_EQ(systemDialogs(), 1u);
    EXPECT_EQ(buttons(*dialog), kIdle);
    // Config by hand, the device free again: stop, dialog, new preview, Idle.
    fake.reset();
    fake.setDetails("M: [Video] 176 x 144");
    fake.setRunState(2);
    fake.clearLog();
    click(*dialog, kIdConfig);
    EXPECT_EQ(systemDialogs(), 2u);
    EXPECT_EQ(count("encoder", 11), 1u);
    EXPECT_EQ(count("previews", 10), 1u);
    EXPECT_EQ(count("encoder", 10), 1u);
    EXPECT_EQ(dialog->videoSize(), QSize(176, 144));
    EXPECT_EQ(buttons(*dialog), kIdle);
}

TEST_F(MainDialogEncoderTest, EnableTableOfEveryState) {
    writeSettings();
    auto dialog = open();
    const std::pair<ButtonState, std::vector<bool>> rows[] = {
        {ButtonState::Recording, kRecording},
        {ButtonState::Stopped, kStopped},
        {ButtonState::Failed, kFailed},
        {ButtonState::Idle, kIdle},
    };
    for (const auto& [state, expected] : rows) {
        dialog->SetButtonState(state);
        EXPECT_EQ(buttons(*dialog), expected) << int(state);
        EXPECT_TRUE(dialog->control(kIdAbout)->isEnabled());
        EXPECT_TRUE(dialog->control(kIdExit)->isEnabled());
    }
    // Mail follows the mail support, in Stopped only.
    EXPECT_TRUE(buttonEnables(ButtonState::Stopped, true).mail);
    EXPECT_FALSE(buttonEnables(ButtonState::Idle, true).mail);
    EXPECT_FALSE(buttonEnables(ButtonState::Failed, true).mail);
}

} // namespace
} // namespace kerris::clipmail
