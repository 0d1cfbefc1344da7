// MapiLibrary and the dialog's mail: the registry check, loading and resolving in table order,
// logon and the clip message as the mail library receives them (a recording fake), freeing,
// and Mail end to end through the built library to a logging mail client.
#include "clipmail/mapi_library.h"

#include "clipmail/control_ids.h"
#include "clipmail/main_dialog.h"
#include "platform/registry/registry.h"
#include "tests/clipmail/app_support.h"
#include "tests/clipmail/encoder_fake.h"
#include "tests/clipmail/test_support.h"
#include "tests/fakes/fake_control.h"
#include "tests/mail/fake_mapi.h"
#include "tests/mail/mail_test_support.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kerris::clipmail {
namespace {

namespace fs = std::filesystem;
using registry::Hive;
using registry::Key;

// Written out here, not taken from the code, so that a wrong key in the code shows.
constexpr const char* kSubsystemKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";

void setMapi(const std::optional<std::string>& text) {
    std::optional<Key> key = Key::create(Hive::LocalMachine, kSubsystemKey);
    ASSERT_TRUE(key);
    if (text)
        ASSERT_TRUE(key->writeString("MAPI", *text));
    else
        key->removeValue("MAPI");
}

fs::path fakeLibrary() {
    return mail::test::buildDir() / "tests/mail/fake/libmapi32.so";
}

// Makes FOLDER the only place libraries are looked for while the object lives, besides the
// fake encoder component that the dialog needs to start.
class ModuleSearch {
public:
    explicit ModuleSearch(const fs::path& folder) {
        m_environment.set("KERRIS_MODULE_PATH",
                          folder.string() + ":" + fakes::fakeEncoderFolder().string());
        m_environment.set("KERRIS_MODULE_PATH_ONLY", "1");
    }

private:
    mail::test::ScopedEnvironment m_environment;
};

// The fake's record, through a reference of the test's own.
class FakeMapi {
public:
    FakeMapi() {
        m_handle = dlopen(fakeLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_handle)
            m_log = reinterpret_cast<FakeMapiLogFn>(dlsym(m_handle, "FakeMapi_Log"))();
        if (m_log)
            *m_log = FakeMapiLog{};
    }
    ~FakeMapi() { unload(); }
    FakeMapiLog* operator->() const { return m_log; }
    bool ready() const { return m_log != nullptr; }
    void unload() {
        if (m_handle)
            dlclose(m_handle);
        m_handle = nullptr;
        m_log = nullptr;
    }

private:
    void* m_handle = nullptr;
    FakeMapiLog* m_log = nullptr;
};

class MapiLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fake.ready()) << fakeLibrary(); }
    test::PrivateRegistry registry;
    ModuleSearch search{fakeLibrary().parent_path()};
    FakeMapi fake;
};

TEST_F(MapiLibraryTest, OnlyTheTextOneMeansInstalled) {
    EXPECT_FALSE(IsMapiInstalled()); // no key
    struct Case {
        std::optional<std::string> text;
        bool installed;
    };
    const Case cases[] = {
        {std::nullopt, false}, {"0", false},  {"yes", false}, {"1 ", false}, {" 1", false},
        {"", false},           {"11", false}, {"01", false},  {"1", true},
    };
    for (const Case& c : cases) {
        setMapi(c.text);
        EXPECT_EQ(IsMapiInstalled(), c.installed) << c.text.value_or("(missing)");
    }
    std::optional<Key> key = Key::open(Hive::LocalMachine, kSubsystemKey);
    ASSERT_TRUE(key && key->writeDword("MAPI", 1));
    EXPECT_FALSE(IsMapiInstalled()); // a number, not the text
}

TEST_F(MapiLibraryTest, LoadNeedsTheRegistryAndTheLibrary) {
    MapiLibrary notInstalled;
    EXPECT_FALSE(notInstalled.Load());
    EXPECT_FALSE(notInstalled.isLoaded());

    setMapi("1");
    const fs::path empty = mail::test::makeTemporaryFolder("kerris-no-modules");
    {
        ModuleSearch nowhere(empty);
        MapiLibrary missing;
        EXPECT_FALSE(missing.Load());
        EXPECT_FALSE(missing.isLoaded());
    }
    fs::remove_all(empty);

    MapiLibrary library;
    ASSERT_TRUE(library.Load());
    EXPECT_TRUE(library.isLoaded());
    EXPECT_EQ(library.resolvedCount(), MapiLibrary::kEntryNames.size());
    // A second load keeps the module and needs the registry no more.
    setMapi("0");
    EXPECT_TRUE(library.Load());
    EXPECT_EQ(fake->logons, 0); // loading logs nobody on
}

TEST_F(MapiLibraryTest, LeanLibraryCountsAsLoadedAndResolvingStopsAtTheGap) {
    setMapi("1");
    ModuleSearch lean(mail::test::buildDir() / "tests/mail/lean");
    MapiLibrary library;
    ASSERT_TRUE(library.Load());
    // MAPIFindNext is the fifth name; the six after it are in the library but not resolved.
    EXPECT_EQ(library.resolvedCount(), 4u);
}

TEST_F(MapiLibraryTest, LogonAsksForTheDialogAndKeepsTheSession) {
    setMapi("1");
    fake->sessionToGive = 0x5A5A;
    MapiLibrary library;
    ASSERT_TRUE(library.Load());
    library.Logon(0x77);
    EXPECT_EQ(fake->logons, 1);
    EXPECT_EQ(fake->logonParent, 0x77u);
    EXPECT_TRUE(fake->logonProfileNull);
    EXPECT_TRUE(fake->logonPasswordNull);
    EXPECT_EQ(fake->logonFlags, FLAGS(MAPI_LOGON_UI));
    EXPECT_EQ(fake->logonReserved, 0u);
    EXPECT_EQ(library.session(), LHANDLE(0x5A5A));
}

TEST_F(MapiLibraryTest, TheClipMessageHoldsTheOneFileAndNothingElse) {
    setMapi("1");
    fake->sessionToGive = 0x1234;
    const fs::path folder = mail::test::makeTemporaryFolder("kerris-clip");
    const std::string copy = (folder / "Murvone.wmv").string();
    std::ofstream(copy) << "clip";
    MapiLibrary library;
    ASSERT_TRUE(library.Load());
    library.Logon(0);
    ASSERT_TRUE(library.SendClipByMail(copy, 0x99));
    ASSERT_EQ(fake->sends, 1);
    EXPECT_EQ(fake->sendSession, LHANDLE(0x1234));
    EXPECT_EQ(fake->sendParent, 0x99u);
    EXPECT_EQ(fake->sendFlags, FLAGS(MAPI_DIALOG));
    EXPECT_EQ(fake->sendReserved, 0u);
    ASSERT_FALSE(fake->messageNull);
    const MapiMessage& m = fake->message;
    EXPECT_EQ(m.ulReserved, 0u);
    EXPECT_EQ(m.lpszSubject, nullptr);
    EXPECT_EQ(m.lpszNoteText, nullptr);
    EXPECT_EQ(m.lpszMessageType, nullptr);
    EXPECT_EQ(m.lpszDateReceived, nullptr);
    EXPECT_EQ(m.lpszConversationID, nullptr);
    EXPECT_EQ(m.flFlags, 0u);
    EXPECT_EQ(m.lpOriginator, nullptr);
    EXPECT_EQ(m.nRecipCount, 0u);
    EXPECT_EQ(m.lpRecips, nullptr);
    EXPECT_EQ(m.nFileCount, 1u);
    EXPECT_NE(m.lpFiles, nullptr);
    const MapiFileDesc& f = fake->file;
    EXPECT_EQ(f.ulReserved, 0u);
    EXPECT_EQ(f.flFlags, 0u);
    EXPECT_EQ(f.nPosition, 0xFFFFFFFFu);
    EXPECT_EQ(fake->filePath, copy);
    EXPECT_NE(f.lpszPathName, copy.c_str()); // a buffer of its own
    EXPECT_EQ(f.lpszFileName, nullptr);
    EXPECT_EQ(f.lpFileType, nullptr);
    fs::remove_all(folder);
}

TEST_F(MapiLibraryTest, ResultsOfLogonAndSendAreNotExamined) {
    setMapi("1");
    fake->logonStatus = MAPI_E_LOGON_FAILURE;
    fake->sendStatus = MAPI_E_FAILURE;
    const fs::path folder = mail::test::makeTemporaryFolder("kerris-clip");
    std::ofstream(folder / "Murvone.wmv") << "clip";
    MapiLibrary library;
    ASSERT_TRUE(library.Load());
    library.Logon(0);
    EXPECT_EQ(library.session(), 0u); // the failed logon wrote none
    EXPECT_TRUE(library.SendClipByMail((folder / "Murvone.wmv").string(), 0));
    EXPECT_EQ(fake->sendSession, 0u);
    fs::remove_all(folder);
}

TEST_F(MapiLibraryTest, AMissingCopyFailsWithoutASend) {
    setMapi("1");
    MapiLibrary library;
    EXPECT_FALSE(library.SendClipByMail("/nonexistent/Murvone.wmv", 0)); // not loaded either
    ASSERT_TRUE(library.Load());
    EXPECT_FALSE(library.SendClipByMail("/nonexistent/Murvone.wmv", 0));
    EXPECT_FALSE(library.SendClipByMail("", 0));
    EXPECT_EQ(fake->sends, 0);
}

TEST_F(MapiLibraryTest, FreeUnloadsWithoutLoggingOff) {
    setMapi("1");
    {
        MapiLibrary library;
        ASSERT_TRUE(library.Load());
        library.Logon(0);
        library.Free();
        EXPECT_FALSE(library.isLoaded());
        EXPECT_EQ(library.resolvedCount(), 0u);
        EXPECT_EQ(fake->otherCalls, 0); // no MAPILogoff
        library.Free();                 // twice is harmless
        fake.unload();
        EXPECT_FALSE(fakes::isLoaded(fakeLibrary()));
    }
}

// ---- the dialog ---------------------------------------------------------------------------

class MailDialogTest : public MapiLibraryTest {
protected:
    void SetUp() override {
        MapiLibraryTest::SetUp();
        test::ensureApplication();
        ASSERT_TRUE(
            skin.LoadSkin(test::defaultSkinFolder() + "Panel.ini", test::defaultSkinFolder()));
        folder = mail::test::makeTemporaryFolder("kerris-clips").string() + "/";
        // The encoder starts with its settings; Mail sends a copy of the recording.
        encoder.writeSettings(folder + "Murvane.wme");
        std::ofstream(folder + "VideoRec.wmv") << "clip";
    }
    void TearDown() override { fs::remove_all(folder); }
    test::FakeEncoder encoder;
    test::RecordingDesktop desktop;
    SkinSet skin;
    std::string folder;
};

TEST_F(MailDialogTest, StartUpLogsOnAndMailSendsTheCopyAndExitFrees) {
    setMapi("1");
    {
        MainDialog dialog(skin, folder, MainDialogOptions{});
        dialog.initialise();
        EXPECT_TRUE(dialog.mailAvailable());
        EXPECT_EQ(fake->logons, 1);
        EXPECT_EQ(fake->logonFlags, FLAGS(MAPI_LOGON_UI));
        dialog.onCommand(kIdMail);
        ASSERT_EQ(fake->sends, 1);
        EXPECT_EQ(fake->filePath, folder + "Murvone.wmv");
        EXPECT_EQ(fake->sendFlags, FLAGS(MAPI_DIALOG));
        dialog.onCommand(kIdExit);
        EXPECT_FALSE(dialog.mailAvailable());
        EXPECT_EQ(fake->otherCalls, 0);
        dialog.onCommand(kIdMail); // after Exit there is no library to call
        EXPECT_EQ(fake->sends, 1);
        fake.unload();
        EXPECT_FALSE(fakes::isLoaded(fakeLibrary()));
    }
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(MailDialogTest, MailIsOnAfterStopOnlyWithMailSupport) {
    for (bool support : {true, false}) {
        setMapi(support ? "1" : "0");
        MainDialog dialog(skin, folder, MainDialogOptions{});
        dialog.initialise();
        EXPECT_FALSE(dialog.control(kIdMail)->isEnabled());
        dialog.onCommand(kIdRecord);
        EXPECT_FALSE(dialog.control(kIdMail)->isEnabled());
        dialog.onCommand(kIdStop);
        EXPECT_TRUE(dialog.control(kIdPlay)->isEnabled());
        EXPECT_EQ(dialog.control(kIdMail)->isEnabled(), support);
        dialog.onCommand(kIdExit);
    }
}

TEST_F(MailDialogTest, NoMailSupportLeavesMailOffAndTheLibraryUnloaded) {
    for (std::optional<std::string> text :
         {std::optional<std::string>(), std::optional<std::string>("0"),
          std::optional<std::string>("yes"), std::optional<std::string>("1 ")}) {
        setMapi(text);
        MainDialog dialog(skin, folder, MainDialogOptions{});
        dialog.initialise();
        EXPECT_FALSE(dialog.mailAvailable()) << text.value_or("(missing)");
        EXPECT_FALSE(dialog.control(kIdMail)->isEnabled());
        dialog.onCommand(kIdMail);
        EXPECT_EQ(fake->logons + fake->sends, 0);
    }
    fake.unload();
    EXPECT_FALSE(fakes::isLoaded(fakeLibrary())); // never loaded by the dialog
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(MailDialogTest, MissingLibraryLeavesMailOffAndNothingElseChanges) {
    setMapi("1");
    const fs::path empty = mail::test::makeTemporaryFolder("kerris-no-modules");
    ModuleSearch nowhere(empty);
    MainDialog with(skin, folder, MainDialogOptions{});
    with.initialise();
    EXPECT_FALSE(with.mailAvailable());
    setMapi(std::nullopt);
    MainDialog without(skin, folder, MainDialogOptions{});
    without.initialise();
    for (int id : {kIdRecord, kIdPlay, kIdStop, kIdMail, kIdConfig, kIdAudio, kIdExit}) {
        EXPECT_EQ(with.control(id)->isEnabled(), without.control(id)->isEnabled()) << id;
        EXPECT_EQ(with.control(id)->isVisible(), without.control(id)->isVisible()) << id;
    }
    EXPECT_EQ(with.geometry(), without.geometry());
    EXPECT_TRUE(desktop.messages.empty());
    fs::remove_all(empty);
}

// Through the built library to the desktop's mail client, with the full and the lean library.
TEST_F(MailDialogTest, MailReachesTheMailClientWithTheCopysFullPath) {
    for (const fs::path& libraryFolder :
         {mail::test::buildDir() / "lib", mail::test::buildDir() / "tests/mail/lean"}) {
        mail::test::TestDesktop mailDesktop;
        mailDesktop.installClient("mailclient");
        // The desktop moved HOME and XDG_CONFIG_HOME; the registry stays where the test put it.
        setMapi("1");
        ModuleSearch real(libraryFolder);
        MainDialog dialog(skin, folder, MainDialogOptions{});
        dialog.initialise();
        ASSERT_TRUE(dialog.mailAvailable()) << libraryFolder;
        dialog.onCommand(kIdMail);
        std::optional<std::vector<std::string>> arguments =
            mailDesktop.clientArguments("mailclient");
        ASSERT_TRUE(arguments) << libraryFolder;
        ASSERT_EQ(arguments->size(), 1u);
        EXPECT_EQ(mail::test::percentDecoded(arguments->front()),
                  "mailto:?attach=" + folder + "Murvone.wmv");
        dialog.onCommand(kIdExit);
    }
}

} // namespace
} // namespace kerris::clipmail
