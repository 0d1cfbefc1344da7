// Where the registry says that a messaging subsystem with Simple MAPI is installed: the text
// "1" in the value "MAPI" of this key of HKEY_LOCAL_MACHINE.
#pragma once

namespace kerris::mail {

inline constexpr const char* kMessagingSubsystemKey =
    "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";
inline constexpr const char* kMapiValue = "MAPI";

} // namespace kerris::mail
