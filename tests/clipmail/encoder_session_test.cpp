// The recording operations against the fake encoder component: start-up with and without a
// settings file, failure at every step, the video size, Record, Stop, statistics, shutdown.
#include "clipmail/encoder_session.h"

#include "clipmail/control_ids.h"
#include "clipmail/program_resources.h"
#include "tests/clipmail/app_support.h"
#include "tests/clipmail/encoder_fake.h"
#include "tests/clipmail/test_support.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>

namespace kerris::clipmail {
namespace {

using test::EncoderCall;
using test::FakeEncoder;

const std::string kDetails = "Murvane: [Video] 320 x 240, 15 frames/s; [Audio] 22050 Hz, mono";

// Records what the operations ask of the dialog.
class RecordingHost : public EncoderSessionHost {
public:
    void SetButtonState(ButtonState s) override { states.push_back(s); }
    QSize videoSize() const override { return size; }
    void setVideoSize(QSize s) override { size = s; }
    void FitWindowToSkin() override { fitted.push_back(size); }
    void SetCounters(int seconds, int kilobytes) override {
        counters.push_back({seconds, kilobytes});
    }
    void showMessage(const QString& text) override { messages.push_back(text.toStdString()); }
    void postCommand(int id) override { posted.push_back(id); }
    void postClose() override { posted.push_back(-1); }

    QSize size{320, 240};
    std::vector<ButtonState> states;
    std::vector<QSize> fitted;
    std::vector<std::pair<int, int>> counters;
    std::vector<std::string> messages;
    std::vector<int> posted;
};

class EncoderSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication();
        previewWidget = std::make_unique<QWidget>();
        kPreviewWindow = KerrisWindowHandle(previewWidget.get());
        folder = dir.path().toStdString() + "/";
        fake.setDetails(kDetails);
    }
    void writeSettings() { fake.writeSettings(folder + "Murvane.wme"); }
    // Creates the host's shell interface as the main dialog does, then starts the encoder.
    void start() { session.InitEncoder(shell(), kPreviewWindow); }
    encoder::IPropertyPageHost* shell();
    size_t count(const std::string& object, int slot) const {
        return fake.callsOf(object, slot).size();
    }

    std::unique_ptr<QWidget> previewWidget; // the preview window, control 1003
    com::HWND kPreviewWindow = 0;
    test::PrivateRegistry registryFolder;
    FakeEncoder fake;
    QTemporaryDir dir;
    std::string folder;
    RecordingHost host;
    EncoderSession session{host, (dir.path() + "/").toStdString()};
    com::ComPtr<com::IUnknown> hostControl;
    com::ComPtr<encoder::IPropertyPageHost> hostShell;
};

encoder::IPropertyPageHost* EncoderSessionTest::shell() {
    if (!hostShell) {
        CoCreateInstance(&encoder::CLSID_PropertyPageHost, nullptr, com::CLSCTX_INPROC_SERVER,
                         &com::IUnknown::kIid, hostControl.putVoid());
        hostShell = hostControl.as<encoder::IPropertyPageHost>();
    }
    return hostShell.get();
}

TEST_F(EncoderSessionTest, FirstRunPostsTheHardwareCheckAndNothingElse) {
    start();
    EXPECT_EQ(host.posted, std::vector<int>{kIdNoUse});
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.states.empty());
    EXPECT_EQ(count("host", 10), 1u); // the encoder given to the hidden host
    EXPECT_EQ(count("host", 7), 1u);  // and its one page
    EXPECT_EQ(count("encoder", 8), 0u);
    EXPECT_EQ(count("encoder", 10), 0u);
}

TEST_F(EncoderSessionTest, SettingsFileLoadsAndThePreviewRuns) {
    writeSettings();
    host.size = QSize(1, 1);
    fake.setDetails("Big: [Video] 640 x 480; [Audio] 44100 Hz");
    start();
    EXPECT_TRUE(host.posted.empty());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.states.empty());
    const auto loads = fake.callsOf("encoder", 8);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].args, std::vector<std::string>{folder + "Murvane.wme"});
    EXPECT_EQ(host.fitted, std::vector<QSize>{QSize(640, 480)});
    ASSERT_EQ(count("broadcast", 8), 1u);
    EXPECT_EQ(fake.callsOf("broadcast", 8)[0].args, (std::vector<std::string>{"1", "8080"}));
    // The view: old views removed, added, prepared, bound to the window, started.
    EXPECT_EQ(count("previews", 12), 1u);
    ASSERT_EQ(count("previews", 10), 1u);
    ASSERT_EQ(fake.callsOf("encoder", 15).size(), 1u);
    EXPECT_EQ(fake.callsOf("encoder", 15)[0].args, std::vector<std::string>{"1"});
    const auto bind = fake.callsOf("view", 3);
    ASSERT_EQ(bind.size(), 1u);
    const std::string cookie = std::to_string(session.viewCookie());
    EXPECT_EQ(bind[0].args,
              (std::vector<std::string>{cookie, "4", std::to_string(kPreviewWindow)}));
    EXPECT_EQ(count("encoder", 10), 1u);
    ASSERT_EQ(count("view", 9), 1u);
    EXPECT_EQ(fake.callsOf("view", 9)[0].args, std::vector<std::string>{cookie});
}

TEST_F(EncoderSessionTest, ASettingsFileThatFailsToLoadPostsConfig) {
    writeSettings();
    fake.fail("encoder", 8, "The settings file is damaged");
    start();
    EXPECT_EQ(host.states, std::vector<ButtonState>{ButtonState::Failed});
    EXPECT_EQ(host.messages, std::vector<std::string>{"The settings file is damaged"});
    EXPECT_EQ(host.posted, std::vector<int>{kIdConfig});
    EXPECT_TRUE(host.fitted.empty());
    EXPECT_EQ(count("encoder", 10), 0u);
}

// Each step of the start-up failing in turn: the buttons go to Failed, the component's
// description is shown once, Config is posted once and no later step runs.
TEST_F(EncoderSessionTest, EachStartUpStepFailingLeadsToConfig) {
    struct Case {
        const char* object;
        int slot;
        size_t fits;     // ReadVideoSize got through
        size_t ports;    // the broadcast port was set
        size_t removals; // SetupPreview reached the preview collection
        size_t viewStarts;
    };
    const Case cases[] = {
        {"encoder", 34, 0, 0, 0, 0}, {"encoder", 26, 0, 0, 0, 0},  {"groups", 14, 0, 0, 0, 0},
        {"group", 13, 0, 0, 0, 0},   {"profile", 7, 0, 0, 0, 0},   {"details", 10, 0, 0, 0, 0},
        {"encoder", 31, 1, 0, 0, 0}, {"broadcast", 8, 1, 1, 0, 0}, {"group", 10, 1, 1, 0, 0},
        {"source", 19, 1, 1, 0, 0},  {"previews", 12, 1, 1, 1, 0}, {"previews", 10, 1, 1, 1, 0},
        {"encoder", 15, 1, 1, 1, 0}, {"encoder", 10, 1, 1, 1, 1},
    };
    writeSettings();
    for (const Case& c : cases) {
        for (bool withInfo : {true, false}) {
            SCOPED_TRACE(std::string(c.object) + "." + std::to_string(c.slot) +
                         (withInfo ? " with" : " without") + " error information");
            fake.reset(); // a fresh script and log
            FakeEncoder& again = fake;
            again.setDetails(kDetails);
            again.fail(c.object, c.slot, withInfo ? "Step failed" : "");
            RecordingHost h;
            EncoderSession s(h, folder);
            hostShell.reset();
            s.InitEncoder(shell(), kPreviewWindow);
            EXPECT_EQ(h.states, std::vector<ButtonState>{ButtonState::Failed});
            EXPECT_EQ(h.messages, withInfo ? std::vector<std::string>{"Step failed"}
                                           : std::vector<std::string>{});
            EXPECT_EQ(h.posted, std::vector<int>{kIdConfig});
            EXPECT_EQ(h.fitted.size(), c.fits);
            EXPECT_EQ(again.callsOf("broadcast", 8).size(), c.ports);
            EXPECT_EQ(again.callsOf("previews", 12).size(), c.removals);
            EXPECT_EQ(again.callsOf("view", 9).size(), c.viewStarts);
        }
    }
}

TEST_F(EncoderSessionTest, TheProfileRefreshIsNotExamined) {
    writeSettings();
    fake.fail("profiles", 13, "refresh failed");
    start();
    EXPECT_TRUE(host.states.empty());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.posted.empty());
    EXPECT_EQ(count("encoder", 10), 1u);
}

TEST_F(EncoderSessionTest, APreviewWindowThatCannotBeBoundShows103) {
    writeSettings();
    fake.fail("view", 3, "No window");
    start();
    EXPECT_EQ(host.messages, std::vector<std::string>{kString103});
    EXPECT_TRUE(host.states.empty());
    EXPECT_EQ(host.posted, std::vector<int>{kIdConfig});
    EXPECT_EQ(count("encoder", 10), 0u);
}

TEST_F(EncoderSessionTest, AViewThatCannotBeCreatedShows102Once) {
    writeSettings();
    fake.unregister(encoder::CLSID_View);
    start();
    EXPECT_EQ(host.messages, std::vector<std::string>{kString102});
    EXPECT_TRUE(host.states.empty());
    EXPECT_EQ(host.posted, std::vector<int>{kIdConfig});
    EXPECT_EQ(count("previews", 10), 0u);
}

TEST_F(EncoderSessionTest, AMissingComponentShows102AndCloses) {
    for (const com::GUID* clsid : {&encoder::CLSID_Encoder, &encoder::CLSID_ProfileDetailsService,
                                   &encoder::CLSID_PageMain}) {
        fake.reset();
        FakeEncoder& again = fake;
        again.unregister(*clsid);
        RecordingHost h;
        EncoderSession s(h, folder);
        hostShell.reset();
        s.InitEncoder(shell(), kPreviewWindow);
        EXPECT_EQ(h.messages, std::vector<std::string>{kString102});
        EXPECT_EQ(h.posted, std::vector<int>{-1});
        EXPECT_EQ(s.encoder(), nullptr);
        EXPECT_TRUE(again.callsOf("host", 7).empty());
    }
    // No shell interface (the host control could not be made).
    RecordingHost h;
    EncoderSession s(h, folder);
    s.InitEncoder(nullptr, kPreviewWindow);
    EXPECT_EQ(h.messages, std::vector<std::string>{kString102});
    EXPECT_EQ(h.posted, std::vector<int>{-1});
}

TEST_F(EncoderSessionTest, DetailsWithoutASizeKeepTheSizeAndStillFitTheWindow) {
    writeSettings();
    const char* texts[] = {"Murvane: [Audio] 22050 Hz", "Murvane: Video 320 x 240",
                           "Murvane: [Video] fast", ""};
    start();
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        fake.setDetails(text);
        host.size = QSize(176, 144);
        host.fitted.clear();
        EXPECT_TRUE(session.ReadVideoSize());
        EXPECT_EQ(host.fitted, std::vector<QSize>{QSize(176, 144)});
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(EncoderSessionTest, RecordThenStop) {
    writeSettings();
    start();
    fake.clearLog();
    ASSERT_TRUE(session.StartRecording());
    EXPECT_TRUE(session.recording());
    EXPECT_TRUE(session.timerActive());
    const auto output = fake.callsOf("file", 8);
    ASSERT_EQ(output.size(), 1u);
    EXPECT_EQ(output[0].args, std::vector<std::string>{folder + "VideoRec.wmv"});
    // Started with the output file set.
    ASSERT_EQ(count("encoder", 10), 1u);
    EXPECT_EQ(fake.callsOf("encoder", 10)[0].args.at(0), folder + "VideoRec.wmv");
    std::vector<std::string> types;
    for (const EncoderCall& c : fake.callsOf("statistics", 9))
        types.push_back(c.args.at(0));
    EXPECT_EQ(types, (std::vector<std::string>{"2", "1"}));

    fake.setStatistics(3'725'999, 3 * 1024 * 1024, 512 * 1024 + 1023);
    session.OnTimer();
    ASSERT_EQ(host.counters.size(), 1u);
    EXPECT_EQ(host.counters.back(), std::make_pair(3725, 3 * 1024 + 512));

    fake.clearLog();
    session.StopIfRunning();
    session.StopRecording();
    EXPECT_FALSE(session.recording());
    EXPECT_FALSE(session.timerActive());
    EXPECT_EQ(host.counters.back(), std::make_pair(0, 0));
    std::vector<std::string> prepares;
    for (const EncoderCall& c : fake.callsOf("encoder", 15))
        prepares.push_back(c.args.at(0));
    EXPECT_EQ(prepares, (std::vector<std::string>{"0", "-1"}));
    ASSERT_EQ(count("file", 8), 1u);
    EXPECT_EQ(fake.callsOf("file", 8)[0].args, std::vector<std::string>{""});
    // The preview runs again, without an output file.
    ASSERT_EQ(count("encoder", 10), 1u);
    EXPECT_EQ(fake.callsOf("encoder", 10)[0].args.at(0), "");
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(EncoderSessionTest, AFailedStatisticsReadShowsTheLongestTime) {
    writeSettings();
    start();
    ASSERT_TRUE(session.StartRecording());
    fake.setStatistics(1000, 2048, 0);
    fake.fail("statistics", 7, "gone");
    session.OnTimer();
    ASSERT_FALSE(host.counters.empty());
    EXPECT_EQ(host.counters.back(), std::make_pair(kFailedElapsedSeconds, 2));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(EncoderSessionTest, RecordWithoutAFileObjectFailsSilently) {
    writeSettings();
    start();
    for (int slot : {32, 8}) {
        SCOPED_TRACE(slot);
        FakeEncoder& f = fake;
        if (slot == 32)
            f.failOnce("encoder", 32, 1, "no file");
        else
            f.failOnce("file", 8, 1, "bad name");
        f.clearLog();
        EXPECT_FALSE(session.StartRecording());
        EXPECT_FALSE(session.recording());
        EXPECT_FALSE(session.timerActive());
        EXPECT_TRUE(host.messages.empty());
        EXPECT_TRUE(host.states.empty());
        EXPECT_EQ(count("encoder", 10), 0u); // stays stopped
        // Stop's own steps bring the preview back.
        session.StopIfRunning();
        session.StopRecording();
        EXPECT_TRUE(session.StartEncoder());
        EXPECT_EQ(count("encoder", 10), 1u);
    }
}

TEST_F(EncoderSessionTest, AStartThatFailsDuringRecordTakesTheOutputFileBack) {
    writeSettings();
    start();
    for (auto [object, slot] : {std::pair{"encoder", 10}, std::pair{"encoder", 33}}) {
        SCOPED_TRACE(slot);
        fake.failOnce(object, slot, 1, "cannot record");
        fake.clearLog();
        host.messages.clear();
        EXPECT_FALSE(session.StartRecording());
        EXPECT_FALSE(session.recording());
        EXPECT_FALSE(session.timerActive());
        EXPECT_EQ(host.messages, std::vector<std::string>{"cannot record"});
        EXPECT_EQ(host.states.back(), ButtonState::Failed);
        const auto outputs = fake.callsOf("file", 8);
        ASSERT_EQ(outputs.size(), 2u);
        EXPECT_EQ(outputs.back().args, std::vector<std::string>{""});
    }
}

TEST_F(EncoderSessionTest, ShutdownDuringARecordingStopsAndSaves) {
    writeSettings();
    start();
    ASSERT_TRUE(session.StartRecording());
    fake.clearLog();
    session.ShutdownEncoder();
    EXPECT_FALSE(session.timerActive());
    EXPECT_EQ(count("encoder", 11), 1u);
    EXPECT_EQ(count("view", 10), 1u);
    const auto saves = fake.callsOf("encoder", 9);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].args, std::vector<std::string>{folder + "Murvane.wme"});
    EXPECT_EQ(session.encoder(), nullptr);
    // A failing save changes nothing for the user.
    EncoderSession second(host, folder);
    second.InitEncoder(shell(), kPreviewWindow);
    fake.fail("encoder", 9, "disk full");
    host.messages.clear();
    second.ShutdownEncoder();
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(EncoderSessionTest, StopIfRunningOnlyInRunningAndPaused) {
    writeSettings();
    start();
    struct Case {
        int32_t state;
        bool stops;
    };
    for (const Case& c :
         {Case{1, false}, Case{2, true}, Case{3, true}, Case{4, false}, Case{5, false}}) {
        SCOPED_TRACE(c.state);
        fake.setRunState(c.state);
        fake.clearLog();
        session.StopIfRunning();
        EXPECT_EQ(count("encoder", 11), c.stops ? 1u : 0u);
        EXPECT_EQ(count("view", 10), c.stops ? 1u : 0u);
    }
    fake.fail("encoder", 35, "");
    fake.clearLog();
    session.StopIfRunning();
    EXPECT_EQ(count("encoder", 11), 0u);
}

TEST_F(EncoderSessionTest, WithoutAnEncoderNothingIsCalled) {
    EXPECT_FALSE(session.StartEncoder());
    EXPECT_FALSE(session.StartRecording());
    EXPECT_FALSE(session.SetupPreview(kPreviewWindow));
    EXPECT_FALSE(session.ReadVideoSize());
    EXPECT_FALSE(session.SetBroadcastPort());
    session.StopIfRunning();
    session.StopRecording();
    session.OnTimer();
    session.ShutdownEncoder();
    EXPECT_TRUE(fake.calls().empty());
    EXPECT_TRUE(host.counters.empty());
}

} // namespace
} // namespace kerris::clipmail
