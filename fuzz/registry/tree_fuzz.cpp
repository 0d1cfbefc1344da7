// Builds a tree from arbitrary bytes, with any names a caller of the registry may use, and
// checks that formatting it gives text that parses back to the same tree.
#include "platform/registry/hive_file.h"

#include <cstdlib>
#include <string_view>

using namespace kerris::registry::detail;

namespace {

// Reads the fuzzer's bytes as a little program of tree edits.
class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_pos >= m_size; }
    uint8_t byte() { return empty() ? 0 : m_data[m_pos++]; }
    std::string text(size_t maxLength) {
        size_t n = byte() % (maxLength + 1);
        std::string s;
        while (n-- > 0 && !empty())
            s += static_cast<char>(byte());
        return s;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Key names are what Key accepts: no separator, CR, LF or NUL, and not empty.
std::string keyName(Input& in) {
    std::string name = in.text(12);
    std::string clean;
    for (char c : name)
        if (c != '\\' && c != '\r' && c != '\n' && c != '\0')
            clean += c;
    return clean.empty() ? std::string("k") : clean;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    HiveTree tree;
    HiveKey* current = &tree.root;
    size_t depth = 0;
    while (!in.empty()) {
        switch (in.byte() % 6) {
        case 0:
            if (depth < 8) {
                current = &current->subKey(keyName(in));
                ++depth;
            }
            break;
        case 1:
            current = &tree.root;
            depth = 0;
            break;
        case 2: {
            std::string name = in.text(12);
            uint32_t type = in.byte() % 12;
            if (in.byte() & 0x80)
                type = 0xFFFFFF00u | in.byte();
            std::string bytes = in.text(120);
            current->setValue(name, type, std::vector<uint8_t>(bytes.begin(), bytes.end()));
            break;
        }
        case 3:
            current->removeValue(in.text(12));
            break;
        case 4:
            current->removeSubKey(keyName(in));
            break;
        default: {
            std::string name = in.text(12);
            uint8_t v = in.byte();
            current->setValue(name, 4, {v, static_cast<uint8_t>(v * 3), 0, in.byte()});
            break;
        }
        }
    }
    for (std::string_view root : {"HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT"}) {
        std::string text = formatHive(tree, root);
        HiveParseError error;
        auto parsed = parseHive(text, root, &error);
        if (!parsed || !(*parsed == tree))
            std::abort();
        if (formatHive(*parsed, root) != text)
            std::abort();
    }
    return 0;
}
