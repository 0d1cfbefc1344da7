// The desktop: commands from their textual forms, the player for a file, and the running
// desktop's programs.
#include "platform/desktop/command.h"
#include "platform/desktop/desktop.h"
#include "platform/desktop/player.h"
#include "tests/support/recording_desktop.h"

#include <gtest/gtest.h>

#include <functional>

namespace kerris::desktop {
namespace {

const QString kClip = "/home/u/My Clips/Murvone.wmv";

TEST(RegisteredCommand, SplitsQuotedWordsAndPutsThePathIn) {
    struct Case {
        std::string line;
        std::optional<Command> expected;
    };
    const Case cases[] = {
        {"\"C:\\PROGRA~1\\WINDOW~1\\mplayer2.exe\"  /Play \"%L\"",
         Command{"C:\\PROGRA~1\\WINDOW~1\\mplayer2.exe", {"/Play", kClip}}},
        {"/usr/bin/mpv %1", Command{"/usr/bin/mpv", {kClip}}},
        {"\"/opt/a player/play\" --file=%l  --fs",
         Command{"/opt/a player/play", {"--file=" + kClip, "--fs"}}},
        {"vlc", Command{"vlc", {}}},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"\"\" %L", std::nullopt},
        {"\"/usr/bin/mpv %L", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<Command> got = parseRegisteredCommand(c.line, kClip);
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
        std::optional<Command> expected;
    };
    const Case cases[] = {
        {"[Desktop Entry]\nName=VLC\nExec=/usr/bin/vlc --started-from-file %U\n",
         Command{"/usr/bin/vlc", {"--started-from-file", url}}},
        {"[Desktop Entry]\nExec=mpv --player-operation-mode=pseudo-gui -- %F\n",
         Command{"mpv", {"--player-operation-mode=pseudo-gui", "--", kClip}}},
        {"[Desktop Entry]\nExec=totem\n", Command{"totem", {kClip}}},
        {"[Desktop Entry]\nName=Show\nExec=\"/opt/My Player/play\" %i --title=%c 100%% %f\n",
         Command{"/opt/My Player/play", {"--title=Show", "100%", kClip}}},
        {"[Desktop Entry]\nExec=play --desktop=%k %u\n",
         Command{"play", {"--desktop=/x/a.desktop", url}}},
        {"[Desktop Entry]\nExec=sh -c \"echo \\\\\"quoted\\\\\"\" %f\n",
         Command{"sh", {"-c", "echo \"quoted\"", kClip}}},
        // Exec of another group, a comment, a key that only starts alike.
        {"[Desktop Action Other]\nExec=other %f\n[Desktop Entry]\n#Exec=no\nExecutable=no\n",
         std::nullopt},
        {"[Desktop Entry]\nExec=\"unclosed %f\n", std::nullopt},
        {"[Desktop Entry]\nExec=\n", std::nullopt},
        {"Exec=before any group\n", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<Command> got =
            parseDesktopEntry(QString::fromUtf8(c.text), "/x/a.desktop", kClip);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.text;
        if (got) {
            EXPECT_EQ(got->program, c.expected->program) << c.text;
            EXPECT_EQ(got->arguments, c.expected->arguments) << c.text;
        }
    }
}

TEST(Player, TheDesktopsApplicationElseFfplayElseNothing) {
    const QString type = "video/x-msvideo";
    const Command ffplay{"ffplay", {"-autoexit", "-window_title", "Murvone.wmv", kClip}};
    struct Case {
        const char* what;
        std::function<void(test::RecordingDesktop&, test::PrivateApplications&)> arrange;
        std::optional<Command> expected; // what is started; nullopt: failure reported
    };
    const Case cases[] = {
        {"the application named and here",
         [&](auto&, auto& apps) {
             apps.install(type, "vlc.desktop", "[Desktop Entry]\nExec=/usr/bin/vlc %f\n");
         },
         Command{"/usr/bin/vlc", {kClip}}},
        {"the first of several named",
         [&](auto&, auto& apps) {
             apps.install(type, "a.desktop", "[Desktop Entry]\nExec=a\n");
             apps.nameDefault(type, "a.desktop;b.desktop\n");
         },
         Command{"a", {kClip}}},
        {"the application's program missing",
         [&](auto& d, auto& apps) {
             apps.install(type, "p.desktop", "[Desktop Entry]\nExec=/nowhere/player %f\n");
             d.missingPrograms.insert("/nowhere/player");
         },
         ffplay},
        {"no default application", [](auto&, auto&) {}, ffplay},
        {"an entry that is not there",
         [&](auto&, auto& apps) { apps.nameDefault(type, "gone.desktop\n"); }, ffplay},
        {"an id leaving the folder",
         [&](auto&, auto& apps) {
             apps.install(type, "p.desktop", "[Desktop Entry]\nExec=p\n");
             apps.nameDefault(type, "../applications/p.desktop");
         },
         ffplay},
        {"no xdg-mime",
         [&](auto& d, auto& apps) {
             apps.install(type, "v.desktop", "[Desktop Entry]\nExec=vlc %U\n");
             d.missingPrograms.insert("xdg-mime");
         },
         ffplay},
        {"no ffplay either", [](auto& d, auto&) { d.missingPrograms.insert("ffplay"); },
         std::nullopt},
        {"nothing on the path", [](auto& d, auto&) { d.programsPresent = false; }, std::nullopt},
        {"ffplay failing to start", [](auto& d, auto&) { d.startSucceeds = false; }, ffplay},
    };
    for (const Case& c : cases) {
        test::RecordingDesktop desktop;
        test::PrivateApplications applications(desktop);
        c.arrange(desktop, applications);
        EXPECT_EQ(playFile(kClip, type, "/home/u"), c.expected && desktop.startSucceeds) << c.what;
        ASSERT_EQ(desktop.runs.size(), c.expected ? 1u : 0u) << c.what;
        if (c.expected) {
            EXPECT_EQ(desktop.runs[0].program, c.expected->program) << c.what;
            EXPECT_EQ(desktop.runs[0].arguments, c.expected->arguments) << c.what;
            EXPECT_EQ(desktop.runs[0].folder, "/home/u") << c.what;
        }
    }
}

// The running desktop's programs, with nothing installed in its place.
TEST(RunningDesktop, ProgramsOnThePathAndTheirOutput) {
    Desktop& desktop = current();
    EXPECT_TRUE(desktop.programExists("sh"));
    EXPECT_FALSE(desktop.programExists(""));
    EXPECT_FALSE(desktop.programExists("no-such-program-here"));
    EXPECT_FALSE(desktop.startProgram("", {}));
    EXPECT_FALSE(desktop.startProgram("no-such-program-here", {}));
    struct Case {
        QString program;
        QStringList arguments;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"sh", {"-c", "echo one; echo two"}, QString("one\ntwo\n")},
        {"sh", {"-c", "echo partial; exit 3"}, std::nullopt},
        {"sh", {"-c", "head -c 70000 /dev/zero"}, std::nullopt}, // more than a query answers
        {"no-such-program-here", {}, std::nullopt},
        {"", {}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(desktop.programOutput(c.program, c.arguments), c.expected)
            << c.arguments.join(' ').toStdString();
}

} // namespace
} // namespace kerris::desktop
