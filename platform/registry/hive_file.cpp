// Parsing and formatting of REGEDIT4 hive text (see hive_file.h for what is accepted).
#include "platform/registry/hive_file.h"

#include <algorithm>
#include <utility>

namespace kerris::registry::detail {

namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
// Hex lines are wrapped before they pass this column, as regedit does.
constexpr size_t kHexWrapColumn = 76;

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && sameName(s.substr(0, prefix.size()), prefix);
}

// 1 to 8 hex digits and nothing else.
std::optional<uint32_t> parseHex32(std::string_view s) {
    if (s.empty() || s.size() > 8)
        return std::nullopt;
    uint32_t v = 0;
    for (char c : s) {
        int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        v = (v << 4) | static_cast<uint32_t>(d);
    }
    return v;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16LE (after its byte order mark) to UTF-8; nullopt on an odd length or a lone surrogate.
std::optional<std::string> utf16leToUtf8(std::string_view bytes) {
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    std::string out;
    out.reserve(bytes.size() / 2);
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) |
               (static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8);
    };
    for (size_t i = 0; i < bytes.size(); i += 2) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 2 >= bytes.size())
                return std::nullopt;
            uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF)
                return std::nullopt;
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return std::nullopt;
        }
        appendUtf8(out, u);
    }
    return out;
}

// The escapes of quoted text: backslash + code stands for byte.
struct Escape {
    char code;
    char byte;
};
constexpr Escape kEscapes[] = {{'\\', '\\'}, {'"', '"'}, {'n', '\n'}, {'r', '\r'}, {'0', '\0'}};

const Escape* escapeFor(char c, char Escape::*field) {
    for (const Escape& e : kEscapes)
        if (e.*field == c)
            return &e;
    return nullptr;
}

// Items is a (const) vector of HiveValue or HiveKey, kept sorted by name.
template <typename Items> auto lowerBoundByName(Items& items, std::string_view name) {
    return std::lower_bound(
        items.begin(), items.end(), name,
        [](const auto& item, std::string_view n) { return compareNames(item.name, n) < 0; });
}

// Reads the text one line at a time; the line ends are dropped, the line numbers counted.
// A text ending in "\n" has an empty last line, which every caller takes as blank.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_text(text) {}
    bool next(std::string_view& line) {
        if (m_pos > m_text.size())
            return false;
        size_t end = m_text.find('\n', m_pos);
        if (end == std::string_view::npos)
            end = m_text.size();
        line = m_text.substr(m_pos, end - m_pos);
        m_pos = end + 1;
        ++m_lineNumber;
        return true;
    }
    size_t lineNumber() const { return m_lineNumber; }

private:
    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_lineNumber = 0;
};

class Parser {
public:
    Parser(std::string_view text, std::string_view rootName)
        : m_lines(text), m_root(rootName), m_empty(text.empty()) {}

    std::optional<HiveTree> run(HiveParseError* error) {
        HiveTree tree;
        if (!parseAll(tree)) {
            if (error) {
                error->line = std::max<size_t>(1, m_lines.lineNumber());
                error->reason = m_reason;
            }
            return std::nullopt;
        }
        return tree;
    }

private:
    bool fail(std::string reason) {
        m_reason = std::move(reason);
        return false;
    }

    bool parseAll(HiveTree& tree) {
        std::string_view line;
        if (m_empty || !m_lines.next(line))
            return fail("the file is empty");
        line = trim(line);
        if (line != kHeader4 && line != kHeader5)
            return fail("the first line is not \"REGEDIT4\"");
        HiveKey* current = nullptr;
        while (m_lines.next(line)) {
            line = trim(line);
            if (line.empty() || line.front() == ';' || line.front() == '#')
                continue;
            if (line.front() == '[') {
                if (!parseKeyLine(line, tree, current))
                    return false;
            } else if (line.front() == '"' || line.front() == '@') {
                if (!parseValueLine(line, current))
                    return false;
            } else {
                return fail("a line that is neither a key, a value nor a comment");
            }
        }
        return true;
    }

    bool parseKeyLine(std::string_view line, HiveTree& tree, HiveKey*& current) {
        if (line.size() < 2 || line.back() != ']')
            return fail("a key line without its closing \"]\"");
        std::string_view inner = line.substr(1, line.size() - 2);
        if (!inner.empty() && inner.front() == '-') {
            // A deletion: what it names is not in this hive; values after it belong nowhere.
            current = nullptr;
            return true;
        }
        size_t sep = inner.find('\\');
        std::string_view rootPart = inner.substr(0, sep);
        if (!sameName(rootPart, m_root))
            return fail("a key outside " + std::string(m_root));
        HiveKey* key = &tree.root;
        size_t depth = 0;
        while (sep != std::string_view::npos) {
            inner.remove_prefix(sep + 1);
            sep = inner.find('\\');
            std::string_view part = inner.substr(0, sep);
            if (part.empty())
                continue;
            if (part.find('\r') != std::string_view::npos)
                return fail("a key name holding a carriage return");
            if (++depth > kMaxKeyDepth)
                return fail("a key path deeper than the registry allows");
            key = &key->subKey(part);
        }
        current = key;
        return true;
    }

    // A quoted text starting at s[0] == '"'; on success s is left after the closing quote.
    bool parseQuoted(std::string_view& s, std::string& out) {
        out.clear();
        size_t i = 1;
        for (;;) {
            if (i >= s.size())
                return fail("a quoted text without its closing quote");
            char c = s[i];
            if (c == '"') {
                s.remove_prefix(i + 1);
                return true;
            }
            if (c == '\\') {
                if (i + 1 >= s.size())
                    return fail("a quoted text without its closing quote");
                char e = s[i + 1];
                const Escape* known = escapeFor(e, &Escape::code);
                if (known) {
                    out += known->byte;
                } else {
                    out += '\\';
                    out += e;
                }
                i += 2;
                continue;
            }
            out += c;
            ++i;
        }
    }

    bool parseValueLine(std::string_view line, HiveKey* current) {
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else if (!parseQuoted(line, name)) {
            return false;
        }
        line = trim(line);
        if (line.empty() || line.front() != '=')
            return fail("a value line without \"=\"");
        line = trim(line.substr(1));
        if (current == nullptr)
            return fail("a value outside any key");

        if (line == "-")
            return true; // a value deletion: nothing to keep
        if (!line.empty() && line.front() == '"') {
            std::string text;
            if (!parseQuoted(line, text))
                return false;
            if (!trim(line).empty())
                return fail("text after the closing quote");
            current->setValue(name, 1, std::vector<uint8_t>(text.begin(), text.end()));
            return true;
        }
        if (startsWithNoCase(line, "dword:")) {
            auto v = parseHex32(trim(line.substr(6)));
            if (!v)
                return fail("a dword that is not 1 to 8 hex digits");
            std::vector<uint8_t> data{static_cast<uint8_t>(*v), static_cast<uint8_t>(*v >> 8),
                                      static_cast<uint8_t>(*v >> 16),
                                      static_cast<uint8_t>(*v >> 24)};
            current->setValue(name, 4, std::move(data));
            return true;
        }
        if (startsWithNoCase(line, "hex")) {
            std::string_view rest = line.substr(3);
            uint32_t type = 3;
            if (!rest.empty() && rest.front() == '(') {
                size_t close = rest.find(')');
                if (close == std::string_view::npos)
                    return fail("a hex type without its closing \")\"");
                auto t = parseHex32(rest.substr(1, close - 1));
                if (!t)
                    return fail("a hex type that is not 1 to 8 hex digits");
                type = *t;
                rest.remove_prefix(close + 1);
            }
            if (rest.empty() || rest.front() != ':')
                return fail("a hex value without \":\"");
            rest.remove_prefix(1);
            std::vector<uint8_t> data;
            if (!parseHexBytes(rest, data))
                return false;
            current->setValue(name, type, std::move(data));
            return true;
        }
        return fail("a value that is neither text, dword nor hex");
    }

    // Comma-separated two-digit bytes, continued on the next line after a trailing "\".
    bool parseHexBytes(std::string_view rest, std::vector<uint8_t>& data) {
        std::string joined;
        std::string_view part = trim(rest);
        while (!part.empty() && part.back() == '\\') {
            part.remove_suffix(1);
            joined.append(part);
            std::string_view next;
            if (!m_lines.next(next))
                return fail("a hex value continued past the end of the file");
            part = trim(next);
        }
        joined.append(part);
        std::string_view s = trim(joined);
        if (s.empty())
            return true;
        for (;;) {
            size_t comma = s.find(',');
            std::string_view byte = trim(s.substr(0, comma));
            if (byte.size() != 2 || hexDigit(byte[0]) < 0 || hexDigit(byte[1]) < 0)
                return fail("hex data that is not two-digit bytes separated by commas");
            data.push_back(static_cast<uint8_t>(hexDigit(byte[0]) * 16 + hexDigit(byte[1])));
            if (comma == std::string_view::npos)
                return true;
            s.remove_prefix(comma + 1);
        }
    }

    LineReader m_lines;
    std::string_view m_root;
    bool m_empty;
    std::string m_reason;
};

void appendEscaped(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        const Escape* escape = escapeFor(c, &Escape::byte);
        if (escape) {
            out += '\\';
            out += escape->code;
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendHex(std::string& out, size_t column, const std::vector<uint8_t>& data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        size_t width = i + 1 < data.size() ? 3 : 2;
        if (i > 0 && column + width > kHexWrapColumn) {
            out += "\\\n  ";
            column = 2;
        }
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0xF];
        if (i + 1 < data.size())
            out += ',';
        column += width;
    }
}

void appendValue(std::string& out, const HiveValue& v) {
    size_t lineStart = out.size();
    if (v.name.empty())
        out += '@';
    else
        appendEscaped(out, v.name);
    out += '=';
    bool plainText = v.type == 1 && std::none_of(v.data.begin(), v.data.end(), [](uint8_t b) {
                         return b == '\n' || b == '\r' || b == '\0';
                     });
    if (plainText) {
        appendEscaped(
            out, std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size()));
    } else if (v.type == 4 && v.data.size() == 4) {
        static constexpr char kDigits[] = "0123456789abcdef";
        uint32_t d = static_cast<uint32_t>(v.data[0]) | (static_cast<uint32_t>(v.data[1]) << 8) |
                     (static_cast<uint32_t>(v.data[2]) << 16) |
                     (static_cast<uint32_t>(v.data[3]) << 24);
        out += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4)
            out += kDigits[(d >> shift) & 0xF];
    } else {
        if (v.type == 3) {
            out += "hex:";
        } else {
            static constexpr char kDigits[] = "0123456789abcdef";
            out += "hex(";
            bool any = false;
            for (int shift = 28; shift >= 0; shift -= 4) {
                unsigned d = (v.type >> shift) & 0xF;
                if (d != 0 || any || shift == 0) {
                    out += kDigits[d];
                    any = true;
                }
            }
            out += "):";
        }
        appendHex(out, out.size() - lineStart, v.data);
    }
    out += '\n';
}

void appendKey(std::string& out, const HiveKey& key, std::string& path) {
    size_t pathLength = path.size();
    path += '\\';
    path += key.name;
    out += '[';
    out += path;
    out += "]\n";
    for (const HiveValue& v : key.values)
        appendValue(out, v);
    out += '\n';
    for (const HiveKey& sub : key.subKeys)
        appendKey(out, sub, path);
    path.resize(pathLength);
}

} // namespace

int compareNames(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(lowerAscii(a[i]));
        unsigned char cb = static_cast<unsigned char>(lowerAscii(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && compareNames(a, b) == 0;
}

const HiveValue* HiveKey::findValue(std::string_view valueName) const {
    auto it = lowerBoundByName(values, valueName);
    return it != values.end() && sameName(it->name, valueName) ? &*it : nullptr;
}

void HiveKey::setValue(std::string_view valueName, uint32_t type, std::vector<uint8_t> data) {
    auto it = lowerBoundByName(values, valueName);
    if (it != values.end() && sameName(it->name, valueName)) {
        it->type = type;
        it->data = std::move(data);
        return;
    }
    values.insert(it, HiveValue{std::string(valueName), type, std::move(data)});
}

bool HiveKey::removeValue(std::string_view valueName) {
    auto it = lowerBoundByName(values, valueName);
    if (it == values.end() || !sameName(it->name, valueName))
        return false;
    values.erase(it);
    return true;
}

const HiveKey* HiveKey::findSubKey(std::string_view keyName) const {
    auto it = lowerBoundByName(subKeys, keyName);
    return it != subKeys.end() && sameName(it->name, keyName) ? &*it : nullptr;
}

HiveKey* HiveKey::findSubKey(std::string_view keyName) {
    return const_cast<HiveKey*>(std::as_const(*this).findSubKey(keyName));
}

HiveKey& HiveKey::subKey(std::string_view keyName, bool* added) {
    auto it = lowerBoundByName(subKeys, keyName);
    if (it != subKeys.end() && sameName(it->name, keyName)) {
        if (added)
            *added = false;
        return *it;
    }
    if (added)
        *added = true;
    HiveKey fresh;
    fresh.name = std::string(keyName);
    return *subKeys.insert(it, std::move(fresh));
}

bool HiveKey::removeSubKey(std::string_view keyName) {
    auto it = lowerBoundByName(subKeys, keyName);
    if (it == subKeys.end() || !sameName(it->name, keyName))
        return false;
    subKeys.erase(it);
    return true;
}

std::optional<HiveTree> parseHive(std::string_view text, std::string_view rootName,
                                  HiveParseError* error) {
    std::optional<std::string> decoded;
    if (text.size() >= 2 && static_cast<uint8_t>(text[0]) == 0xFF &&
        static_cast<uint8_t>(text[1]) == 0xFE) {
        decoded = utf16leToUtf8(text.substr(2));
        if (!decoded) {
            if (error)
                *error = HiveParseError{1, "broken UTF-16 text"};
            return std::nullopt;
        }
        text = *decoded;
    } else if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        if (error) {
            auto line = static_cast<size_t>(std::count(text.begin(), text.begin() + nul, '\n'));
            *error = HiveParseError{line + 1, "a NUL byte in the text"};
        }
        return std::nullopt;
    }
    return Parser(text, rootName).run(error);
}

std::string formatHive(const HiveTree& tree, std::string_view rootName) {
    std::string out;
    out += kHeader4;
    out += "\n\n";
    if (!tree.root.values.empty()) {
        out += '[';
        out += rootName;
        out += "]\n";
        for (const HiveValue& v : tree.root.values)
            appendValue(out, v);
        out += '\n';
    }
    std::string path(rootName);
    for (const HiveKey& sub : tree.root.subKeys)
        appendKey(out, sub, path);
    return out;
}

} // namespace kerris::registry::detail
