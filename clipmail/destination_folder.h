// DestinationFolder: the folder of the skin, the encoder settings and the clips, and the
// registry text reads that find it.
#pragma once

#include "platform/registry/registry.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kerris::clipmail {

inline constexpr const char* kMurvaneKey = "Software\\Veltrane\\Murvane\\";
inline constexpr const char* kDestinationPathValue = "DestinationPath";
// Registry texts and the current directory are read into buffers of this many bytes.
inline constexpr size_t kPathBuffer = 260;

// Reads a REG_SZ value of a key as into a buffer of bufferSize bytes: the text, cut to
// bufferSize - 1 bytes; defaultText (cut alike) when the key or value is missing or has
// another type.
std::string readRegistryText(registry::Hive hive, std::string_view keyPath,
                             std::string_view valueName, const std::string& defaultText,
                             size_t bufferSize = kPathBuffer);

// The process-wide DestinationFolder (empty until set).
std::string& DestinationFolder();

// The folder as start-up finds it: "DestinationPath" under HKEY_LOCAL_MACHINE
// "Software\Veltrane\Murvane\", else the current directory; a "/" appended when missing.
std::string readDestinationFolder();

} // namespace kerris::clipmail
