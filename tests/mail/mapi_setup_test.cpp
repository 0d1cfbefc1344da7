// mapi-setup and the install step: "MAPI"="1" only where this desktop can compose mail, a "1"
// taken back when it no longer can, --remove, and what the user set left alone.
#include "platform/registry/registry.h"
#include "tests/mail/mail_test_support.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace kerris::mail {
namespace {

namespace fs = std::filesystem;
using registry::Hive;
using registry::Key;

// Written out here, not taken from the code, so that a wrong key in the code shows.
constexpr const char* kSubsystemKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";

class MapiSetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        desktop.environment().set("KERRIS_REGISTRY_DIR", (desktop.root() / "registry").string());
    }
    // Runs COMMAND (quoted by the caller) and returns its exit status.
    static int run(const std::string& command) {
        int status = std::system((command + " >/dev/null 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string setup() {
        return "'" + (test::buildDir() / "bin/mapi-setup").string() + "'";
    }
    // The install step with a build folder that holds only mapi-setup.
    std::string install(const std::string& arguments) {
        const fs::path build = desktop.root() / "build";
        if (!fs::exists(build / "bin/mapi-setup")) {
            fs::create_directories(build / "bin");
            fs::create_symlink(test::buildDir() / "bin/mapi-setup", build / "bin/mapi-setup");
        }
        return "'" + (test::sourceDir() / "scripts/install.sh").string() + "' " + arguments + " '" +
               build.string() + "'";
    }
    static std::optional<std::string> mapi() {
        std::optional<Key> key = Key::open(Hive::LocalMachine, kSubsystemKey);
        return key ? key->readString("MAPI") : std::nullopt;
    }
    static bool keyExists() { return Key::open(Hive::LocalMachine, kSubsystemKey).has_value(); }
    static void write(const char* name, const char* text) {
        std::optional<Key> key = Key::create(Hive::LocalMachine, kSubsystemKey);
        ASSERT_TRUE(key && key->writeString(name, text));
    }
    test::TestDesktop desktop;
};

TEST_F(MapiSetupTest, MailtoHandlerTurnsMailOn) {
    desktop.installClient("mailclient");
    ASSERT_EQ(run(setup()), 0);
    EXPECT_EQ(mapi(), "1");
    // Again: nothing changes.
    ASSERT_EQ(run(setup()), 0);
    EXPECT_EQ(mapi(), "1");
}

TEST_F(MapiSetupTest, PortalAloneTurnsMailOn) {
    test::PrivateBus bus;
    test::FakePortal portal(bus);
    ASSERT_TRUE(portal.running());
    ASSERT_EQ(run(setup()), 0);
    EXPECT_EQ(mapi(), "1");
}

TEST_F(MapiSetupTest, NothingToComposeWithLeavesMailOff) {
    desktop.installClient("mailclient", "", /*makeDefault=*/false);
    test::PrivateBus bus; // a bus without the portal
    ASSERT_EQ(run(setup()), 0);
    EXPECT_FALSE(mapi());
    EXPECT_FALSE(keyExists());
}

TEST_F(MapiSetupTest, AClientGoneTakesTheOneBackButKeepsWhatTheUserSet) {
    write("MAPI", "1");
    write("Other", "kept");
    ASSERT_EQ(run(setup()), 0);
    EXPECT_FALSE(mapi());
    EXPECT_TRUE(keyExists());
    write("MAPI", "0");
    ASSERT_EQ(run(setup()), 0);
    EXPECT_EQ(mapi(), "0");
}

TEST_F(MapiSetupTest, RemoveTakesTheValueAndAnEmptyKeyAway) {
    write("MAPI", "1");
    ASSERT_EQ(run(setup() + " --remove"), 0);
    EXPECT_FALSE(keyExists());
    write("MAPI", "1");
    write("Other", "kept");
    ASSERT_EQ(run(setup() + " --remove"), 0);
    EXPECT_FALSE(mapi());
    std::optional<Key> key = Key::open(Hive::LocalMachine, kSubsystemKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->readString("Other"), "kept");
    // Nothing to remove is no error.
    ASSERT_EQ(run(setup() + " --remove"), 0);
}

TEST_F(MapiSetupTest, UnknownArgumentsChangeNothing) {
    desktop.installClient("mailclient");
    EXPECT_EQ(run(setup() + " --rmove"), 2);
    EXPECT_EQ(run(setup() + " --remove extra"), 2);
    EXPECT_FALSE(keyExists());
}

TEST_F(MapiSetupTest, InstallStepWritesAndRemoveTakesAway) {
    desktop.installClient("mailclient");
    ASSERT_EQ(run(install("")), 0);
    EXPECT_EQ(mapi(), "1");
    ASSERT_EQ(run(install("--remove")), 0);
    EXPECT_FALSE(mapi());
}

TEST_F(MapiSetupTest, InstallStepWithoutAMailClientLeavesMailOff) {
    ASSERT_EQ(run(install("")), 0);
    EXPECT_FALSE(mapi());
}

} // namespace
} // namespace kerris::mail
