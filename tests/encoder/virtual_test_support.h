// Each test of the virtual devices gets its own registry folder and its own runtime folder
// (where the devices' lock files go), so tests never share a device with another run.
#pragma once

#include "platform/encoder/virtual/device_support.h"
#include "platform/registry/hive_store.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

class VirtualDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kerris-vdev-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
        std::filesystem::create_directories(m_root / "registry");
        std::filesystem::create_directories(m_root / "runtime");
        setenv("KERRIS_REGISTRY_DIR", (m_root / "registry").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (m_root / "runtime").c_str(), 1);
        kerris::registry::detail::clearHiveCache();
    }
    void TearDown() override {
        kerris::registry::detail::clearHiveCache();
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }

    static void setSetting(const char* name, uint32_t value) {
        auto key = kerris::registry::Key::create(kerris::registry::Hive::LocalMachine,
                                                 kerris::encoder::virtualdev::kSettingsKey);
        ASSERT_TRUE(key.has_value());
        ASSERT_TRUE(key->writeDword(name, value));
    }

    // Runs `body` in a child process and returns its exit status (or -1 when it died).
    template <class Body> static int inChild(Body body) {
        const pid_t pid = fork();
        if (pid == 0)
            _exit(body());
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }

    std::filesystem::path m_root;
};
