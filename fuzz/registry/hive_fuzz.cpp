// Feeds arbitrary bytes to the hive parser. Whatever parses must format to text that parses
// back to the same tree, and formatting that tree again must give the same text.
#include "platform/registry/hive_file.h"

#include <cstdlib>
#include <string_view>

using namespace kerris::registry::detail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static constexpr std::string_view kRoots[] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                                  "HKEY_CLASSES_ROOT"};
    // The input is the text alone; the root is chosen by its length, so every input is a file.
    std::string_view root = kRoots[size % 3];
    std::string_view text(reinterpret_cast<const char*>(data), size);
    HiveParseError error;
    auto tree = parseHive(text, root, &error);
    if (!tree) {
        // A refusal must say why, and name a line the text has.
        size_t lines = 1;
        for (char c : text)
            lines += c == '\n';
        if (error.reason.empty() || error.line == 0 || error.line > lines)
            std::abort();
        return 0;
    }
    std::string formatted = formatHive(*tree, root);
    auto again = parseHive(formatted, root, &error);
    if (!again || !(*again == *tree))
        std::abort();
    if (formatHive(*again, root) != formatted)
        std::abort();
    return 0;
}
