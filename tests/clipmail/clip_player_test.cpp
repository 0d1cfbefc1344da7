// The Play verb: the registered command, the desktop's application, ffplay; and PlayClip.
#include "clipmail/clip_player.h"

#include "clipmail/clip_file_type.h"
#include "platform/registry/registry.h"
#include "tests/clipmail/app_support.h"
#include "tests/clipmail/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

namespace kerris::clipmail {
namespace {

using test::RecordingDesktop;

const QString kClip = "/home/u/My Clips/Murvone.wmv";

TEST(RegisteredCommand, SplitsQuotedWordsAndPutsThePathIn) {
    struct Case {
        std::string line;
        std::optional<PlayCommand> expected;
    };
    const Case cases[] = {
        {kClipPlayCommand, PlayCommand{"C:\\PROGRA~1\\WINDOW~1\\mplayer2.exe", {"/Play", kClip}}},
        {"/usr/bin/mpv %1", PlayCommand{"/usr/bin/mpv", {kClip}}},
        {"\"/opt/a player/play\" --file=%l  --fs",
         PlayCommand{"/opt/a player/play", {"--file=" + kClip, "--fs"}}},
        {"vlc", PlayCommand{"vlc", {}}},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"\"\" %L", std::nullopt},
        {"\"/usr/bin/mpv %L", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<PlayCommand> got = parseRegisteredCommand(c.line, kClip);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.line;
        if (got) {
            EXPECT_EQ(got->program, c.expected->program) << c.line;
            EXPECT_EQ(got->arguments, c.expected->arguments) << c.line;
        }
    }
}

TEST(DesktopEntry, ExecFieldCodesExpandForOneFile) {
    const QString url = "file:///home/u/My%20Clips/Murvone.wmv";
    struct Case {
        const char* text;
        std::optional<PlayCommand> expected;
    };
    const Case cases[] = {
        {"[Desktop Entry]\nName=VLC\nExec=/usr/bin/vlc --started-from-file %U\n",
         PlayCommand{"/usr/bin/vlc", {"--started-from-file", url}}},
        {"[Desktop Entry]\nExec=mpv --player-operation-mode=pseudo-gui -- %F\n",
         PlayCommand{"mpv", {"--player-operation-mode=pseudo-gui", "--", kClip}}},
        {"[Desktop Entry]\nExec=totem\n", PlayCommand{"totem", {kClip}}},
        {"[Desktop Entry]\nName=Show\nExec=\"/opt/My Player/play\" %i --title=%c 100%% %f\n",
         PlayCommand{"/opt/My Player/play", {"--title=Show", "100%", kClip}}},
        {"[Desktop Entry]\nExec=play --desktop=%k %u\n",
         PlayCommand{"play", {"--desktop=/x/a.desktop", url}}},
        {"[Desktop Entry]\nExec=sh -c \"echo \\\\\"quoted\\\\\"\" %f\n",
         PlayCommand{"sh", {"-c", "echo \"quoted\"", kClip}}},
        // Exec of another group, a comment, a key that only starts alike.
        {"[Desktop Action Other]\nExec=other %f\n[Desktop Entry]\n#Exec=no\nExecutable=no\n",
         std::nullopt},
        {"[Desktop Entry]\nExec=\"unclosed %f\n", std::nullopt},
        {"[Desktop Entry]\nExec=\n", std::nullopt},
        {"Exec=before any group\n", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<PlayCommand> got =
            parseDesktopEntry(QString::fromUtf8(c.text), "/x/a.desktop", kClip);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.text;
        if (got) {
            EXPECT_EQ(got->program, c.expected->program) << c.text;
            EXPECT_EQ(got->arguments, c.expected->arguments) << c.text;
        }
    }
}

// A private registry and data home, with the file type registered as the program does.
class PlayVerbTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication();
        m_previousData = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
        ::setenv("XDG_DATA_HOME", data.path().toLocal8Bit().constData(), 1);
        QDir(data.path()).mkpath("applications");
        RegisterClipFileType();
    }
    void TearDown() override {
        if (m_previousData.empty())
            ::unsetenv("XDG_DATA_HOME");
        else
            ::setenv("XDG_DATA_HOME", m_previousData.c_str(), 1);
    }
    void setPlayCommand(const std::string& line) {
        auto key =
            registry::Key::create(registry::Hive::ClassesRoot, "WMVFile\\shell\\play\\command");
        ASSERT_TRUE(key && key->writeString("", line));
    }
    void installEntry(const QString& id, const std::string& text) {
        test::writeText((data.path() + "/applications/" + id).toStdString(), text);
        desktop.outputs["xdg-mime query default video/x-ms-wmv"] = id + "\n";
    }
    test::PrivateRegistry registryFolder;
    QTemporaryDir data;
    RecordingDesktop desktop;
    std::string m_previousData;
};

TEST_F(PlayVerbTest, TheRegistrationsProgramWhenItExistsHere) {
    setPlayCommand("\"/usr/bin/mpv\" --fs \"%L\"");
    installEntry("vlc.desktop", "[Desktop Entry]\nExec=vlc %U\n");
    const PlayCommand c = resolvePlayCommand(kClip);
    EXPECT_EQ(c.program, "/usr/bin/mpv");
    EXPECT_EQ(c.arguments, QStringList({"--fs", kClip}));
}

TEST_F(PlayVerbTest, TheDesktopsApplicationWhenTheRegisteredOneIsMissing) {
    // The registration as first written names a program of another system.
    desktop.missingPrograms.insert("C:\\PROGRA~1\\WINDOW~1\\mplayer2.exe");
    installEntry("org.videolan.VLC.desktop", "[Desktop Entry]\nName=VLC\nExec=/usr/bin/vlc %U\n");
    const PlayCommand c = resolvePlayCommand(kClip);
    EXPECT_EQ(c.program, "/usr/bin/vlc");
    EXPECT_EQ(c.arguments, QStringList({"file:///home/u/My%20Clips/Murvone.wmv"}));
}

TEST_F(PlayVerbTest, FfplayWhenNothingElsePlays) {
    desktop.missingPrograms.insert("C:\\PROGRA~1\\WINDOW~1\\mplayer2.exe");
    struct Case {
        const char* what;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"no default application", [] {}},
        {"an entry that is not there",
         [&] { desktop.outputs["xdg-mime query default video/x-ms-wmv"] = "gone.desktop\n"; }},
        {"an entry naming a missing program",
         [&] {
             installEntry("p.desktop", "[Desktop Entry]\nExec=/nowhere/player %f\n");
             desktop.missingPrograms.insert("/nowhere/player");
         }},
        {"an id leaving the folder",
         [&] { desktop.outputs["xdg-mime query default video/x-ms-wmv"] = "../p.desktop"; }},
        {"no xdg-mime",
         [&] {
             installEntry("v.desktop", "[Desktop Entry]\nExec=vlc %U\n");
             desktop.missingPrograms.insert("xdg-mime");
         }},
    };
    for (const Case& c : cases) {
        c.arrange();
        const PlayCommand command = resolvePlayCommand(kClip);
        EXPECT_EQ(command.program, "ffplay") << c.what;
        EXPECT_EQ(command.arguments.last(), kClip) << c.what;
    }
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
