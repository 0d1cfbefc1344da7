// Helpers of the mail tests: a desktop of their own in a temporary folder (XDG folders, a
// mailto handler that logs its arguments), a private session bus and a fake portal on it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kerris::mail::test {

// The build tree's folders, from the test environment.
std::filesystem::path buildDir();
std::filesystem::path sourceDir();
// A new empty folder in the temporary folder; the caller removes it.
std::filesystem::path makeTemporaryFolder(const char* prefix);

// Sets environment variables for the object's lifetime and restores them after.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    void set(const std::string& name, const std::string& value);
    void unset(const std::string& name);

private:
    void remember(const std::string& name);
    std::map<std::string, std::optional<std::string>> m_saved;
};

// A desktop in a temporary folder: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_DATA_DIRS and
// XDG_RUNTIME_DIR point into it, PATH starts with its bin folder, no session bus is named and
// no desktop environment is detected. Removed with the object.
class TestDesktop {
public:
    TestDesktop();
    ~TestDesktop();
    TestDesktop(const TestDesktop&) = delete;
    TestDesktop& operator=(const TestDesktop&) = delete;

    const std::filesystem::path& root() const { return m_root; }
    ScopedEnvironment& environment() { return m_environment; }

    // Installs bin/PROGRAM, a script that writes its arguments (one a line) to PROGRAM.log,
    // and the desktop entry PROGRAM.desktop with EXEC as its Exec line ("PROGRAM %u" when
    // empty). With makeDefault it becomes the default mailto handler; without, it is a
    // program that handles no mailto links at all.
    void installClient(const std::string& program, const std::string& exec = {},
                       bool makeDefault = true);
    // The arguments PROGRAM was started with, once its log is complete (waits up to TIMEOUT
    // for the detached program); nullopt when it never ran.
    std::optional<std::vector<std::string>>
    clientArguments(const std::string& program,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // A file of the given bytes in the desktop's folder.
    std::filesystem::path writeFile(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path m_root;
    ScopedEnvironment m_environment;
};

// A dbus-daemon of the test's own; DBUS_SESSION_BUS_ADDRESS names it while the object lives.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    bool running() const { return m_pid > 0; }
    const std::string& address() const { return m_address; }

private:
    std::filesystem::path m_folder;
    std::string m_address;
    pid_t m_pid = -1;
    ScopedEnvironment m_environment;
};

// tests/mail/fake_portal.py on the private bus: the portal's Email interface, recording each
// ComposeEmail call (its options and the bytes read from each attachment descriptor) as JSON.
class FakePortal {
public:
    // MODE: "accept" answers with a request object, "refuse" with an error.
    explicit FakePortal(const PrivateBus& bus, const std::string& mode = "accept");
    ~FakePortal();
    FakePortal(const FakePortal&) = delete;
    FakePortal& operator=(const FakePortal&) = delete;
    bool running() const { return m_ready; }
    // The last call's record, or nullopt when none came.
    std::optional<std::string> lastCall() const;

private:
    std::filesystem::path m_folder;
    pid_t m_pid = -1;
    bool m_ready = false;
};

// Decodes %XX escapes.
std::string percentDecoded(const std::string& text);

} // namespace kerris::mail::test
