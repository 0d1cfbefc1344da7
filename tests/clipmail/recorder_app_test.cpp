// Start-up pieces against a private registry: DestinationFolder, the ".wmv" registration and
// installing the default skin.
#include "clipmail/bitmap_writer.h"
#include "clipmail/clip_file_type.h"
#include "clipmail/destination_folder.h"
#include "clipmail/recorder_app.h"
#include "clipmail/skin_install.h"
#include "tests/clipmail/app_support.h"
#include "tests/clipmail/test_support.h"

#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>

namespace kerris::clipmail {
namespace {

using registry::Hive;
using registry::Key;

std::string currentDirectory() {
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) ? buffer : "";
}

std::optional<std::string> defaultValue(std::string_view path) {
    std::optional<Key> key = Key::open(Hive::ClassesRoot, path);
    return key ? key->readString("") : std::nullopt;
}

class RegistryTest : public ::testing::Test {
protected:
    test::PrivateRegistry registry;
};

TEST_F(RegistryTest, DestinationFolderFromTheRegistryOrTheCurrentDirectory) {
    EXPECT_EQ(readDestinationFolder(), currentDirectory() + "/"); // no key at all
    std::optional<Key> key = Key::create(Hive::LocalMachine, "Software\\Veltrane\\Murvane");
    ASSERT_TRUE(key);
    EXPECT_EQ(readDestinationFolder(), currentDirectory() + "/"); // key without the value
    ASSERT_TRUE(key->writeString("DestinationPath", "/srv/clips"));
    EXPECT_EQ(readDestinationFolder(), "/srv/clips/");
    ASSERT_TRUE(key->writeString("DestinationPath", "/srv/clips/"));
    EXPECT_EQ(readDestinationFolder(), "/srv/clips/");
    ASSERT_TRUE(key->writeDword("DestinationPath", 7)); // not a text: the default
    EXPECT_EQ(readDestinationFolder(), currentDirectory() + "/");
    // A value longer than the 260-byte buffer keeps its first 259 bytes.
    ASSERT_TRUE(key->writeString("DestinationPath", "/" + std::string(300, 'a')));
    EXPECT_EQ(readDestinationFolder(), "/" + std::string(258, 'a') + "/");
}

TEST_F(RegistryTest, RegistrationOnACleanRegistry) {
    RegisterClipFileType();
    std::optional<Key> wmv = Key::open(Hive::ClassesRoot, ".wmv");
    ASSERT_TRUE(wmv);
    EXPECT_EQ(wmv->readString(""), "WMVFile");
    EXPECT_EQ(wmv->readString("Content Type"), "video/x-ms-wmv");
    EXPECT_EQ(defaultValue("WMVFile"), "Windows Media Format 7.0");
    EXPECT_EQ(defaultValue("WMVFile\\shell"), "play");
    EXPECT_EQ(defaultValue("WMVFile\\shell\\play"), "&Play");
    EXPECT_EQ(defaultValue("WMVFile\\shell\\play\\command"),
              "\"C:\\PROGRA~1\\WINDOW~1\\mplayer2.exe\"  /Play \"%L\"");
}

TEST_F(RegistryTest, RegistrationTakesTheAviDescription) {
    Key::create(Hive::ClassesRoot, ".avi")->writeString("", "avifile");
    Key::create(Hive::ClassesRoot, "avifile")->writeString("", "Video Clip");
    RegisterClipFileType();
    EXPECT_EQ(defaultValue("WMVFile"), "Video Clip");
}

TEST_F(RegistryTest, AnAviClassWithoutDescriptionGivesTheDefault) {
    Key::create(Hive::ClassesRoot, ".avi")->writeString("", "avifile");
    ASSERT_TRUE(Key::create(Hive::ClassesRoot, "avifile"));
    RegisterClipFileType();
    EXPECT_EQ(defaultValue("WMVFile"), "Windows Media Format 7.0");
}

TEST_F(RegistryTest, AnExistingWmvKeyStopsEverything) {
    Key::create(Hive::ClassesRoot, ".wmv")->writeString("", "SomethingElse");
    RegisterClipFileType();
    EXPECT_EQ(defaultValue(".wmv"), "SomethingElse");
    EXPECT_FALSE(Key::open(Hive::ClassesRoot, ".wmv")->readString("Content Type"));
    EXPECT_FALSE(Key::open(Hive::ClassesRoot, "WMVFile")); // left missing
}

TEST_F(RegistryTest, RegistrationTwiceChangesNothingMore) {
    RegisterClipFileType();
    Key::create(Hive::ClassesRoot, "WMVFile")->writeString("", "Edited by the user");
    RegisterClipFileType();
    EXPECT_EQ(defaultValue("WMVFile"), "Edited by the user");
}

TEST_F(RegistryTest, InstallingTheSkinCopiesItAndRecordsTheFolder) {
    QTemporaryDir target;
    const std::string folder = target.path().toStdString() + "/data/kerris/Murvane";
    EXPECT_EQ(installTargetFolder(), defaultDestinationFolder()); // nothing recorded yet
    std::string error;
    ASSERT_TRUE(installSkin(test::defaultSkinFolder(), folder, {}, &error)) << error;
    for (const char* name : {"Panel.ini", "CTRLPANEL.BMP", "DIGIT.BMP", "RECORD.BMP", "LOGO.BMP"})
        EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "/" + name))) << name;
    EXPECT_EQ(test::readBytes(folder + "/MAINUI.BMP"),
              test::readBytes(test::defaultSkinFolder() + "MAINUI.BMP"));
    EXPECT_EQ(readDestinationFolder(), folder + "/");
    EXPECT_EQ(installTargetFolder(), folder + "/");
}

TEST_F(RegistryTest, InstallingAgainKeepsWhatTheUserChangedUnlessForced) {
    QTemporaryDir target, other;
    const std::string folder = target.path().toStdString();
    std::string error;
    ASSERT_TRUE(installSkin(test::defaultSkinFolder(), folder, {}, &error)) << error;
    test::writeText(folder + "/Panel.ini", "# the user's own skin");
    ::unlink((folder + "/LOGO.BMP").c_str());
    ASSERT_TRUE(installSkin(test::defaultSkinFolder(), other.path().toStdString(), {}, &error))
        << error;
    EXPECT_EQ(readDestinationFolder(), folder + "/"); // the recorded folder stays
    ASSERT_TRUE(installSkin(test::defaultSkinFolder(), folder, {}, &error)) << error;
    const std::vector<uint8_t> own{'#', ' ', 't', 'h', 'e'};
    EXPECT_TRUE(std::equal(own.begin(), own.end(), test::readBytes(folder + "/Panel.ini").begin()));
    EXPECT_TRUE(
        QFile::exists(QString::fromStdString(folder + "/LOGO.BMP"))); // missing files return

    SkinInstallOptions force;
    force.replaceFiles = true;
    force.replaceDestinationPath = true;
    ASSERT_TRUE(installSkin(test::defaultSkinFolder(), other.path().toStdString(), force, &error))
        << error;
    EXPECT_EQ(readDestinationFolder(), other.path().toStdString() + "/");
    ASSERT_TRUE(installSkin(test::defaultSkinFolder(), folder, force, &error)) << error;
    EXPECT_EQ(test::readBytes(folder + "/Panel.ini"),
              test::readBytes(test::defaultSkinFolder() + "Panel.ini"));
}

TEST_F(RegistryTest, InstallingAFolderOntoItselfOnlyRecordsIt) {
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString();
    test::writeText(path + "/Panel.ini", "LOGO=LOGO.BMP\n");
    std::string error;
    SkinInstallOptions force;
    force.replaceFiles = true;
    for (const SkinInstallOptions& options : {SkinInstallOptions{}, force})
        ASSERT_TRUE(installSkin(path, path, options, &error)) << error;
    EXPECT_EQ(test::readBytes(path + "/Panel.ini"),
              (std::vector<uint8_t>{'L', 'O', 'G', 'O', '=', 'L', 'O', 'G', 'O', '.', 'B', 'M', 'P',
                                    '\n'}));
    EXPECT_EQ(readDestinationFolder(), path + "/");
}

TEST_F(RegistryTest, InstallingFromAFolderWithoutASkinChangesNothing) {
    QTemporaryDir source, target;
    test::writeText(source.path().toStdString() + "/LOGO.BMP", "x");
    std::string error;
    EXPECT_FALSE(installSkin(source.path().toStdString(), target.path().toStdString() + "/skin", {},
                             &error));
    EXPECT_NE(error.find("Panel.ini"), std::string::npos);
    EXPECT_FALSE(QDir(target.path() + "/skin").exists());
    EXPECT_FALSE(Key::open(Hive::LocalMachine, kMurvaneKey));
}

// Regression: a forced set-up rewrote the skin in place, under a running program's feet. Each
// file is replaced in one step: a program holding the old file (here: a second link to it)
// keeps the old bytes whole, and the new file is another one.
TEST_F(RegistryTest, AForcedInstallReplacesFilesInsteadOfRewritingThem) {
    QTemporaryDir target;
    const std::string folder = target.path().toStdString();
    test::writeText(folder + "/CTRLPANEL.BMP", "the old picture");
    ASSERT_EQ(::link((folder + "/CTRLPANEL.BMP").c_str(), (folder + "/held").c_str()), 0);
    SkinInstallOptions force;
    force.replaceFiles = true;
    std::string error;
    ASSERT_TRUE(installSkin(test::defaultSkinFolder(), folder, force, &error)) << error;
    const std::string old = "the old picture";
    EXPECT_EQ(test::readBytes(folder + "/held"), std::vector<uint8_t>(old.begin(), old.end()));
    EXPECT_EQ(test::readBytes(folder + "/CTRLPANEL.BMP"),
              test::readBytes(test::defaultSkinFolder() + "CTRLPANEL.BMP"));
    struct stat held {
    }, now{};
    ASSERT_EQ(::stat((folder + "/held").c_str(), &held), 0);
    ASSERT_EQ(::stat((folder + "/CTRLPANEL.BMP").c_str(), &now), 0);
    EXPECT_NE(held.st_ino, now.st_ino);
    EXPECT_EQ(
        QDir(target.path()).entryList(QDir::Files | QDir::Hidden).size(),
        QDir(QString::fromStdString(test::defaultSkinFolder())).entryList(QDir::Files).size() + 1);
}

// Regression: margins past the field's range gave an invisible 32767 x 1 window with no way to
// quit. The program says why and ends before any window opens.
TEST_F(RegistryTest, ASkinWithoutAUsableWindowEndsTheProgramWithAMessage) {
    test::ensureApplication();
    QTemporaryDir skinFolder;
    const std::string folder = skinFolder.path().toStdString() + "/";
    ASSERT_TRUE(writeFileAtomically(
        folder + "F.BMP", encodeBitmapFile(test::solidImage(360, 290, qRgb(50, 50, 50)), 24)));
    for (const char* margins : {"99999999999999999999,0,0,0", "-5000,0,0,0"}) {
        SCOPED_TRACE(margins);
        test::writeText(folder + "Panel.ini", std::string("MAINUI=F.BMP:") + margins + "\n");
        DestinationFolder() = folder;
        test::RecordingMessages messages;
        // Should a window open all the same, it is closed again so the test ends and fails.
        bool windowOpened = false;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible()) {
                    windowOpened = true;
                    w->close();
                }
        });
        closer.start(10);
        RecorderApp app;
        EXPECT_EQ(app.InitInstance({}), 1);
        EXPECT_FALSE(windowOpened);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].rfind(kUnusableSkin, 0), 0u) << messages.shown[0];
        EXPECT_NE(messages.shown[0].find(folder + "Panel.ini"), std::string::npos);
    }
    DestinationFolder().clear();
}

TEST(SkinInstall, DefaultFolderFollowsXdgDataHome) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string previous = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(defaultDestinationFolder(), "/data/home/kerris/Murvane/");
    ::unsetenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (home) {
        EXPECT_EQ(defaultDestinationFolder(), std::string(home) + "/.local/share/kerris/Murvane/");
    }
    if (saved)
        ::setenv("XDG_DATA_HOME", previous.c_str(), 1);
}

} // namespace
} // namespace kerris::clipmail
