// The encoder's settings file: formatting, a strict parser, and the atomic write.
#include "platform/encoder/settings_file.h"

#include "platform/fs/safe_file.h"

#include "platform/encoder/names.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <set>

namespace kerris::encoder {

namespace {

constexpr size_t kMaxInputsPerType = 16;
constexpr size_t kMaxGroups = 64;

// ---- Values ----

// Backslash and control characters are written as escapes, so every value stays on its line.
std::string escape(std::string_view value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool validUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t length;
        uint32_t code;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, code = c & 0x07;
        } else {
            return false;
        }
        if (i + length > s.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            code = code << 6 | (d & 0x3F);
        }
        constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// The value text of a line back to the value; false with reason for a broken escape, a NUL
// or text that is not UTF-8.
bool unescape(std::string_view text, std::string& value, std::string& reason) {
    value.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            value += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            value += '\\';
            ++i;
            continue;
        }
        if (i + 3 < text.size() && text[i + 1] == 'x' && hexDigit(text[i + 2]) >= 0 &&
            hexDigit(text[i + 3]) >= 0) {
            value += char(hexDigit(text[i + 2]) << 4 | hexDigit(text[i + 3]));
            i += 3;
            continue;
        }
        reason = "a backslash that starts no escape";
        return false;
    }
    if (value.find('\0') != std::string::npos) {
        reason = "a value holds a NUL character";
        return false;
    }
    if (!validUtf8(value)) {
        reason = "a value is not UTF-8 text";
        return false;
    }
    return true;
}

bool parseInt(std::string_view text, int64_t low, int64_t high, int64_t& out) {
    int64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || text[0] == '+')
        return false;
    if (v < low || v > high)
        return false;
    out = v;
    return true;
}

// ---- Parsing ----

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    bool run(EncoderSettings& out, std::string& reason) {
        if (m_text.size() > kMaxSettingsFileSize)
            return failWith(reason, "it is larger than a settings file can be");
        if (m_text.find('\0') != std::string_view::npos)
            return failWith(reason, "it holds NUL bytes, so it is not a text file");
        std::string_view line;
        if (!nextLine(line) || line != kSettingsHeader) {
            constexpr std::string_view kFamily = "KerrisEncoderSettings ";
            if (line.substr(0, kFamily.size()) == kFamily)
                return failWith(reason, "it was written in another format version (\"" +
                                            std::string(line) + "\") than this encoder reads");
            return failWith(reason, "it is not an encoder settings file (its first line is not "
                                    "\"" +
                                        std::string(kSettingsHeader) + "\")");
        }
        while (nextLine(line)) {
            if (line.empty() || line[0] == '#')
                continue;
            if (m_ended)
                return failWith(reason, "line " + std::to_string(m_lineNumber) +
                                            ": text after the [End] line");
            if (!takeLine(line)) {
                reason = "line " + std::to_string(m_lineNumber) + ": " + m_problem;
                return false;
            }
        }
        if (!finish()) {
            reason = m_problem;
            return false;
        }
        out = std::move(m_settings);
        return true;
    }

private:
    enum class Section { None, Encoder, Group };

    static bool failWith(std::string& reason, std::string text) {
        reason = std::move(text);
        return false;
    }
    bool problem(std::string text) {
        m_problem = std::move(text);
        return false;
    }

    bool nextLine(std::string_view& line) {
        if (m_position >= m_text.size())
            return false;
        size_t end = m_text.find('\n', m_position);
        if (end == std::string_view::npos)
            end = m_text.size();
        line = m_text.substr(m_position, end - m_position);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        m_position = end + 1;
        ++m_lineNumber;
        return true;
    }

    bool takeLine(std::string_view line) {
        if (line.front() == '[') {
            if (!closeGroup())
                return false;
            if (line == "[End]") {
                m_ended = true;
                m_section = Section::None;
                return true;
            }
            if (line == "[Encoder]") {
                if (m_sawEncoder)
                    return problem("a second [Encoder] section");
                m_sawEncoder = true;
                m_section = Section::Encoder;
                m_keys.clear();
                return true;
            }
            if (line == "[Group]") {
                if (m_settings.groups.size() >= kMaxGroups)
                    return problem("more than " + std::to_string(kMaxGroups) + " source groups");
                m_section = Section::Group;
                m_settings.groups.emplace_back();
                m_keys.clear();
                return true;
            }
            return problem("unknown section \"" + std::string(line) + "\"");
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return problem("a line that is neither a section nor \"name=value\"");
        const std::string key(line.substr(0, equals));
        std::string value;
        std::string reason;
        if (!unescape(line.substr(equals + 1), value, reason))
            return problem(reason);
        switch (m_section) {
        case Section::None:
            return problem("the setting \"" + key + "\" comes before any section");
        case Section::Encoder:
            return encoderSetting(key, value);
        case Section::Group:
            return groupSetting(key, value);
        }
        return false;
    }

    bool once(const std::string& key) {
        if (!m_keys.insert(key).second)
            return problem("the setting \"" + key + "\" is given twice in its section");
        return true;
    }

    bool encoderSetting(const std::string& key, const std::string& value) {
        if (key == "ActiveGroup") {
            int64_t index;
            if (!once(key))
                return false;
            if (!parseInt(value, -1, int64_t(kMaxGroups) - 1, index))
                return problem("the active group \"" + value + "\" is not a group number");
            m_settings.activeGroup = int(index);
            m_activeLine = m_lineNumber;
            return true;
        }
        if (key == "OutputFile") {
            if (!once(key))
                return false;
            m_settings.outputFile = value;
            return true;
        }
        if (key == "Port") {
            const size_t space = value.find(' ');
            int64_t protocol, port;
            if (space == std::string::npos ||
                !parseInt(std::string_view(value).substr(0, space), 0,
                          std::numeric_limits<int32_t>::max(), protocol) ||
                !parseInt(std::string_view(value).substr(space + 1), 1, 65535, port))
                return problem("the port \"" + value +
                               "\" is not a protocol number and a port from 1 to 65535");
            if (!m_settings.ports.emplace(int32_t(protocol), int32_t(port)).second)
                return problem("a second port for protocol " + std::to_string(protocol));
            return true;
        }
        return problem("unknown setting \"" + key + "\" in the [Encoder] section");
    }

    bool groupSetting(const std::string& key, const std::string& value) {
        GroupSettings& group = m_settings.groups.back();
        if (key == "Name" || key == "Profile") {
            if (!once(key))
                return false;
            if (value.empty())
                return problem("the source group's " +
                               std::string(key == "Name" ? "name" : "profile") + " is empty");
            (key == "Name" ? group.name : group.profileName) = value;
            return true;
        }
        if (key == "Video" || key == "Audio") {
            auto& inputs = key == "Video" ? group.videoInputs : group.audioInputs;
            if (inputs.size() >= kMaxInputsPerType)
                return problem("more than " + std::to_string(kMaxInputsPerType) + " " +
                               (key == "Video" ? "video" : "audio") + " sources in a group");
            if (!value.empty() && deviceNameOf(value).empty())
                return problem("the input \"" + value + "\" is not a \"device://\" input");
            inputs.push_back(value);
            return true;
        }
        return problem("unknown setting \"" + key + "\" in a [Group] section");
    }

    // Checks the group section that ends here.
    bool closeGroup() {
        if (m_section != Section::Group)
            return true;
        const GroupSettings& group = m_settings.groups.back();
        if (group.name.empty())
            return problem("the source group before this line has no name");
        if (group.profileName.empty())
            return problem("the source group \"" + group.name + "\" has no profile");
        for (size_t i = 0; i + 1 < m_settings.groups.size(); ++i)
            if (sameNameIgnoringCase(m_settings.groups[i].name, group.name))
                return problem("two source groups are named \"" + group.name + "\"");
        return true;
    }

    bool finish() {
        if (!m_ended)
            return problem("it is cut short (its last line is not [End])");
        if (!m_sawEncoder)
            return problem("it has no [Encoder] section");
        if (m_settings.activeGroup >= int(m_settings.groups.size()))
            return problem("line " + std::to_string(m_activeLine) + ": the active group " +
                           std::to_string(m_settings.activeGroup) + " does not exist");
        return true;
    }

    std::string_view m_text;
    size_t m_position = 0;
    int m_lineNumber = 0;
    int m_activeLine = 0;
    Section m_section = Section::None;
    bool m_sawEncoder = false;
    bool m_ended = false;
    std::set<std::string> m_keys;
    EncoderSettings m_settings;
    std::string m_problem;
};

// ---- Writing ----

std::mutex g_faultMutex;
std::function<bool(SettingsWriteStep)> g_fault;

bool injected(SettingsWriteStep step) {
    std::lock_guard lock(g_faultMutex);
    if (g_fault && g_fault(step)) {
        errno = EIO;
        return true;
    }
    return false;
}

} // namespace

std::string formatSettings(const EncoderSettings& s) {
    std::string out = std::string(kSettingsHeader) + "\n";
    out += "# The media encoder's settings: sources, profile and outputs.\n";
    out += "[Encoder]\n";
    out += "ActiveGroup=" + std::to_string(s.activeGroup) + "\n";
    out += "OutputFile=" + escape(s.outputFile) + "\n";
    for (const auto& [protocol, port] : s.ports)
        out += "Port=" + std::to_string(protocol) + " " + std::to_string(port) + "\n";
    for (const GroupSettings& g : s.groups) {
        out += "\n[Group]\n";
        out += "Name=" + escape(g.name) + "\n";
        out += "Profile=" + escape(g.profileName) + "\n";
        for (const std::string& input : g.videoInputs)
            out += "Video=" + escape(input) + "\n";
        for (const std::string& input : g.audioInputs)
            out += "Audio=" + escape(input) + "\n";
    }
    out += "\n[End]\n";
    return out;
}

bool parseSettings(std::string_view text, EncoderSettings& settings, std::string& reason) {
    return Parser(text).run(settings, reason);
}

bool readSettingsFile(const std::string& path, EncoderSettings& settings, std::string& error) {
    auto cannotRead = [&](const std::string& why) {
        error = "The settings file \"" + path + "\" cannot be read: " + why;
        return false;
    };
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec)
        return cannotRead(ec.value() == ENOENT ? "there is no such file" : ec.message());
    if (std::filesystem::is_directory(status))
        return cannotRead("it is a folder");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return cannotRead(std::strerror(errno));
    std::string text;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, size_t(in.gcount()));
        if (text.size() > kMaxSettingsFileSize)
            break;
    }
    if (in.bad())
        return cannotRead(std::strerror(errno));
    std::string reason;
    if (!parseSettings(text, settings, reason)) {
        error = "The settings file \"" + path + "\" is damaged: " + reason;
        return false;
    }
    return true;
}

bool writeSettingsFile(const std::string& path, const EncoderSettings& settings,
                       std::string& error) {
    const std::string text = formatSettings(settings);
    auto cannotWrite = [&](int code) {
        error = "The file \"" + path + "\" cannot be written: " + std::strerror(code);
        return false;
    };
    if (path.empty()) {
        error = "No settings file was named";
        return false;
    }
    mode_t mode = 0644;
    struct stat existing;
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        mode = existing.st_mode & 07777;

    if (injected(SettingsWriteStep::CreateTemp))
        return cannotWrite(EIO);
    std::string reason;
    auto file = kerris::fs::SafeFile::create(path, reason, mode);
    if (!file) {
        error = "The file \"" + path + "\" cannot be written: " + reason;
        return false;
    }
    if (::fchmod(file->descriptor(), mode) != 0)
        return cannotWrite(errno);
    if (injected(SettingsWriteStep::WriteTemp) || !file->write(text) ||
        injected(SettingsWriteStep::SyncTemp) || injected(SettingsWriteStep::Rename)) {
        error = "The file \"" + path + "\" cannot be written: " +
                (file->error().empty() ? std::string(std::strerror(EIO)) : file->error());
        return false;
    }
    if (file->commit(kerris::fs::Commit::Replace) != kerris::fs::CommitResult::Committed) {
        error = "The file \"" + path + "\" cannot be written: " + file->error();
        return false;
    }
    return true;
}

void setSettingsWriteFault(std::function<bool(SettingsWriteStep)> fault) {
    std::lock_guard lock(g_faultMutex);
    g_fault = std::move(fault);
}

} // namespace kerris::encoder
