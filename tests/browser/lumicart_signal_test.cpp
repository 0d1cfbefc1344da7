// The real Lumicart as a child process on the offscreen platform: a terminating signal ends it
// promptly with its settings written, even while a message box waits for the user.
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

namespace {

using kerris::registry::Hive;
using kerris::registry::Key;

constexpr const char* kKey = "SOFTWARE\\VELTRANE\\Lumicart";

class LumicartSignals : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_registry = m_dir.path() + "/registry";
        ASSERT_TRUE(QDir().mkpath(m_registry));
        ASSERT_TRUE(QDir().mkpath(m_dir.path() + "/vol/pics"));
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

    void start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KERRIS_REGISTRY_DIR", m_registry);
        env.insert("KERRIS_SHELL_VOLUMES", m_dir.path() + "/vol");
        env.insert("KERRIS_SHELL_HOME", "");
        m_child.setProcessEnvironment(env);
        m_child.setProcessChannelMode(QProcess::SeparateChannels);
        m_child.start(QStringLiteral(LUMICART_PROGRAM), {});
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
        return m_errors.contains(text);
    }

    // Sends the signal and expects a normal exit within a few seconds.
    void terminate(int signal) {
        ASSERT_EQ(::kill(static_cast<pid_t>(m_child.processId()), signal), 0);
        ASSERT_TRUE(m_child.waitForFinished(15000)) << "still running after the signal";
        EXPECT_EQ(m_child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_child.exitCode(), 0);
    }

    // The settings the window writes when it closes.
    void expectSettingsWritten() {
        std::optional<Key> key = Key::open(Hive::CurrentUser, kKey);
        ASSERT_TRUE(key) << "no settings key";
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

// The damaged hive's warning is up (its line on stderr comes just before the box): the signal
// ends the box, the window's show completes and the window closes with its settings.
TEST_P(LumicartSignals, EndsTheProgramWhileTheDamageWarningIsUp) {
    writeUserHive("REGEDIT4\n\"v\"=\"a value outside any key\"\n");
    start();
    ASSERT_TRUE(waitForError("user.reg.corrupt-1", 60000)) << m_errors.constData();
    terminate(GetParam());
    EXPECT_TRUE(std::filesystem::exists(m_registry.toStdString() + "/user.reg.corrupt-1"));
    expectSettingsWritten();
}

// With nothing in the way, the signal reaches the main loop and closes the window.
TEST_P(LumicartSignals, EndsTheProgramFromItsMainLoop) {
    start();
    // The first show creates the settings key; the main loop runs soon after.
    QElapsedTimer timer;
    timer.start();
    while (!Key::open(Hive::CurrentUser, kKey) && timer.elapsed() < 60000)
        m_child.waitForFinished(100);
    ASSERT_TRUE(Key::open(Hive::CurrentUser, kKey));
    m_child.waitForFinished(1000);
    terminate(GetParam());
    expectSettingsWritten();
}

INSTANTIATE_TEST_SUITE_P(Signals, LumicartSignals, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return param.param == SIGTERM  ? std::string("Term")
                                    : param.param == SIGINT ? std::string("Int")
                                                            : std::string("Hup");
                         });

} // namespace
