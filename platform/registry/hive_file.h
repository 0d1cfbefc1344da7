// The REGEDIT4 text of one hive: a plain tree of keys and typed values, parsed from and
// formatted to the text that regedit and Wine import and export.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kerris::registry::detail {

// Deepest key path a hive may hold (levels below the root). Deeper paths are refused when
// written and make a file unreadable when parsed, so a hostile file cannot exhaust the stack.
inline constexpr size_t kMaxKeyDepth = 512;

// ASCII case-insensitive comparison, as key and value names compare.
int compareNames(std::string_view a, std::string_view b);
bool sameName(std::string_view a, std::string_view b);

struct HiveValue {
    std::string name; // "" is the key's default value
    uint32_t type = 0;
    std::vector<uint8_t> data;
    bool operator==(const HiveValue&) const = default;
};

// A key with its values and sub-keys, both kept sorted by name (case-insensitively), so a
// formatted hive is the same text whatever order the changes came in.
struct HiveKey {
    std::string name;
    std::vector<HiveValue> values;
    std::vector<HiveKey> subKeys;

    const HiveValue* findValue(std::string_view valueName) const;
    // Sets or replaces a value; an existing value keeps the case of its name.
    void setValue(std::string_view valueName, uint32_t type, std::vector<uint8_t> data);
    bool removeValue(std::string_view valueName);

    const HiveKey* findSubKey(std::string_view keyName) const;
    HiveKey* findSubKey(std::string_view keyName);
    // The sub-key of that name, added when missing (*added tells).
    HiveKey& subKey(std::string_view keyName, bool* added = nullptr);
    bool removeSubKey(std::string_view keyName);

    bool operator==(const HiveKey&) const = default;
};

struct HiveTree {
    HiveKey root; // its name is unused; the hive's root name is given to parse and format
    bool operator==(const HiveTree&) const = default;
};

// Why a text could not be parsed: the 1-based line and a short reason.
struct HiveParseError {
    size_t line = 0;
    std::string reason;
};

// Parses the text of a hive whose root is rootName ("HKEY_CURRENT_USER").
//
// Accepted: a "REGEDIT4" or "Windows Registry Editor Version 5.00" first line (UTF-8, with or
// without a byte order mark, or UTF-16LE with its mark), "\n" or "\r\n" line ends, blank
// lines, ";" and "#" comment lines, trailing whitespace, "[root\path]" key lines (empty path
// parts are skipped; a key named twice is one key), "[-root\path]" deletion lines and
// "name"=- value deletions (both ignored), and value lines "name"=... or @=... holding
// "text" (escapes \\ \" \n \r \0; another backslash stands for itself), dword:h..h (1 to 8
// hex digits), hex:bb,bb,... and hex(N):bb,... with "\" line continuations.
//
// Refused (nullopt, *error says where): no header, a NUL byte, a key line of another root or
// deeper than kMaxKeyDepth, a value line outside a key (before the first key line or after a
// deletion line), any malformed line, a quoted text without its closing quote, a bad dword,
// hex bytes that are not two digits, a dangling comma or a continuation at the end of the text.
std::optional<HiveTree> parseHive(std::string_view text, std::string_view rootName,
                                  HiveParseError* error = nullptr);

// Formats a tree as REGEDIT4 text: the header, then every key in sorted order (the root only
// when it holds values), each followed by its values and a blank line. REG_SZ text holding
// CR, LF or NUL and REG_DWORD data that is not 4 bytes are written as hex(N): so any reader
// gets the bytes back; hex lines are wrapped near 76 columns with "\" continuations.
// parseHive(formatHive(t)) == t for every tree parseHive produces.
std::string formatHive(const HiveTree& tree, std::string_view rootName);

} // namespace kerris::registry::detail
