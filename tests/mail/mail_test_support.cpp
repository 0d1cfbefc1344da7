// The mail tests' own desktop, bus and portal.
#include "tests/mail/mail_test_support.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace kerris::mail::test {

namespace fs = std::filesystem;

fs::path makeTemporaryFolder(const char* prefix) {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    return pattern;
}

namespace {

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
}

std::optional<std::string> readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Waits for CONDITION up to TIMEOUT, checking every 20 ms.
template <typename Condition> bool waitFor(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void stopProcess(pid_t pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status = 0;
    // The daemon was forked away from us and is no child of ours: waitpid then fails at once.
    if (waitpid(pid, &status, 0) < 0)
        waitFor([&] { return kill(pid, 0) != 0; }, std::chrono::seconds(5));
}

} // namespace

fs::path buildDir() {
    const char* dir = std::getenv("KERRIS_BUILD_DIR");
    return dir ? dir : ".";
}

fs::path sourceDir() {
    const char* dir = std::getenv("KERRIS_SOURCE_DIR");
    return dir ? dir : ".";
}

ScopedEnvironment::~ScopedEnvironment() {
    for (const auto& [name, value] : m_saved) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
}

void ScopedEnvironment::remember(const std::string& name) {
    if (m_saved.count(name))
        return;
    const char* value = std::getenv(name.c_str());
    m_saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
}

void ScopedEnvironment::set(const std::string& name, const std::string& value) {
    remember(name);
    setenv(name.c_str(), value.c_str(), 1);
}

void ScopedEnvironment::unset(const std::string& name) {
    remember(name);
    unsetenv(name.c_str());
}

TestDesktop::TestDesktop() : m_root(makeTemporaryFolder("kerris-mail-desktop")) {
    for (const char* folder : {"bin", "config", "data/applications", "runtime", "logs"})
        fs::create_directories(m_root / folder);
    fs::permissions(m_root / "runtime", fs::perms::owner_all);
    m_environment.set("HOME", m_root.string());
    m_environment.set("XDG_CONFIG_HOME", (m_root / "config").string());
    m_environment.set("XDG_CONFIG_DIRS", (m_root / "no-config").string());
    m_environment.set("XDG_DATA_HOME", (m_root / "data").string());
    m_environment.set("XDG_DATA_DIRS", (m_root / "no-data").string());
    m_environment.set("XDG_RUNTIME_DIR", (m_root / "runtime").string());
    m_environment.set("PATH", (m_root / "bin").string() + ":/usr/bin:/bin");
    // xdg-open reaches a mailto handler only where there is a display; none is opened.
    m_environment.set("DISPLAY", ":99");
    for (const char* name :
         {"DBUS_SESSION_BUS_ADDRESS", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
          "GNOME_DESKTOP_SESSION_ID", "MAILER", "BROWSER", "WAYLAND_DISPLAY"})
        m_environment.unset(name);
}

TestDesktop::~TestDesktop() {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
}

void TestDesktop::installClient(const std::string& program, const std::string& exec,
                                bool makeDefault) {
    const fs::path log = m_root / "logs" / (program + ".log");
    // The log appears whole, by a rename, so a reader never sees half of it.
    const std::string script = "#!/bin/sh\n"
                               ": > '" +
                               log.string() +
                               ".part'\n"
                               "for a in \"$@\"; do printf '%s\\n' \"$a\" >> '" +
                               log.string() +
                               ".part'; done\n"
                               "mv '" +
                               log.string() + ".part' '" + log.string() + "'\n";
    const fs::path binary = m_root / "bin" / program;
    writeText(binary, script);
    fs::permissions(binary, fs::perms::owner_all);
    writeText(m_root / "data/applications" / (program + ".desktop"),
              "[Desktop Entry]\nType=Application\nName=" + program +
                  "\nExec=" + (exec.empty() ? program + " %u" : exec) + "\n" +
                  (makeDefault ? "MimeType=x-scheme-handler/mailto;\n" : ""));
    if (makeDefault)
        writeText(m_root / "config/mimeapps.list",
                  "[Default Applications]\nx-scheme-handler/mailto=" + program + ".desktop\n");
}

std::optional<std::vector<std::string>>
TestDesktop::clientArguments(const std::string& program, std::chrono::milliseconds timeout) const {
    const fs::path log = m_root / "logs" / (program + ".log");
    if (!waitFor([&] { return fs::exists(log); }, timeout))
        return std::nullopt;
    std::optional<std::string> text = readText(log);
    if (!text)
        return std::nullopt;
    std::vector<std::string> arguments;
    size_t start = 0;
    for (size_t end; (end = text->find('\n', start)) != std::string::npos; start = end + 1)
        arguments.push_back(text->substr(start, end - start));
    return arguments;
}

fs::path TestDesktop::writeFile(const std::string& name, const std::string& bytes) const {
    const fs::path path = m_root / name;
    writeText(path, bytes);
    return path;
}

PrivateBus::PrivateBus() : m_folder(makeTemporaryFolder("kerris-mail-bus")) {
    writeText(m_folder / "bus.conf",
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig>\n  <type>session</type>\n  <listen>unix:dir=" +
                  m_folder.string() +
                  "</listen>\n  <auth>EXTERNAL</auth>\n"
                  "  <policy context=\"default\">\n"
                  "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                  "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n"
                  "  </policy>\n</busconfig>\n");
    const std::string command = "dbus-daemon --config-file='" + (m_folder / "bus.conf").string() +
                                "' --fork --print-address=1 --print-pid=1 --nosyslog";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return;
    char line[1024];
    if (std::fgets(line, sizeof line, pipe)) {
        m_address = line;
        while (!m_address.empty() && m_address.back() == '\n')
            m_address.pop_back();
    }
    if (std::fgets(line, sizeof line, pipe))
        m_pid = pid_t(std::atol(line));
    pclose(pipe);
    if (m_pid > 0 && !m_address.empty())
        m_environment.set("DBUS_SESSION_BUS_ADDRESS", m_address);
    else
        m_pid = -1;
}

PrivateBus::~PrivateBus() {
    stopProcess(m_pid);
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
}

FakePortal::FakePortal(const PrivateBus& bus, const std::string& mode)
    : m_folder(makeTemporaryFolder("kerris-mail-portal")) {
    if (!bus.running())
        return;
    const std::string script = (sourceDir() / "tests/mail/fake_portal.py").string();
    const std::string log = (m_folder / "call.txt").string();
    const std::string ready = (m_folder / "ready").string();
    const std::string address = bus.address();
    m_pid = fork();
    if (m_pid == 0) {
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        // Debian's interpreter, which has the bus and main loop modules.
        execl("/usr/bin/python3", "python3", script.c_str(), log.c_str(), ready.c_str(),
              mode.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    m_ready = m_pid > 0 &&
              waitFor([&] { return fs::exists(m_folder / "ready"); }, std::chrono::seconds(20));
}

FakePortal::~FakePortal() {
    stopProcess(m_pid);
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
}

std::optional<std::string> FakePortal::lastCall() const {
    return readText(m_folder / "call.txt");
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += char(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace kerris::mail::test
