// A test fixture giving each test its own, empty registry folder and a clean store.
#pragma once

#include "platform/registry/hive_store.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class RegistryFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kerris-registry-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        m_dir = m_root / "hives";
        setenv("KERRIS_REGISTRY_DIR", m_dir.c_str(), 1);
        kerris::registry::detail::clearHiveCache();
    }
    void TearDown() override {
        kerris::registry::setDamageReporter({});
        kerris::registry::detail::setFaultInjector({});
        kerris::registry::detail::clearHiveCache();
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }

    static std::string readFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void writeFile(const std::filesystem::path& path, const std::string& text) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    // The names in the registry folder, sorted.
    std::vector<std::string> folderEntries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::filesystem::path userFile() const { return m_dir / "user.reg"; }

    std::filesystem::path m_root;
    std::filesystem::path m_dir;
};
