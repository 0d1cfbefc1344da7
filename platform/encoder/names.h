// Comparing the names of groups and profiles, and the device name of a source's input.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace kerris::encoder {

// Names of groups and profiles compare ignoring ASCII case, as the program's own lookup does.
inline bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// "device://NAME" -> "NAME"; empty when text is not a device input.
inline std::string deviceNameOf(std::string_view input) {
    constexpr std::string_view kScheme = "device://";
    if (input.size() <= kScheme.size() || input.substr(0, kScheme.size()) != kScheme)
        return {};
    return std::string(input.substr(kScheme.size()));
}

} // namespace kerris::encoder
