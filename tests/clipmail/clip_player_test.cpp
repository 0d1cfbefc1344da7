// The Play verb: the registered command before the desktop's player; and PlayClip.
#include "clipmail/clip_player.h"

#include "clipmail/clip_file_type.h"
#include "platform/registry/registry.h"
#include "tests/clipmail/app_support.h"
#include "tests/clipmail/test_support.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace kerris::clipmail {
namespace {

using test::RecordingDesktop;

const QString kClip = "/home/u/My Clips/Murvone.wmv";

// A private registry and data home, with the file type registered as the program does.
class PlayVerbTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication();
        RegisterClipFileType();
    }
    void setPlayCommand(const std::string& line) {
        auto key =
            registry::Key::create(registry::Hive::ClassesRoot, "WMVFile\\shell\\play\\command");
        ASSERT_TRUE(key && key->writeString("", line));
    }
    void installEntry(const QString& id, const std::string& text) {
        applications.install(kClipMimeType, id, QByteArray::fromStdString(text));
    }
    test::PrivateRegistry registryFolder;
    RecordingDesktop desktop;
    desktop::test::PrivateApplications applications{desktop};
};

TEST_F(PlayVerbTest, TheRegistrationsProgramWhenItExistsHere) {
    setPlayCommand("\"/usr/bin/mpv\" --fs \"%L\"");
    installEntry("vlc.desktop", "[Desktop Entry]\nExec=vlc %U\n");
    const std::optional<desktop::Command> c = resolvePlayCommand(kClip);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->program, "/usr/bin/mpv");
    EXPECT_EQ(c->arguments, QStringList({"--fs", kClip}));
}

TEST_F(PlayVerbTest, TheDesktopsApplicationWhenTheRegisteredOneIsMissing) {
    // The registration as first written names a program of another system.
    desktop.missingPrograms.insert("C:\\PROGRA~1\\WINDOW~1\\mplayer2.exe");
    installEntry("org.videolan.VLC.desktop", "[Desktop Entry]\nName=VLC\nExec=/usr/bin/vlc %U\n");
    const std::optional<desktop::Command> c = resolvePlayCommand(kClip);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->program, "/usr/bin/vlc");
    EXPECT_EQ(c->arguments, QStringList({"file:///home/u/My%20Clips/Murvone.wmv"}));
}

TEST_F(PlayVerbTest, PlayClipRunsTheVerbOnAFreshCopyInTheClipFolder) {
    QTemporaryDir clips;
    const std::string folder = clips.path().toStdString() + "/";
    setPlayCommand("/usr/bin/mpv %1");
    PlayClip(folder); // no recording: nothing to play
    EXPECT_TRUE(desktop.runs.empty());
    test::writeText(folder + "VideoRec.wmv", "clip");
    PlayClip(folder);
    ASSERT_EQ(desktop.runs.size(), 1u);
    EXPECT_EQ(desktop.runs[0].program, "/usr/bin/mpv");
    EXPECT_EQ(desktop.runs[0].arguments,
              QStringList({QString::fromStdString(folder + "Murvone.wmv")}));
    EXPECT_EQ(desktop.runs[0].folder, QString::fromStdString(folder));
    EXPECT_EQ(test::readBytes(folder + "Murvone.wmv").size(), 4u);
}

} // namespace
} // namespace kerris::clipmail
