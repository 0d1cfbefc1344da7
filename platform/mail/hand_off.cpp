// The mail hand-off: finding the default mail client, the compose switch, xdg-email, and the
// order in which they and the portal are tried.
#include "platform/mail/hand_off.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace kerris::mail {

namespace {

// Mail clients, by program name, that drop attachments from mailto links on purpose and take
// them with "-compose" instead.
const char* const kComposeSwitchClients[] = {"thunderbird"};
constexpr const char* kComposeSwitch = "-compose";
constexpr size_t kMaxEntryBytes = 256 * 1024;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(
            text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::string trim(const std::string& text) {
    const char* space = " \t\r\n";
    size_t first = text.find_first_not_of(space);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> readSmallFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        size_t(info.st_size) > kMaxEntryBytes)
        return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A desktop file id names a file in an applications folder; its "-" may stand for a sub-folder.
bool isDesktopFileId(const std::string& id) {
    return id.size() > 8 && id.compare(id.size() - 8, 8, ".desktop") == 0 &&
           id.find('/') == std::string::npos && id[0] != '.';
}

std::vector<std::string> applicationFolders(const Desktop& desktop) {
    std::vector<std::string> folders;
    std::optional<std::string> dataHome = desktop.variable("XDG_DATA_HOME");
    if (dataHome && !dataHome->empty() && (*dataHome)[0] == '/')
        folders.push_back(*dataHome);
    else if (std::optional<std::string> home = desktop.variable("HOME"); home && !home->empty())
        folders.push_back(*home + "/.local/share");
    std::optional<std::string> dataDirs = desktop.variable("XDG_DATA_DIRS");
    if (!dataDirs || dataDirs->empty())
        dataDirs = "/usr/local/share/:/usr/share/";
    for (const std::string& folder : split(*dataDirs, ':'))
        if (!folder.empty() && folder[0] == '/')
            folders.push_back(folder);
    for (std::string& folder : folders)
        folder += folder.back() == '/' ? "applications/" : "/applications/";
    return folders;
}

// Undoes the escapes of a desktop entry's string value (\s \n \t \r \\).
std::string unescapeValue(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            out += '\\', out += value[i];
            break; // left for the Exec quoting rules
        }
    }
    return out;
}

std::optional<std::string> execValue(const std::string& text) {
    bool inEntry = false;
    for (const std::string& raw : split(text, '\n')) {
        std::string line = trim(raw);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            if (inEntry)
                return std::nullopt; // the group ended without an Exec key
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry || line.compare(0, 4, "Exec") != 0)
            continue;
        std::string rest = trim(line.substr(4));
        if (rest.empty() || rest[0] != '=')
            continue; // "ExecStart", "Exec[xx]" and the like are other keys
        return unescapeValue(trim(rest.substr(1)));
    }
    return std::nullopt;
}

// A field code argument ("%u") is dropped whole; inside an argument "%%" is "%" and other
// codes expand to nothing.
bool expandFieldCodes(const std::string& argument, std::string* out) {
    if (argument.size() == 2 && argument[0] == '%' && argument[1] != '%')
        return false;
    out->clear();
    for (size_t i = 0; i < argument.size(); ++i) {
        if (argument[i] != '%') {
            *out += argument[i];
        } else if (i + 1 < argument.size()) {
            if (argument[++i] == '%')
                *out += '%';
        }
    }
    return true;
}

bool quotable(const std::string& text) {
    for (char c : text)
        if (c == '\'' || c == '\0')
            return false;
    return true;
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const std::string& part : parts) {
        if (!out.empty())
            out += separator;
        out += part;
    }
    return out;
}

bool composeThroughSwitch(Desktop& desktop, const std::vector<std::string>& command,
                          const Composition& message) {
    std::optional<std::string> argument = composeSwitchArgument(message);
    std::optional<std::string> program = findProgram(desktop, command.front());
    if (!argument || !program)
        return false;
    std::vector<std::string> arguments(command.begin() + 1, command.end());
    arguments.push_back(kComposeSwitch);
    arguments.push_back(*argument);
    return desktop.start(*program, arguments);
}

bool composeThroughMailCommand(Desktop& desktop, const Composition& message) {
    std::optional<std::string> program = findProgram(desktop, "xdg-email");
    if (!program)
        return false;
    std::vector<std::string> arguments;
    for (const std::string& path : message.attachments)
        arguments.insert(arguments.end(), {"--attach", path});
    if (!message.subject.empty())
        arguments.insert(arguments.end(), {"--subject", message.subject});
    if (!message.body.empty())
        arguments.insert(arguments.end(), {"--body", message.body});
    for (const std::string& address : message.cc)
        arguments.insert(arguments.end(), {"--cc", address});
    for (const std::string& address : message.bcc)
        arguments.insert(arguments.end(), {"--bcc", address});
    arguments.insert(arguments.end(), message.to.begin(), message.to.end());
    return desktop.start(*program, arguments);
}

std::optional<std::vector<std::string>> mailtoHandlerCommand(Desktop& desktop) {
    std::optional<std::string> entry = defaultMailtoEntry(desktop);
    if (!entry)
        return std::nullopt;
    std::optional<std::string> text = readSmallFile(*entry);
    if (!text)
        return std::nullopt;
    return desktopEntryCommand(*text);
}

} // namespace

std::optional<std::string> sessionBusAddress(const Desktop& desktop) {
    if (std::optional<std::string> address = desktop.variable("DBUS_SESSION_BUS_ADDRESS");
        address && !address->empty())
        return address;
    std::optional<std::string> runtime = desktop.variable("XDG_RUNTIME_DIR");
    if (!runtime || runtime->empty() || (*runtime)[0] != '/')
        return std::nullopt;
    const std::string socket = *runtime + "/bus";
    struct stat info {};
    if (stat(socket.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
        return std::nullopt;
    return "unix:path=" + socket;
}

std::optional<std::string> findProgram(const Desktop& desktop, const std::string& name) {
    if (name.empty())
        return std::nullopt;
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? std::optional(name) : std::nullopt;
    std::optional<std::string> path = desktop.variable("PATH");
    if (!path)
        path = "/usr/local/bin:/usr/bin:/bin";
    for (const std::string& folder : split(*path, ':')) {
        if (folder.empty() || folder[0] != '/')
            continue; // a relative PATH entry would depend on the current folder
        std::string candidate = folder + (folder.back() == '/' ? "" : "/") + name;
        if (isExecutableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

std::optional<std::string> defaultMailtoEntry(Desktop& desktop) {
    std::optional<std::string> query = findProgram(desktop, "xdg-mime");
    if (!query)
        return std::nullopt;
    std::optional<std::string> answer =
        desktop.readOutput(*query, {"query", "default", "x-scheme-handler/mailto"});
    if (!answer)
        return std::nullopt;
    // The first id of the first line: some desktops list several, separated by ";".
    std::string id = trim(split(split(*answer, '\n').front(), ';').front());
    if (!isDesktopFileId(id))
        return std::nullopt;
    for (const std::string& folder : applicationFolders(desktop)) {
        std::string path = folder + id;
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            return path;
        // "vendor-app.desktop" may live in applications/vendor/app.desktop.
        for (size_t dash = id.find('-'); dash != std::string::npos; dash = id.find('-', dash + 1)) {
            std::string nested = id;
            nested[dash] = '/';
            path = folder + nested;
            if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
                return path;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> desktopEntryCommand(const std::string& text) {
    std::optional<std::string> exec = execValue(text);
    if (!exec)
        return std::nullopt;
    std::vector<std::string> command;
    std::string argument;
    bool inArgument = false;
    bool quoted = false;
    auto finish = [&] {
        std::string expanded;
        if (inArgument && expandFieldCodes(argument, &expanded))
            command.push_back(expanded);
        argument.clear();
        inArgument = false;
    };
    for (size_t i = 0; i < exec->size(); ++i) {
        char c = (*exec)[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < exec->size() &&
                       std::string("\"`$\\").find((*exec)[i + 1]) != std::string::npos) {
                argument += (*exec)[++i];
            } else {
                argument += c;
            }
        } else if (c == ' ' || c == '\t') {
            finish();
        } else if (c == '"') {
            quoted = true;
            inArgument = true;
        } else {
            argument += c;
            inArgument = true;
        }
    }
    if (quoted)
        return std::nullopt;
    finish();
    if (command.empty())
        return std::nullopt;
    return command;
}

bool takesComposeSwitch(const std::vector<std::string>& command) {
    // The program is the first word that is neither "env" nor a variable assignment of env.
    size_t i = 0;
    if (i < command.size() && command[i].substr(command[i].rfind('/') + 1) == "env")
        for (++i; i < command.size() && command[i].find('=') != std::string::npos &&
                  command[i][0] != '-';
             ++i) {
        }
    if (i >= command.size())
        return false;
    const std::string name = command[i].substr(command[i].rfind('/') + 1);
    for (const char* client : kComposeSwitchClients)
        if (name == client)
            return true;
    return false;
}

std::optional<std::string> composeSwitchArgument(const Composition& message) {
    std::vector<std::string> fields;
    auto add = [&](const char* key, const std::string& value) {
        if (!value.empty())
            fields.push_back(std::string(key) + "='" + value + "'");
    };
    for (const auto* list : {&message.to, &message.cc, &message.bcc})
        for (const std::string& address : *list)
            if (!quotable(address))
                return std::nullopt;
    if (!quotable(message.subject) || !quotable(message.body))
        return std::nullopt;
    add("to", joined(message.to, ","));
    add("cc", joined(message.cc, ","));
    add("bcc", joined(message.bcc, ","));
    add("subject", message.subject);
    add("body", message.body);
    std::vector<std::string> urls;
    for (const std::string& path : message.attachments)
        urls.push_back(fileUrl(path));
    add("attachment", joined(urls, ","));
    return joined(fields, ",");
}

std::string fileUrl(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            url += char(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

HandOff compose(Desktop& desktop, const Composition& message) {
    std::optional<std::vector<std::string>> handler = mailtoHandlerCommand(desktop);
    if (handler && takesComposeSwitch(*handler) && composeThroughSwitch(desktop, *handler, message))
        return HandOff::ComposeSwitch;
    if (desktop.portalCompose(message))
        return HandOff::Portal;
    // Without a registered handler xdg-email would fall back to a web browser.
    if ((handler || desktop.variable("MAILER")) && composeThroughMailCommand(desktop, message))
        return HandOff::MailCommand;
    return HandOff::None;
}

bool canCompose(Desktop& desktop) {
    std::optional<std::vector<std::string>> handler = mailtoHandlerCommand(desktop);
    if (handler && takesComposeSwitch(*handler) && findProgram(desktop, handler->front()))
        return true;
    if (handler && findProgram(desktop, "xdg-email"))
        return true;
    return desktop.portalHasEmail();
}

} // namespace kerris::mail
