// What the component runtime's suites share: a temporary folder per test and the one
// QApplication that window handles need.
#pragma once

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kerris::comtest {

// A new empty folder in the temporary folder; empty path when it cannot be made.
inline std::filesystem::path makeTemporaryFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        return {};
    return pattern;
}

// Makes the process's QApplication (offscreen in the tests) unless there is one.
inline void ensureApplication() {
    if (!QApplication::instance()) {
        static int argc = 1;
        static char name[] = "com_tests";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv); // lives for the process
    }
}

} // namespace kerris::comtest
