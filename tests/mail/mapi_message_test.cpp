// Reading the message record: counts against lists, attachments that are no files, recipient
// classes and addresses, and that nothing is written when the record does not read.
#include "platform/mail/mapi_message.h"
#include "tests/mail/mail_test_support.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <list>
#include <vector>

namespace kerris::mail {
namespace {

namespace fs = std::filesystem;

class MapiMessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = test::makeTemporaryFolder("kerris-mail-message");
        clip = (folder / "Murvone.wmv").string();
        std::ofstream(clip) << "clip";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    MapiFileDesc fileOf(const std::string& path) {
        paths.push_back(path);
        MapiFileDesc file{};
        file.nPosition = MAPI_POSITION_NONE;
        file.lpszPathName = paths.back().data();
        return file;
    }
    // A sentinel composition: a failed read must leave it as it was.
    static Composition sentinel() {
        Composition c;
        c.subject = "untouched";
        return c;
    }
    fs::path folder;
    std::string clip;
    std::list<std::string> paths; // a list: the records point into its strings
};

TEST_F(MapiMessageTest, TheClipMessageReadsAsOneAttachmentAndNothingElse) {
    MapiFileDesc file = fileOf(clip);
    MapiMessage message{};
    message.nFileCount = 1;
    message.lpFiles = &file;
    Composition out = sentinel();
    ASSERT_EQ(readMessage(message, &out), ULONG(SUCCESS_SUCCESS));
    EXPECT_EQ(out.attachments, std::vector<std::string>{clip});
    EXPECT_TRUE(out.subject.empty());
    EXPECT_TRUE(out.body.empty());
    EXPECT_TRUE(out.to.empty() && out.cc.empty() && out.bcc.empty());
}

TEST_F(MapiMessageTest, AnEmptyMessageReads) {
    MapiMessage message{};
    Composition out = sentinel();
    EXPECT_EQ(readMessage(message, &out), ULONG(SUCCESS_SUCCESS));
    EXPECT_TRUE(out.attachments.empty());
    EXPECT_TRUE(out.subject.empty());
}

TEST_F(MapiMessageTest, AttachmentsThatAreNoReadableFilesFail) {
    fs::create_directories(folder / "dir");
    fs::create_symlink(folder / "gone", folder / "dangling");
    fs::create_symlink(clip, folder / "link.wmv");
    struct Case {
        std::optional<std::string> path; // nullopt: a null pointer
        ULONG status;
    };
    const Case cases[] = {
        {std::nullopt, MAPI_E_ATTACHMENT_NOT_FOUND},
        {"", MAPI_E_ATTACHMENT_NOT_FOUND},
        {(folder / "missing.wmv").string(), MAPI_E_ATTACHMENT_NOT_FOUND},
        {(folder / "dir").string(), MAPI_E_ATTACHMENT_NOT_FOUND},
        {(folder / "dangling").string(), MAPI_E_ATTACHMENT_NOT_FOUND},
        {"/dev/null", MAPI_E_ATTACHMENT_NOT_FOUND},
        {(folder / "Murvone.wmv/x").string(), MAPI_E_ATTACHMENT_NOT_FOUND},
        {(folder / "link.wmv").string(), SUCCESS_SUCCESS},
    };
    for (const Case& c : cases) {
        MapiFileDesc files[2] = {fileOf(clip), c.path ? fileOf(*c.path) : MapiFileDesc{}};
        MapiMessage message{};
        message.nFileCount = 2;
        message.lpFiles = files;
        Composition out = sentinel();
        EXPECT_EQ(readMessage(message, &out), c.status) << c.path.value_or("(null)");
        if (c.status != SUCCESS_SUCCESS) {
            EXPECT_EQ(out.subject, "untouched");
        }
    }
}

TEST_F(MapiMessageTest, UnreadableAttachmentIsAnOpenFailure) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    fs::permissions(clip, fs::perms::none);
    MapiFileDesc file = fileOf(clip);
    MapiMessage message{};
    message.nFileCount = 1;
    message.lpFiles = &file;
    Composition out;
    EXPECT_EQ(readMessage(message, &out), ULONG(MAPI_E_ATTACHMENT_OPEN_FAILURE));
}

TEST_F(MapiMessageTest, RelativeAttachmentPathsAreMadeAbsolute) {
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    MapiFileDesc file = fileOf("./sub/../Murvone.wmv");
    fs::create_directories(folder / "sub");
    MapiMessage message{};
    message.nFileCount = 1;
    message.lpFiles = &file;
    Composition out;
    EXPECT_EQ(readMessage(message, &out), ULONG(SUCCESS_SUCCESS));
    fs::current_path(before);
    EXPECT_EQ(out.attachments, std::vector<std::string>{clip});
}

TEST_F(MapiMessageTest, CountsWithoutListsAndCountsOverTheLimitFail) {
    MapiFileDesc file = fileOf(clip);
    MapiRecipDesc recipient{0, MAPI_TO, nullptr, const_cast<char*>("a@x.org"), 0, nullptr};
    struct Case {
        ULONG files;
        bool fileList;
        ULONG recipients;
        bool recipientList;
        ULONG status;
    };
    const Case cases[] = {
        {1, false, 0, false, MAPI_E_INVALID_MESSAGE},
        {0, true, 1, false, MAPI_E_INVALID_RECIPS},
        {kMaxFiles + 1, true, 0, false, MAPI_E_TOO_MANY_FILES},
        {0, false, kMaxRecipients + 1, true, MAPI_E_TOO_MANY_RECIPIENTS},
        {0, true, 0, true, SUCCESS_SUCCESS}, // lists without counts are not read
        {0xFFFFFFFFu, true, 0, false, MAPI_E_TOO_MANY_FILES},
    };
    for (const Case& c : cases) {
        MapiMessage message{};
        message.nFileCount = c.files;
        message.lpFiles = c.fileList ? &file : nullptr;
        message.nRecipCount = c.recipients;
        message.lpRecips = c.recipientList ? &recipient : nullptr;
        Composition out = sentinel();
        EXPECT_EQ(readMessage(message, &out), c.status) << c.files << " " << c.recipients;
    }
}

TEST_F(MapiMessageTest, RecipientsByClassWithTheirAddressOrName) {
    MapiRecipDesc recipients[] = {
        {0, MAPI_TO, const_cast<char*>("Ann"), const_cast<char*>("SMTP:ann@x.org"), 0, nullptr},
        {0, MAPI_CC, const_cast<char*>("Bob"), const_cast<char*>("smtp:bob@x.org"), 0, nullptr},
        {0, MAPI_BCC, const_cast<char*>("Cy"), nullptr, 0, nullptr},
        {0, MAPI_TO, const_cast<char*>("Di"), const_cast<char*>(""), 0, nullptr},
        {0, MAPI_TO, nullptr, const_cast<char*>("eve@x.org"), 0, nullptr},
    };
    MapiMessage message{};
    message.nRecipCount = 5;
    message.lpRecips = recipients;
    message.lpszSubject = const_cast<char*>("Clip");
    message.lpszNoteText = const_cast<char*>("Text");
    Composition out;
    ASSERT_EQ(readMessage(message, &out), ULONG(SUCCESS_SUCCESS));
    EXPECT_EQ(out.to, (std::vector<std::string>{"ann@x.org", "Di", "eve@x.org"}));
    EXPECT_EQ(out.cc, std::vector<std::string>{"bob@x.org"});
    EXPECT_EQ(out.bcc, std::vector<std::string>{"Cy"});
    EXPECT_EQ(out.subject, "Clip");
    EXPECT_EQ(out.body, "Text");
}

TEST_F(MapiMessageTest, RecipientsThatCannotBeHandedOnFail) {
    struct Case {
        ULONG recipientClass;
        const char* name;
        const char* address;
        ULONG status;
    };
    const Case cases[] = {
        {MAPI_ORIG, "Me", "me@x.org", MAPI_E_BAD_RECIPTYPE},
        {4, "X", "x@x.org", MAPI_E_BAD_RECIPTYPE},
        {0xFFFFFFFFu, "X", "x@x.org", MAPI_E_BAD_RECIPTYPE},
        {MAPI_TO, nullptr, nullptr, MAPI_E_UNKNOWN_RECIPIENT},
        {MAPI_TO, "", "SMTP:", MAPI_E_UNKNOWN_RECIPIENT},
        {MAPI_TO, nullptr, "--attach=/etc/passwd", MAPI_E_INVALID_RECIPS},
        {MAPI_CC, "-x", nullptr, MAPI_E_INVALID_RECIPS},
        {MAPI_TO, nullptr, "a@x.org\nBcc: b@y.org", MAPI_E_INVALID_RECIPS},
        {MAPI_TO, nullptr, "a@x.org\x7F", MAPI_E_INVALID_RECIPS},
        {MAPI_TO, nullptr, "SMTP:-a@x.org", MAPI_E_INVALID_RECIPS},
    };
    for (const Case& c : cases) {
        MapiRecipDesc recipients[2] = {
            {0, MAPI_TO, nullptr, const_cast<char*>("ok@x.org"), 0, nullptr},
            {0, c.recipientClass, const_cast<char*>(c.name), const_cast<char*>(c.address), 0,
             nullptr}};
        MapiMessage message{};
        message.nRecipCount = 2;
        message.lpRecips = recipients;
        Composition out = sentinel();
        EXPECT_EQ(readMessage(message, &out), c.status) << (c.address ? c.address : "(null)");
        EXPECT_EQ(out.subject, "untouched");
        EXPECT_TRUE(out.to.empty());
    }
}

} // namespace
} // namespace kerris::mail
