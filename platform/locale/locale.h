// The system default language identifier, read from the locale environment.
#pragma once

#include <cstdint>
#include <string_view>

namespace kerris::locale {

// Language identifiers (primary language | sub-language << 10) of the languages we map.
inline constexpr uint16_t kEnglishUS = 1033;
inline constexpr uint16_t kChineseTaiwan = 1028;
inline constexpr uint16_t kChinesePRC = 2052;
inline constexpr uint16_t kChineseHongKong = 3076;
inline constexpr uint16_t kChineseSingapore = 4100;
inline constexpr uint16_t kChineseMacao = 5124;

// The identifier of a locale name such as "zh_TW.UTF-8", "de_DE@euro", "fr" or "C".
// C, POSIX and empty names are English (1033); a language without a known territory takes
// its primary territory; an unknown language is English too.
uint16_t languageIdFromLocaleName(std::string_view name);

// The system default language: the first of LC_ALL, LC_MESSAGES and LANG that is set and
// not empty, mapped by languageIdFromLocaleName; English when none is set.
uint16_t systemDefaultLanguageId();

} // namespace kerris::locale
