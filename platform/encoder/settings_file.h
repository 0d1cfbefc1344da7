// The encoder's settings file: a text format of our own (see README.md), parsed completely
// before anything is used and written through a temporary file renamed into place.
#pragma once

#include "platform/encoder/encoder_settings.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kerris::encoder {

inline constexpr char kSettingsHeader[] = "KerrisEncoderSettings 1";
// A settings file larger than this is not one of ours.
inline constexpr size_t kMaxSettingsFileSize = 1 << 20;

// The text of settings, which parseSettings reads back to the same settings.
std::string formatSettings(const EncoderSettings& settings);

// Parses a whole settings text into `settings`; on failure returns false, leaves `settings`
// as it was and sets `reason` ("line 4: unknown setting "Colour"").
bool parseSettings(std::string_view text, EncoderSettings& settings, std::string& reason);

// Reads and parses the file; false with `error` a sentence for the user ("The settings file
// "PATH" cannot be read: REASON" / "The settings file "PATH" is damaged: REASON").
bool readSettingsFile(const std::string& path, EncoderSettings& settings, std::string& error);

// Writes the settings to path atomically: a temporary file beside it, synced, renamed over
// path, the folder synced. On failure path is as it was, no temporary file is left, and
// `error` is "The file "PATH" cannot be written: REASON".
bool writeSettingsFile(const std::string& path, const EncoderSettings& settings,
                       std::string& error);

// The steps of writeSettingsFile, for fault injection in tests.
enum class SettingsWriteStep { CreateTemp, WriteTemp, SyncTemp, Rename };
// Test hook: a step for which it returns true fails as an I/O error (EIO) would. Empty: none.
void setSettingsWriteFault(std::function<bool(SettingsWriteStep)> fault);

} // namespace kerris::encoder
