// The built "MAPI32.DLL" (build/lib/libmapi32.so), loaded as a program loads it: exactly the
// twelve names leave it, sessions, the statuses of bad calls, and each hand-off end to end on
// a desktop of the test's own (a logging mailto handler, a stand-in compose-switch client, a
// fake portal on a private session bus).
#include "platform/mail/mapi.h"
#include "tests/mail/mail_test_support.h"
#include "tests/support/exported_names.h"

#include <dlfcn.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace kerris::mail {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

const std::set<std::string> kSimpleMapi = {
    "MAPILogon",      "MAPILogoff",   "MAPISendMail", "MAPISendDocuments",
    "MAPIFindNext",   "MAPIReadMail", "MAPISaveMail", "MAPIDeleteMail",
    "MAPIFreeBuffer", "MAPIAddress",  "MAPIDetails",  "MAPIResolveName"};

fs::path libraryPath() {
    return test::buildDir() / "lib" / "libmapi32.so";
}

std::string hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(text.substr(start, end - start));
    return out;
}

class MapiLibraryFile : public ::testing::Test {
protected:
    void SetUp() override {
        m_library = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_library, nullptr) << dlerror();
        logon = entry<decltype(&MAPILogon)>("MAPILogon");
        logoff = entry<decltype(&MAPILogoff)>("MAPILogoff");
        sendMail = entry<decltype(&MAPISendMail)>("MAPISendMail");
        ASSERT_TRUE(logon && logoff && sendMail);
    }
    void TearDown() override {
        if (m_library)
            dlclose(m_library);
    }
    template <typename Fn> Fn entry(const char* name) {
        return reinterpret_cast<Fn>(dlsym(m_library, name));
    }
    // Sends the clip message the clip mail program builds: one file, nothing else.
    ULONG sendClip(const std::string& path, LHANDLE session = 0, FLAGS flags = MAPI_DIALOG) {
        std::string buffer = path;
        MapiFileDesc file{};
        file.nPosition = MAPI_POSITION_NONE;
        file.lpszPathName = buffer.data();
        MapiMessage message{};
        message.nFileCount = 1;
        message.lpFiles = &file;
        return sendMail(session, 0, &message, flags, 0);
    }

    void* m_library = nullptr;
    decltype(&MAPILogon) logon = nullptr;
    decltype(&MAPILogoff) logoff = nullptr;
    decltype(&MAPISendMail) sendMail = nullptr;
};

// ---- the exports ----------------------------------------------------------------------------

TEST(Exports, ExactlyTheTwelveNamesLeaveTheLibrary) {
    ASSERT_TRUE(fs::exists(libraryPath())) << libraryPath();
    EXPECT_EQ(kerris::test::exportedNames(libraryPath()), kSimpleMapi);
}

TEST(Exports, EveryNameResolvesAndNothingInternalDoes) {
    void* library = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const std::string& name : kSimpleMapi)
        EXPECT_NE(dlsym(library, name.c_str()), nullptr) << name;
    for (const char* internal : {"_ZN6kerris4mail7composeERNS0_7DesktopERKNS0_11CompositionE",
                                 "_ZN6kerris4mail11readMessageERK11MapiMessagePNS0_11CompositionE",
                                 "_ZN6kerris4mail18portalComposeEmailERKNSt7__cxx1112basic_"
                                 "stringIcSt11char_traitsIcESaIcEEERKNS0_11CompositionE",
                                 "MAPIInitialize", "MAPISendMailW"})
        EXPECT_EQ(dlsym(library, internal), nullptr) << internal;
    dlclose(library);
}

TEST(Exports, TheLeanBuildLacksFindNextOnly) {
    const fs::path lean = test::buildDir() / "tests/mail/lean/libmapi32.so";
    std::set<std::string> expected = kSimpleMapi;
    expected.erase("MAPIFindNext");
    EXPECT_EQ(kerris::test::exportedNames(lean), expected);
}

// ---- sessions and bad calls -----------------------------------------------------------------

TEST_F(MapiLibraryFile, LogonGivesDistinctSessionsThatLogoffEnds) {
    LHANDLE first = 0xdeadbeef, second = 0xdeadbeef;
    ASSERT_EQ(logon(0, nullptr, nullptr, MAPI_LOGON_UI, 0, &first), ULONG(SUCCESS_SUCCESS));
    ASSERT_EQ(logon(0, const_cast<char*>("profile"), const_cast<char*>("pw"), 0, 0, &second),
              ULONG(SUCCESS_SUCCESS));
    EXPECT_NE(first, 0u);
    EXPECT_NE(second, 0u);
    EXPECT_NE(first, second);
    EXPECT_EQ(logoff(first, 0, 0, 0), ULONG(SUCCESS_SUCCESS));
    EXPECT_EQ(logoff(first, 0, 0, 0), ULONG(MAPI_E_INVALID_SESSION));
    EXPECT_EQ(sendClip("/nonexistent", first), ULONG(MAPI_E_INVALID_SESSION));
    EXPECT_EQ(logoff(second, 0, 0, 0), ULONG(SUCCESS_SUCCESS));
    EXPECT_EQ(logoff(0, 0, 0, 0), ULONG(MAPI_E_INVALID_SESSION));
    EXPECT_EQ(logon(0, nullptr, nullptr, MAPI_LOGON_UI, 0, nullptr), ULONG(MAPI_E_FAILURE));
}

TEST_F(MapiLibraryFile, BadCallsAnswerTheirStatusBeforeAnythingIsStarted) {
    test::TestDesktop desktop;
    desktop.installClient("mailclient");
    const fs::path clip = desktop.writeFile("Murvone.wmv", "clip");
    fs::create_directories(desktop.root() / "folder.wmv");
    EXPECT_EQ(sendClip(clip.string(), 0x7777), ULONG(MAPI_E_INVALID_SESSION));
    EXPECT_EQ(sendMail(0, 0, nullptr, MAPI_DIALOG, 0), ULONG(MAPI_E_INVALID_MESSAGE));
    EXPECT_EQ(sendClip(clip.string(), 0, 0), ULONG(MAPI_E_NOT_SUPPORTED));
    EXPECT_EQ(sendClip((desktop.root() / "missing.wmv").string()),
              ULONG(MAPI_E_ATTACHMENT_NOT_FOUND));
    EXPECT_EQ(sendClip((desktop.root() / "folder.wmv").string()),
              ULONG(MAPI_E_ATTACHMENT_NOT_FOUND));
    EXPECT_EQ(sendClip(""), ULONG(MAPI_E_ATTACHMENT_NOT_FOUND));
    EXPECT_FALSE(desktop.clientArguments("mailclient", std::chrono::milliseconds(300)));
}

TEST_F(MapiLibraryFile, TheStoreAndAddressBookCallsAreNotSupported) {
    char text[512] = "seed";
    lpMapiMessage message = reinterpret_cast<lpMapiMessage>(0x1);
    lpMapiRecipDesc recipient = reinterpret_cast<lpMapiRecipDesc>(0x1);
    ULONG count = 0xdeadbeef;
    EXPECT_EQ(entry<decltype(&MAPISendDocuments)>("MAPISendDocuments")(0, text, text, text, 0),
              ULONG(MAPI_E_NOT_SUPPORTED));
    EXPECT_EQ(entry<decltype(&MAPIFindNext)>("MAPIFindNext")(0, 0, nullptr, text, 0, 0, text),
              ULONG(MAPI_E_NOT_SUPPORTED));
    EXPECT_EQ(entry<decltype(&MAPIReadMail)>("MAPIReadMail")(0, 0, text, 0, 0, &message),
              ULONG(MAPI_E_NOT_SUPPORTED));
    EXPECT_EQ(entry<decltype(&MAPISaveMail)>("MAPISaveMail")(0, 0, nullptr, 0, 0, text),
              ULONG(MAPI_E_NOT_SUPPORTED));
    EXPECT_EQ(entry<decltype(&MAPIDeleteMail)>("MAPIDeleteMail")(0, 0, text, 0, 0),
              ULONG(MAPI_E_NOT_SUPPORTED));
    EXPECT_EQ(entry<decltype(&MAPIFreeBuffer)>("MAPIFreeBuffer")(nullptr),
              ULONG(MAPI_E_NOT_SUPPORTED));
    EXPECT_EQ(entry<decltype(&MAPIAddress)>("MAPIAddress")(0, 0, nullptr, 1, nullptr, 0, nullptr, 0,
                                                           0, &count, &recipient),
              ULONG(MAPI_E_NOT_SUPPORTED));
    EXPECT_EQ(entry<decltype(&MAPIDetails)>("MAPIDetails")(0, 0, nullptr, 0, 0),
              ULONG(MAPI_E_NOT_SUPPORTED));
    EXPECT_EQ(entry<decltype(&MAPIResolveName)>("MAPIResolveName")(0, 0, text, 0, 0, &recipient),
              ULONG(MAPI_E_NOT_SUPPORTED));
    // Nothing was written to the out-parameters.
    EXPECT_STREQ(text, "seed");
    EXPECT_EQ(message, reinterpret_cast<lpMapiMessage>(0x1));
    EXPECT_EQ(recipient, reinterpret_cast<lpMapiRecipDesc>(0x1));
    EXPECT_EQ(count, 0xdeadbeefu);
}

// ---- the hand-offs end to end ------------------------------------------------------------

TEST_F(MapiLibraryFile, MailtoHandlerGetsTheFullPathAsTheOneAttachment) {
    test::TestDesktop desktop;
    desktop.installClient("mailclient");
    const fs::path clip = desktop.writeFile("My Clips/Murvone.wmv", "clip bytes");
    LHANDLE session = 0;
    ASSERT_EQ(logon(0, nullptr, nullptr, MAPI_LOGON_UI, 0, &session), ULONG(SUCCESS_SUCCESS));
    ASSERT_EQ(sendClip(clip.string(), session), ULONG(SUCCESS_SUCCESS));
    std::optional<std::vector<std::string>> arguments = desktop.clientArguments("mailclient");
    ASSERT_TRUE(arguments) << "the mail client was not started";
    ASSERT_EQ(arguments->size(), 1u);
    const std::string url = arguments->front();
    // One attachment, no recipient before the "?", no subject or other field.
    ASSERT_EQ(url.rfind("mailto:?attach=", 0), 0u) << url;
    EXPECT_EQ(url.find('&'), std::string::npos) << url;
    EXPECT_EQ(test::percentDecoded(url.substr(15)), clip.string());
    logoff(session, 0, 0, 0);
}

TEST_F(MapiLibraryFile, SwitchClientGetsTheAttachmentThroughItsSwitch) {
    test::TestDesktop desktop;
    desktop.installClient("thunderbird");
    const fs::path clip = desktop.writeFile("Murvone.wmv", "clip");
    ASSERT_EQ(sendClip(clip.string()), ULONG(SUCCESS_SUCCESS));
    std::optional<std::vector<std::string>> arguments = desktop.clientArguments("thunderbird");
    ASSERT_TRUE(arguments) << "the client was not started";
    EXPECT_THAT(*arguments, ElementsAre("-compose", "attachment='file://" + clip.string() + "'"));
}

TEST_F(MapiLibraryFile, PortalReceivesADescriptorThatReadsTheAttachment) {
    test::TestDesktop desktop;
    // A plain mailto handler is there too: the portal comes before xdg-email.
    desktop.installClient("mailclient");
    test::PrivateBus bus;
    ASSERT_TRUE(bus.running()) << "dbus-daemon could not be started";
    test::FakePortal portal(bus);
    ASSERT_TRUE(portal.running()) << "the fake portal did not come up";
    std::string bytes = "RIFF";
    for (int i = 0; i < 70000; ++i)
        bytes += char(i * 7);
    const fs::path clip = desktop.writeFile("Murvone.wmv", bytes);
    ASSERT_EQ(sendClip(clip.string()), ULONG(SUCCESS_SUCCESS));
    std::optional<std::string> call = portal.lastCall();
    ASSERT_TRUE(call);
    EXPECT_THAT(lines(*call), ElementsAre("parent=", "option=attachment_fds",
                                          "attachment=" + hex(bytes) + " rdonly"));
    EXPECT_FALSE(desktop.clientArguments("mailclient", std::chrono::milliseconds(300)));
}

TEST_F(MapiLibraryFile, PortalGetsSubjectTextAndRecipientsAsGiven) {
    test::TestDesktop desktop;
    test::PrivateBus bus;
    test::FakePortal portal(bus);
    ASSERT_TRUE(portal.running());
    const fs::path one = desktop.writeFile("one.wmv", "1");
    const fs::path two = desktop.writeFile("two.wmv", "22");
    std::string onePath = one.string(), twoPath = two.string();
    MapiFileDesc files[2] = {{0, 0, MAPI_POSITION_NONE, onePath.data(), nullptr, nullptr},
                             {0, 0, MAPI_POSITION_NONE, twoPath.data(), nullptr, nullptr}};
    MapiRecipDesc recipients[3] = {
        {0, MAPI_TO, const_cast<char*>("Ann"), const_cast<char*>("SMTP:ann@x.org"), 0, nullptr},
        {0, MAPI_CC, const_cast<char*>("Bob"), const_cast<char*>("bob@x.org"), 0, nullptr},
        {0, MAPI_BCC, nullptr, const_cast<char*>("cy@x.org"), 0, nullptr}};
    MapiMessage message{};
    message.lpszSubject = const_cast<char*>("Holiday clip");
    message.lpszNoteText = const_cast<char*>("See attached.");
    message.nRecipCount = 3;
    message.lpRecips = recipients;
    message.nFileCount = 2;
    message.lpFiles = files;
    ASSERT_EQ(sendMail(0, 0, &message, MAPI_DIALOG, 0), ULONG(SUCCESS_SUCCESS));
    std::optional<std::string> call = portal.lastCall();
    ASSERT_TRUE(call);
    EXPECT_THAT(lines(*call),
                ElementsAre("parent=", "option=address", "option=addresses",
                            "option=attachment_fds", "option=bcc", "option=body", "option=cc",
                            "option=subject", "subject=Holiday clip", "body=See attached.",
                            "address=ann@x.org", "addresses=ann@x.org", "cc=bob@x.org",
                            "bcc=cy@x.org", "attachment=" + hex("1") + " rdonly",
                            "attachment=" + hex("22") + " rdonly"));
}

TEST_F(MapiLibraryFile, RefusingPortalFallsToXdgEmail) {
    test::TestDesktop desktop;
    desktop.installClient("mailclient");
    test::PrivateBus bus;
    test::FakePortal portal(bus, "refuse");
    ASSERT_TRUE(portal.running());
    const fs::path clip = desktop.writeFile("Murvone.wmv", "clip");
    ASSERT_EQ(sendClip(clip.string()), ULONG(SUCCESS_SUCCESS));
    std::optional<std::vector<std::string>> arguments = desktop.clientArguments("mailclient");
    ASSERT_TRUE(arguments);
    ASSERT_EQ(arguments->size(), 1u);
    EXPECT_EQ(test::percentDecoded(arguments->front()), "mailto:?attach=" + clip.string());
}

TEST_F(MapiLibraryFile, BusWithoutPortalFallsToXdgEmail) {
    test::TestDesktop desktop;
    desktop.installClient("mailclient");
    test::PrivateBus bus;
    ASSERT_TRUE(bus.running());
    const fs::path clip = desktop.writeFile("Murvone.wmv", "clip");
    ASSERT_EQ(sendClip(clip.string()), ULONG(SUCCESS_SUCCESS));
    EXPECT_TRUE(desktop.clientArguments("mailclient"));
}

TEST_F(MapiLibraryFile, NoWorkingHandOffIsAFailure) {
    test::TestDesktop desktop;
    desktop.installClient("mailclient", "", /*makeDefault=*/false); // installed, not the handler
    const fs::path clip = desktop.writeFile("Murvone.wmv", "clip");
    EXPECT_EQ(sendClip(clip.string()), ULONG(MAPI_E_FAILURE));
    EXPECT_FALSE(desktop.clientArguments("mailclient", std::chrono::milliseconds(300)));
}

} // namespace
} // namespace kerris::mail
