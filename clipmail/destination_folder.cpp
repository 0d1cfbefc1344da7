// DestinationFolder and registry text reads.
#include "clipmail/destination_folder.h"

#include <unistd.h>

namespace kerris::clipmail {
namespace {

std::string cut(std::string text, size_t bufferSize) {
    if (bufferSize == 0)
        return {};
    if (text.size() > bufferSize - 1)
        text.resize(bufferSize - 1);
    return text;
}

std::string currentDirectory() {
    char buffer[kPathBuffer];
    if (::getcwd(buffer, sizeof buffer))
        return buffer;
    return {};
}

} // namespace

std::string readRegistryText(registry::Hive hive, std::string_view keyPath,
                             std::string_view valueName, const std::string& defaultText,
                             size_t bufferSize) {
    std::optional<registry::Key> key = registry::Key::open(hive, keyPath);
    if (key) {
        if (std::optional<std::string> text = key->readString(valueName))
            return cut(*text, bufferSize);
    }
    return cut(defaultText, bufferSize);
}

std::string& DestinationFolder() {
    static std::string folder;
    return folder;
}

std::string readDestinationFolder() {
    std::string folder = readRegistryText(registry::Hive::LocalMachine, kMurvaneKey,
                                          kDestinationPathValue, currentDirectory());
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace kerris::clipmail
