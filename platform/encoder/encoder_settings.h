// The encoder's settings as plain data: what the settings file holds and what a loaded file
// turns into before it replaces the encoder's objects.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kerris::encoder {

struct GroupSettings {
    std::string name;
    std::string profileName;
    std::vector<std::string> videoInputs; // "device://" + friendly name, or empty (not set)
    std::vector<std::string> audioInputs;
    bool operator==(const GroupSettings&) const = default;
};

struct EncoderSettings {
    std::vector<GroupSettings> groups;
    int activeGroup = -1;             // index into groups, -1 for none
    std::string outputFile;           // empty: preview only
    std::map<int32_t, int32_t> ports; // broadcast port per protocol
    bool operator==(const EncoderSettings&) const = default;
};

} // namespace kerris::encoder
