// The hand-off's choices on a scripted desktop: desktop entries, the compose switch, the order
// of the hand-offs and what each is given, and when this desktop can compose mail at all.
#include "platform/mail/hand_off.h"
#include "tests/mail/mail_test_support.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace kerris::mail {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// A desktop whose environment, xdg-mime answer, program starts and portal are scripted. Its
// programs are empty executable files in a temporary bin folder.
class ScriptedDesktop : public Desktop {
public:
    ScriptedDesktop() : m_folder(test::makeTemporaryFolder("kerris-mail-scripted")) {
        fs::create_directories(m_folder / "bin");
        fs::create_directories(m_folder / "data/applications");
        variables["PATH"] = (m_folder / "bin").string();
        variables["XDG_DATA_HOME"] = (m_folder / "data").string();
        variables["XDG_DATA_DIRS"] = (m_folder / "none").string();
    }
    ~ScriptedDesktop() override {
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }
    const fs::path& folder() const { return m_folder; }

    void addProgram(const std::string& name) {
        const fs::path path = m_folder / "bin" / name;
        std::ofstream(path) << "#!/bin/sh\n";
        fs::permissions(path, fs::perms::owner_all);
    }
    // Registers a default mailto handler with the given Exec line (xdg-mime answers its id).
    void setHandler(const std::string& exec) {
        addProgram("xdg-mime");
        std::ofstream(m_folder / "data/applications/client.desktop")
            << "[Desktop Entry]\nName=Client\nExec=" << exec << "\n";
        mimeAnswer = "client.desktop\n";
    }

    std::optional<std::string> variable(const std::string& name) const override {
        auto found = variables.find(name);
        return found == variables.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<std::string> readOutput(const std::string& program,
                                          const std::vector<std::string>& arguments) override {
        queries.push_back(program);
        EXPECT_THAT(arguments, ElementsAre("query", "default", "x-scheme-handler/mailto"));
        return mimeAnswer;
    }
    bool start(const std::string& program, const std::vector<std::string>& arguments) override {
        started.push_back({program, arguments});
        return startWorks.count(fs::path(program).filename().string()) != 0;
    }
    bool portalCompose(const Composition& message) override {
        portalMessages.push_back(message);
        return portalAccepts;
    }
    bool portalHasEmail() override { return portalAccepts; }

    struct Start {
        std::string program;
        std::vector<std::string> arguments;
    };
    std::map<std::string, std::string> variables;
    std::optional<std::string> mimeAnswer;
    std::set<std::string> startWorks;
    bool portalAccepts = false;
    std::vector<std::string> queries;
    std::vector<Start> started;
    std::vector<Composition> portalMessages;

private:
    fs::path m_folder;
};

Composition clipOnly() {
    Composition message;
    message.attachments = {"/home/u/Murvane/Murvone.wmv"};
    return message;
}

// ---- desktop entries ------------------------------------------------------------------------

TEST(DesktopEntry, ExecLineIsSplitUnquotedAndLosesItsFieldCodes) {
    struct Case {
        const char* text;
        std::vector<std::string> command;
    };
    const Case cases[] = {
        {"[Desktop Entry]\nExec=client %u\n", {"client"}},
        {"[Desktop Entry]\nExec=/opt/x/client -mail %U\n", {"/opt/x/client", "-mail"}},
        {"[Desktop Entry]\nExec=\"/opt/my client/run\" --name=\"a b\" %f\n",
         {"/opt/my client/run", "--name=a b"}},
        {"[Desktop Entry]\nExec=run \"say \\\"hi\\\"\" 100%%\n", {"run", "say \"hi\"", "100%"}},
        {"[Desktop Entry]\nExec=env A=1 client %u %i %c\n", {"env", "A=1", "client"}},
        {"[Desktop Entry]\nExec=run --uri=%u\n", {"run", "--uri="}},
        {"[Desktop Entry]\nExec=run\\sx\n", {"run", "x"}},
        {"# comment\n[Desktop Entry]\nName=a\nExec =  spaced   out  \n", {"spaced", "out"}},
        {"[Desktop Entry]\nExecStart=wrong\nExec[de]=wrong\nExec=right\n", {"right"}},
        {"[Desktop Action New]\nExec=action\n[Desktop Entry]\nExec=main\n", {"main"}},
        {"[Desktop Entry]\r\nExec=crlf %u\r\n", {"crlf"}},
    };
    for (const Case& c : cases) {
        std::optional<std::vector<std::string>> command = desktopEntryCommand(c.text);
        ASSERT_TRUE(command) << c.text;
        EXPECT_EQ(*command, c.command) << c.text;
    }
}

TEST(DesktopEntry, EntriesWithoutAUsableCommandGiveNone) {
    for (const char* text : {
             "",
             "[Desktop Entry]\nName=x\n",
             "[Desktop Entry]\nName=x\n[Desktop Action A]\nExec=action\n",
             "[Other]\nExec=elsewhere\n",
             "Exec=outside\n",
             "[Desktop Entry]\nExec=\"unterminated %u\n",
             "[Desktop Entry]\nExec=%u\n",
             "[Desktop Entry]\nExec=\n",
         })
        EXPECT_FALSE(desktopEntryCommand(text)) << text;
}

// ---- the compose switch -------------------------------------------------------------------

TEST(ComposeSwitch, OnlyTheKnownClientTakesIt) {
    struct Case {
        std::vector<std::string> command;
        bool takes;
    };
    const Case cases[] = {
        {{"thunderbird"}, true},
        {{"/usr/bin/thunderbird", "-mail"}, true},
        {{"env", "MOZ_ENABLE_WAYLAND=1", "thunderbird"}, true},
        {{"/usr/bin/env", "A=1", "B=2", "/opt/thunderbird/thunderbird"}, true},
        {{"thunderbird-wrapper"}, false},
        {{"claws-mail"}, false},
        {{"env"}, false},
        {{"env", "A=1"}, false},
        {{"xdg-open", "thunderbird"}, false},
        {{}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(takesComposeSwitch(c.command), c.takes) << ::testing::PrintToString(c.command);
}

TEST(ComposeSwitch, ArgumentNamesOnlyWhatTheMessageHas) {
    EXPECT_EQ(composeSwitchArgument(clipOnly()), "attachment='file:///home/u/Murvane/Murvone.wmv'");
    Composition full;
    full.attachments = {"/a/1.wmv", "/b/2,x.wmv"};
    full.to = {"a@x.org", "b@y.org"};
    full.cc = {"c@x.org"};
    full.bcc = {"d@x.org"};
    full.subject = "Clip, today";
    full.body = "Look";
    EXPECT_EQ(composeSwitchArgument(full),
              "to='a@x.org,b@y.org',cc='c@x.org',bcc='d@x.org',subject='Clip, today',body='Look',"
              "attachment='file:///a/1.wmv,file:///b/2%2Cx.wmv'");
    EXPECT_EQ(composeSwitchArgument(Composition{}), "");
}

TEST(ComposeSwitch, TextsItCannotQuoteRefuseTheSwitch) {
    for (auto spoil :
         {+[](Composition& m) { m.subject = "it's"; }, +[](Composition& m) { m.body = "'"; },
          +[](Composition& m) { m.to = {"o'neil@x.org"}; },
          +[](Composition& m) {
              m.bcc = {"x@y", "'"};
          }}) {
        Composition message = clipOnly();
        spoil(message);
        EXPECT_FALSE(composeSwitchArgument(message));
    }
    // A quote in a path is percent-encoded in its URL and does no harm.
    Composition quotedPath;
    quotedPath.attachments = {"/tmp/it's.wmv"};
    EXPECT_EQ(composeSwitchArgument(quotedPath), "attachment='file:///tmp/it%27s.wmv'");
}

TEST(FileUrl, KeepsUnreservedAndSlashesAndEncodesTheRest) {
    EXPECT_EQ(fileUrl("/a-b_c.d~/E9"), "file:///a-b_c.d~/E9");
    EXPECT_EQ(fileUrl("/my clips/100%,'x'"), "file:///my%20clips/100%25%2C%27x%27");
    EXPECT_EQ(fileUrl("/\xC3\xA9t\xC3\xA9"), "file:///%C3%A9t%C3%A9");
    EXPECT_EQ(test::percentDecoded(fileUrl("/x y/%z")), "file:///x y/%z");
}

// ---- finding programs and the handler -------------------------------------------------------

TEST(FindProgram, SearchesAbsolutePathFoldersForExecutables) {
    ScriptedDesktop desktop;
    desktop.addProgram("tool");
    std::ofstream(desktop.folder() / "bin/plain") << "not executable";
    fs::create_directories(desktop.folder() / "bin/folder");
    desktop.variables["PATH"] = "relative:" + (desktop.folder() / "empty").string() +
                                "::" + (desktop.folder() / "bin").string() + "/";
    EXPECT_EQ(findProgram(desktop, "tool"), (desktop.folder() / "bin/tool").string());
    EXPECT_FALSE(findProgram(desktop, "plain"));
    EXPECT_FALSE(findProgram(desktop, "folder"));
    EXPECT_FALSE(findProgram(desktop, "missing"));
    EXPECT_FALSE(findProgram(desktop, ""));
    EXPECT_EQ(findProgram(desktop, (desktop.folder() / "bin/tool").string()),
              (desktop.folder() / "bin/tool").string());
    EXPECT_FALSE(findProgram(desktop, (desktop.folder() / "bin/plain").string()));
}

TEST(DefaultMailtoEntry, FoundInDataHomeThenDataDirsAndVendorFolders) {
    ScriptedDesktop desktop;
    desktop.addProgram("xdg-mime");
    const fs::path system = desktop.folder() / "system";
    fs::create_directories(system / "applications/vendor");
    std::ofstream(system / "applications/vendor/mail.desktop") << "[Desktop Entry]\nExec=m\n";
    desktop.variables["XDG_DATA_DIRS"] = "relative:" + system.string() + "/";
    desktop.mimeAnswer = "vendor-mail.desktop;other.desktop\nsecond.desktop\n";
    EXPECT_EQ(defaultMailtoEntry(desktop), (system / "applications/vendor/mail.desktop").string());
    EXPECT_EQ(desktop.queries,
              std::vector<std::string>{(desktop.folder() / "bin/xdg-mime").string()});

    // The user's own entry of the same id comes first.
    std::ofstream(desktop.folder() / "data/applications/vendor-mail.desktop")
        << "[Desktop Entry]\n";
    EXPECT_EQ(defaultMailtoEntry(desktop),
              (desktop.folder() / "data/applications/vendor-mail.desktop").string());
}

TEST(DefaultMailtoEntry, AnswersThatNameNoEntryGiveNone) {
    ScriptedDesktop desktop;
    desktop.addProgram("xdg-mime");
    fs::create_directories(desktop.folder() / "data/applications/dir.desktop");
    std::ofstream(desktop.folder() / "data/secret.desktop") << "[Desktop Entry]\nExec=x\n";
    for (std::optional<std::string> answer :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("\n"), std::optional<std::string>("missing.desktop\n"),
          std::optional<std::string>("../secret.desktop"),
          std::optional<std::string>("a/../../secret.desktop"),
          std::optional<std::string>(".desktop"), std::optional<std::string>("dir.desktop"),
          std::optional<std::string>("client.txt")}) {
        desktop.mimeAnswer = answer;
        EXPECT_FALSE(defaultMailtoEntry(desktop)) << answer.value_or("(failed)");
    }
    // Without xdg-mime nothing is asked.
    ScriptedDesktop bare;
    EXPECT_FALSE(defaultMailtoEntry(bare));
    EXPECT_TRUE(bare.queries.empty());
}

TEST(DefaultMailtoEntry, HomeStandsInForAMissingOrRelativeDataHome) {
    ScriptedDesktop desktop;
    desktop.addProgram("xdg-mime");
    const fs::path home = desktop.folder() / "home";
    fs::create_directories(home / ".local/share/applications");
    std::ofstream(home / ".local/share/applications/c.desktop") << "[Desktop Entry]\nExec=c\n";
    desktop.variables["HOME"] = home.string();
    desktop.mimeAnswer = "c.desktop";
    for (std::optional<std::string> dataHome :
         {std::optional<std::string>(), std::optional<std::string>("rel")}) {
        if (dataHome)
            desktop.variables["XDG_DATA_HOME"] = *dataHome;
        else
            desktop.variables.erase("XDG_DATA_HOME");
        EXPECT_EQ(defaultMailtoEntry(desktop),
                  (home / ".local/share/applications/c.desktop").string());
    }
}

// ---- the order of the hand-offs ---------------------------------------------------------

TEST(Compose, SwitchClientGetsTheSwitchBeforeThePortalIsAsked) {
    ScriptedDesktop desktop;
    desktop.setHandler("thunderbird -P work %u");
    desktop.addProgram("thunderbird");
    desktop.startWorks = {"thunderbird"};
    desktop.portalAccepts = true;
    EXPECT_EQ(compose(desktop, clipOnly()), HandOff::ComposeSwitch);
    ASSERT_EQ(desktop.started.size(), 1u);
    EXPECT_EQ(desktop.started[0].program, (desktop.folder() / "bin/thunderbird").string());
    EXPECT_THAT(
        desktop.started[0].arguments,
        ElementsAre("-P", "work", "-compose", "attachment='file:///home/u/Murvane/Murvone.wmv'"));
    EXPECT_TRUE(desktop.portalMessages.empty());
}

TEST(Compose, EachFailingStepFallsToTheNext) {
    struct Case {
        const char* name;
        bool switchClient;   // the handler is the switch client
        bool switchProgram;  // its program is on PATH
        bool switchStarts;   // starting it works
        bool quoteInSubject; // the switch cannot carry the subject
        bool portal;         // the portal accepts
        bool mailCommand;    // xdg-email is on PATH and starts
        bool handler;        // a mailto handler is registered at all
        HandOff expected;
        std::vector<std::string> startedPrograms;
    };
    // clang-format off
    const Case cases[] = {
        {"switch",                     true,  true,  true,  false, true,  true,  true,  HandOff::ComposeSwitch, {"thunderbird"}},
        {"switch program missing",     true,  false, false, false, true,  true,  true,  HandOff::Portal, {}},
        {"switch fails to start",      true,  true,  false, false, true,  true,  true,  HandOff::Portal, {"thunderbird"}},
        {"subject not quotable",       true,  true,  true,  true,  true,  true,  true,  HandOff::Portal, {}},
        {"portal for another client",  false, false, false, false, true,  true,  true,  HandOff::Portal, {}},
        {"portal refuses",             false, false, false, false, false, true,  true,  HandOff::MailCommand, {"xdg-email"}},
        {"switch and portal fail",     true,  true,  false, false, false, true,  true,  HandOff::MailCommand, {"thunderbird", "xdg-email"}},
        {"no xdg-email",               false, false, false, false, false, false, true,  HandOff::None, {}},
        {"no handler: no xdg-email",   false, false, false, false, false, true,  false, HandOff::None, {}},
        {"portal without handler",     false, false, false, false, true,  true,  false, HandOff::Portal, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        ScriptedDesktop desktop;
        if (c.handler)
            desktop.setHandler(c.switchClient ? "thunderbird %u" : "claws-mail %u");
        if (c.switchProgram)
            desktop.addProgram("thunderbird");
        if (c.switchStarts)
            desktop.startWorks.insert("thunderbird");
        if (c.mailCommand) {
            desktop.addProgram("xdg-email");
            desktop.startWorks.insert("xdg-email");
        }
        desktop.portalAccepts = c.portal;
        Composition message = clipOnly();
        if (c.quoteInSubject)
            message.subject = "Tom's clip";
        EXPECT_EQ(compose(desktop, message), c.expected) << c.name;
        std::vector<std::string> programs;
        for (const auto& start : desktop.started)
            programs.push_back(fs::path(start.program).filename().string());
        EXPECT_EQ(programs, c.startedPrograms) << c.name;
        // The portal is asked only when the switch did not do it.
        EXPECT_EQ(desktop.portalMessages.size(), c.expected == HandOff::ComposeSwitch ? 0u : 1u)
            << c.name;
    }
}

TEST(Compose, MailCommandGetsEveryPartAsItsOwnArgument) {
    ScriptedDesktop desktop;
    desktop.setHandler("claws-mail --compose %u");
    desktop.addProgram("xdg-email");
    desktop.startWorks = {"xdg-email"};
    Composition message;
    message.attachments = {"/a/one.wmv", "/b/two words.wmv"};
    message.subject = "Clip";
    message.body = "Two\nlines";
    message.to = {"a@x.org", "b@x.org"};
    message.cc = {"c@x.org"};
    message.bcc = {"d@x.org"};
    EXPECT_EQ(compose(desktop, message), HandOff::MailCommand);
    ASSERT_EQ(desktop.started.size(), 1u);
    EXPECT_THAT(desktop.started[0].arguments,
                ElementsAreArray({"--attach", "/a/one.wmv", "--attach", "/b/two words.wmv",
                                  "--subject", "Clip", "--body", "Two\nlines", "--cc", "c@x.org",
                                  "--bcc", "d@x.org", "a@x.org", "b@x.org"}));
    ASSERT_EQ(desktop.portalMessages.size(), 1u);
    EXPECT_EQ(desktop.portalMessages[0].attachments, message.attachments);
}

TEST(Compose, MailerVariableAloneLetsTheMailCommandRun) {
    ScriptedDesktop desktop;
    desktop.addProgram("xdg-email");
    desktop.startWorks = {"xdg-email"};
    EXPECT_EQ(compose(desktop, clipOnly()), HandOff::None);
    desktop.variables["MAILER"] = "mutt";
    EXPECT_EQ(compose(desktop, clipOnly()), HandOff::MailCommand);
    EXPECT_THAT(desktop.started.back().arguments,
                ElementsAre("--attach", "/home/u/Murvane/Murvone.wmv"));
}

TEST(CanCompose, NeedsAHandlerThatCanBeReachedOrThePortal) {
    struct Case {
        const char* name;
        const char* exec; // null: no handler
        bool switchProgram;
        bool mailCommand;
        bool portal;
        bool expected;
    };
    const Case cases[] = {
        {"nothing", nullptr, false, false, false, false},
        {"portal only", nullptr, false, false, true, true},
        {"xdg-email without handler", nullptr, false, true, false, false},
        {"handler without xdg-email", "claws-mail %u", false, false, false, false},
        {"handler and xdg-email", "claws-mail %u", false, true, false, true},
        {"switch client alone", "thunderbird %u", true, false, false, true},
        {"switch client not installed", "thunderbird %u", false, false, false, false},
        {"broken entry", "\"thunderbird", true, true, false, false},
    };
    for (const Case& c : cases) {
        ScriptedDesktop desktop;
        if (c.exec)
            desktop.setHandler(c.exec);
        if (c.switchProgram)
            desktop.addProgram("thunderbird");
        if (c.mailCommand)
            desktop.addProgram("xdg-email");
        desktop.portalAccepts = c.portal;
        EXPECT_EQ(canCompose(desktop), c.expected) << c.name;
        EXPECT_TRUE(desktop.started.empty()) << c.name; // asking starts nothing
    }
}

// ---- the session bus ------------------------------------------------------------------------

TEST(SessionBusAddress, NamedAddressFirstThenTheRuntimeSocket) {
    ScriptedDesktop desktop;
    EXPECT_FALSE(sessionBusAddress(desktop));
    const fs::path runtime = desktop.folder() / "runtime";
    fs::create_directories(runtime);
    desktop.variables["XDG_RUNTIME_DIR"] = runtime.string();
    EXPECT_FALSE(sessionBusAddress(desktop)); // no socket
    std::ofstream(runtime / "bus") << "a file, not a socket";
    EXPECT_FALSE(sessionBusAddress(desktop));
    fs::remove(runtime / "bus");

    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (runtime / "bus").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(sessionBusAddress(desktop), "unix:path=" + socketPath);
    desktop.variables["XDG_RUNTIME_DIR"] = "relative";
    EXPECT_FALSE(sessionBusAddress(desktop));
    desktop.variables["DBUS_SESSION_BUS_ADDRESS"] = "";
    EXPECT_FALSE(sessionBusAddress(desktop));
    desktop.variables["DBUS_SESSION_BUS_ADDRESS"] = "unix:abstract=x";
    EXPECT_EQ(sessionBusAddress(desktop), "unix:abstract=x");
    close(fd);
}

} // namespace
} // namespace kerris::mail
