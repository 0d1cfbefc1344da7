// GUIDs as the registry names classes: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include "platform/com/com_object.h"

namespace kerris::com {

namespace {

constexpr size_t kGuidTextLength = 38;
// Where the hex digits of each byte stand in the text, in GUID memory order for data4.
constexpr size_t kData4Positions[8] = {20, 22, 25, 27, 29, 31, 33, 35};

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The value of `digits` hex digits at `at`; nullopt when one is not a hex digit.
std::optional<uint32_t> hexField(std::string_view text, size_t at, size_t digits) {
    uint32_t value = 0;
    for (size_t i = 0; i < digits; ++i) {
        int v = hexValue(text[at + i]);
        if (v < 0)
            return std::nullopt;
        value = (value << 4) | uint32_t(v);
    }
    return value;
}

} // namespace

std::string guidText(const GUID& guid) {
    char text[kGuidTextLength + 1];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  unsigned(guid.data1), unsigned(guid.data2), unsigned(guid.data3), guid.data4[0],
                  guid.data4[1], guid.data4[2], guid.data4[3], guid.data4[4], guid.data4[5],
                  guid.data4[6], guid.data4[7]);
    return text;
}

std::optional<GUID> parseGuid(std::string_view text) {
    if (text.size() != kGuidTextLength || text.front() != '{' || text.back() != '}')
        return std::nullopt;
    for (size_t dash : {9u, 14u, 19u, 24u})
        if (text[dash] != '-')
            return std::nullopt;
    GUID guid{};
    auto d1 = hexField(text, 1, 8);
    auto d2 = hexField(text, 10, 4);
    auto d3 = hexField(text, 15, 4);
    if (!d1 || !d2 || !d3)
        return std::nullopt;
    guid.data1 = *d1;
    guid.data2 = uint16_t(*d2);
    guid.data3 = uint16_t(*d3);
    for (size_t i = 0; i < 8; ++i) {
        auto b = hexField(text, kData4Positions[i], 2);
        if (!b)
            return std::nullopt;
        guid.data4[i] = uint8_t(*b);
    }
    return guid;
}

} // namespace kerris::com
