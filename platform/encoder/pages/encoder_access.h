// What the pages read from and write to an encoder, through its interfaces alone: the group
// in use, the inputs of its sources, the profiles and the group's profile.
#pragma once

#include "platform/com/com_object.h"
#include "platform/encoder/encoder_interfaces.h"

#include <string>
#include <vector>

namespace kerris::encoder::pages {

using com::ComPtr;

inline constexpr char kDevicePrefix[] = "device://";

// The group in use: S_OK with an empty `group` when the encoder has no group yet.
HRESULT activeGroup(IEncoder* encoder, ComPtr<ISourceGroup>& group);
// The group in use, or a new one named `newName` (which becomes the group in use).
HRESULT activeOrNewGroup(IEncoder* encoder, const std::string& newName,
                         ComPtr<ISourceGroup>& group);

// The input of the group's first source of that type: "device://X" gives "X". S_OK with an
// empty text when there is no group or source; `isDevice` false when the input is not a
// device (a file, say), and then `input` is the text as it stands.
HRESULT currentInput(IEncoder* encoder, int32_t type, std::string& input, bool& isDevice);

// Sets the group's first source of that type to "device://" + name, making the group and the
// source when they are missing.
HRESULT setDeviceInput(IEncoder* encoder, int32_t type, const std::string& name);

struct ProfileEntry {
    ComPtr<IProfile> profile;
    std::string name;
    std::string description;
};
// Every profile of the encoder, in its order.
HRESULT listProfiles(IEncoder* encoder, std::vector<ProfileEntry>& profiles);
// The name of the group's profile; S_OK with "" when there is no group or profile.
HRESULT currentProfileName(IEncoder* encoder, std::string& name);
// Selects the profile for the group in use (made, named "Default", when missing), passing it
// as a VARIANT of type VT_DISPATCH.
HRESULT selectProfile(IEncoder* encoder, IProfile* profile);

// Reads a BSTR out-parameter into UTF-8 (the BSTR is freed).
std::string takeText(BSTR text);

} // namespace kerris::encoder::pages
