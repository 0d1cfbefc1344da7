// Lumicart as a child process on the offscreen platform: a terminating signal (SIGTERM, SIGINT,
// SIGHUP) ends it promptly, exit status 0 as for a normal close, with the window's settings
// written, whatever dialog is up: a message box during start-up (while the window is built or
// first shown) or a dialog opened from the main loop. Every wait is bounded and a child still
// running at the end is killed.
#include "platform/capture/capture.h"
#include "platform/registry/registry.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace {

using kerris::registry::Hive;
using kerris::registry::Key;

constexpr const char* kKey = "SOFTWARE\\VELTRANE\\Lumicart";
// The cue a dialog (or the main loop) gives is awaited this long: a slow machine or the
// sanitizer build may take some seconds to build the window.
constexpr int kCueMs = 60000;
// A signal must end the program within this.
constexpr int kPromptMs = 10000;

struct Signal {
    int number;
    const char* name;
};
void PrintTo(const Signal& signal, std::ostream* out) {
    *out << signal.name;
}
const Signal kSignals[] = {{SIGTERM, "Term"}, {SIGINT, "Int"}, {SIGHUP, "Hup"}};

// The world around the child: which capture driver is registered and whether the camera
// library can be found decide which message boxes come up while the window is built.
struct World {
    bool driver;  // the virtual camera's capture driver is registered
    bool library; // the camera library is where the program looks for it
};

class LumicartSignalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_registry = m_dir.path() + "/registry";
        ASSERT_TRUE(QDir().mkpath(m_registry));
        ASSERT_TRUE(QDir().mkpath(m_dir.path() + "/vol/pics"));
        ASSERT_TRUE(QDir().mkpath(m_dir.path() + "/devices"));
        m_saved = qgetenv("KERRIS_REGISTRY_DIR");
        qputenv("KERRIS_REGISTRY_DIR", m_registry.toLocal8Bit());
    }
    void TearDown() override {
        if (m_child.state() != QProcess::NotRunning) {
            m_child.kill();
            m_child.waitForFinished(5000);
        }
        qputenv("KERRIS_REGISTRY_DIR", m_saved);
    }

    void writeUserHive(const QByteArray& text) {
        QFile file(m_registry + "/user.reg");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(text), text.size());
    }

    void start(const char* program, const World& world, const QStringList& arguments = {}) {
        if (world.driver) {
            ASSERT_TRUE(kerris::capture::RegisterDriver(kerris::capture::kCameraDriverName, "1.0"));
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KERRIS_REGISTRY_DIR", m_registry);
        env.insert("KERRIS_SHELL_VOLUMES", m_dir.path() + "/vol");
        env.insert("KERRIS_SHELL_HOME", "");
        // No capture device of this machine: only the registered driver counts.
        env.insert("KERRIS_VIDEO_DEVICE_DIR", m_dir.path() + "/devices");
        env.insert("KERRIS_MODULE_PATH", world.library ? KERRIS_CAMERA_LIBRARY_DIR : "");
        env.insert("KERRIS_MODULE_PATH_ONLY", "1");
        m_child.setProcessEnvironment(env);
        m_child.setProcessChannelMode(QProcess::SeparateChannels);
        m_child.start(QString::fromLocal8Bit(program), arguments);
        ASSERT_TRUE(m_child.waitForStarted(10000));
    }

    // Waits until the child's stderr holds `text`.
    bool waitForError(const QByteArray& text, int ms) {
        QElapsedTimer timer;
        timer.start();
        while (!m_errors.contains(text) && timer.elapsed() < ms) {
            m_child.waitForReadyRead(100);
            m_errors += m_child.readAllStandardError();
            if (m_child.state() == QProcess::NotRunning)
                break;
        }
        m_errors += m_child.readAllStandardError();
        return m_errors.contains(text);
    }

    // Sends the signal and expects a normal exit, status 0, within kPromptMs.
    void terminate(int signal) {
        ASSERT_EQ(m_child.state(), QProcess::Running) << m_errors.constData();
        ASSERT_EQ(::kill(static_cast<pid_t>(m_child.processId()), signal), 0);
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(m_child.waitForFinished(kPromptMs))
            << "still running " << kPromptMs << " ms after the signal\n"
            << m_errors.constData();
        EXPECT_EQ(m_child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_child.exitCode(), 0) << m_errors.constData();
    }

    // The settings the window writes when it closes, all eight of them.
    void expectSettingsWritten() {
        std::optional<Key> key = Key::open(Hive::CurrentUser, kKey);
        ASSERT_TRUE(key) << "no settings key\n" << m_errors.constData();
        for (const char* name :
             {"WindowState", "Left", "Top", "Width", "Height", "Panel1Width", "TreeView1Height"})
            EXPECT_TRUE(key->readDword(name)) << name;
        EXPECT_TRUE(key->readString("RunDefaultPath"));
    }

    QTemporaryDir m_dir;
    QString m_registry;
    QByteArray m_saved;
    QProcess m_child;
    QByteArray m_errors;
};

// --- The program itself --------------------------------------------------------------------

class LumicartProgram : public LumicartSignalTest, public ::testing::WithParamInterface<Signal> {};

// The damaged hive's warning is up during the window's first show (its line on stderr comes
// just before the box): the signal ends the box, the show completes and the window closes with
// its settings.
TEST_P(LumicartProgram, EndsWhileTheDamageWarningIsUp) {
    writeUserHive("REGEDIT4\n\"v\"=\"a value outside any key\"\n");
    start(LUMICART_PROGRAM, {true, true});
    ASSERT_TRUE(waitForError("user.reg.corrupt-1", kCueMs)) << m_errors.constData();
    terminate(GetParam().number);
    EXPECT_TRUE(std::filesystem::exists(m_registry.toStdString() + "/user.reg.corrupt-1"));
    expectSettingsWritten();
}

// With nothing in the way the window reaches the main loop, where the signal closes it.
TEST_P(LumicartProgram, EndsFromItsMainLoop) {
    start(LUMICART_PROGRAM, {true, true});
    // The first show creates the settings key; the main loop runs soon after.
    QElapsedTimer timer;
    timer.start();
    while (!Key::open(Hive::CurrentUser, kKey) && timer.elapsed() < kCueMs &&
           !m_child.waitForFinished(100)) {
    }
    ASSERT_TRUE(Key::open(Hive::CurrentUser, kKey)) << m_errors.constData();
    m_child.waitForFinished(1000);
    terminate(GetParam().number);
    expectSettingsWritten();
}

INSTANTIATE_TEST_SUITE_P(Signals, LumicartProgram, ::testing::ValuesIn(kSignals),
                         [](const auto& param) { return std::string(param.param.name); });

// --- The window run as the program runs it, every dialog announced -------------------------

struct DialogCase {
    const char* name;
    World world;
    const char* mode;  // what the child opens from its main loop
    const char* cue;   // the announcement the signal waits for
    bool damagedHive;  // user.reg damaged: its warning comes up during the first show too
    const char* later; // a dialog that comes up after the signal and must be ended too
};

const DialogCase kDialogCases[] = {
    // While the window is built: the capture driver probe finds nothing.
    {"DeviceMissing",
     {false, true},
     "idle",
     "dialog up: QMessageBox: Cannot find device!!",
     false,
     nullptr},
    // The camera library is missing: its message is the last of the construction.
    {"LibraryMissing",
     {true, false},
     "idle",
     "dialog up: QMessageBox: DLL Can not found (kerriscp.dll)!!",
     false,
     nullptr},
    // Ended during the first message: the later ones (the library's, the damaged hive's in
    // the first show) come up after the request and are ended too.
    {"EveryStartMessage",
     {false, false},
     "idle",
     "dialog up: QMessageBox: Cannot find device!!",
     true,
     "dialog up: QMessageBox: DLL Can not found (kerriscp.dll)!!"},
    // From the main loop: a message box, a file dialog, nothing.
    {"MessageInMainLoop",
     {true, true},
     "message",
     "dialog up: QMessageBox: A message in the main loop",
     false,
     nullptr},
    {"FileDialogInMainLoop", {true, true}, "file", "dialog up: QFileDialog", false, nullptr},
    {"IdleMainLoop", {true, true}, "idle", "main loop runs", false, nullptr},
};

struct DialogParam {
    DialogCase dialog;
    Signal signal;
};
void PrintTo(const DialogParam& param, std::ostream* out) {
    *out << param.dialog.name << ", " << param.signal.name;
}

std::vector<DialogParam> dialogParams() {
    std::vector<DialogParam> params;
    for (const DialogCase& dialog : kDialogCases)
        for (const Signal& signal : kSignals)
            params.push_back({dialog, signal});
    return params;
}

class LumicartDialogs : public LumicartSignalTest,
                        public ::testing::WithParamInterface<DialogParam> {};

TEST_P(LumicartDialogs, EndsWithItsSettingsWritten) {
    const DialogCase& c = GetParam().dialog;
    if (c.damagedHive)
        writeUserHive("REGEDIT4\n\"v\"=\"a value outside any key\"\n");
    start(LUMICART_SIGNAL_CHILD, c.world, {QString::fromLatin1(c.mode)});
    ASSERT_TRUE(waitForError(c.cue, kCueMs)) << m_errors.constData();
    terminate(GetParam().signal.number);
    if (c.later) {
        EXPECT_TRUE(waitForError(c.later, 0)) << m_errors.constData();
    }
    expectSettingsWritten();
    if (c.damagedHive) {
        EXPECT_TRUE(std::filesystem::exists(m_registry.toStdString() + "/user.reg.corrupt-1"));
    }
}

INSTANTIATE_TEST_SUITE_P(Dialogs, LumicartDialogs, ::testing::ValuesIn(dialogParams()),
                         [](const auto& param) {
                             return std::string(param.param.dialog.name) + param.param.signal.name;
                         });

} // namespace
