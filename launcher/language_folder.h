// The installer folder for a language identifier.
#pragma once

#include <cstdint>

namespace kerris::launcher {

inline constexpr const char* kFallbackFolder = "eng";

// "cht" for Chinese (Taiwan), "chs" for the other Chinese sub-languages we ship for
// (PRC, Hong Kong, Singapore, Macao), "eng" for every other identifier.
const char* LanguageFolder(uint16_t languageId);

// Runs the launcher from the current folder: enters the language folder (else "eng"), starts
// "Setup.exe" there without waiting, and returns to the folder it started in. Silent; true
// when the installer was started.
bool LaunchInstaller(uint16_t languageId);

} // namespace kerris::launcher
