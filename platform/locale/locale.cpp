// Locale names to language identifiers.
#include "locale.h"

#include <array>
#include <cstdlib>
#include <string>

namespace kerris::locale {
namespace {

struct Entry {
    const char* name; // "ll_TT" or "ll" for the language's primary territory
    uint16_t id;
};

// Full names first; a bare language falls back to its "ll" entry.
constexpr std::array kTable{
    Entry{"zh_TW", kChineseTaiwan},
    Entry{"zh_CN", kChinesePRC},
    Entry{"zh_HK", kChineseHongKong},
    Entry{"zh_SG", kChineseSingapore},
    Entry{"zh_MO", kChineseMacao},
    Entry{"zh", kChinesePRC},
    Entry{"en_US", 1033},
    Entry{"en_GB", 2057},
    Entry{"en_AU", 3081},
    Entry{"en_CA", 4105},
    Entry{"en_NZ", 5129},
    Entry{"en_IE", 6153},
    Entry{"en", 1033},
    Entry{"ja_JP", 1041},
    Entry{"ja", 1041},
    Entry{"ko_KR", 1042},
    Entry{"ko", 1042},
    Entry{"de_DE", 1031},
    Entry{"de_CH", 2055},
    Entry{"de_AT", 3079},
    Entry{"de", 1031},
    Entry{"fr_FR", 1036},
    Entry{"fr_BE", 2060},
    Entry{"fr_CA", 3084},
    Entry{"fr_CH", 4108},
    Entry{"fr", 1036},
    Entry{"es_ES", 3082},
    Entry{"es_MX", 2058},
    Entry{"es", 3082},
    Entry{"it_IT", 1040},
    Entry{"it", 1040},
    Entry{"nl_NL", 1043},
    Entry{"nl_BE", 2067},
    Entry{"nl", 1043},
    Entry{"pt_BR", 1046},
    Entry{"pt_PT", 2070},
    Entry{"pt", 2070},
    Entry{"ru_RU", 1049},
    Entry{"ru", 1049},
    Entry{"pl_PL", 1045},
    Entry{"pl", 1045},
    Entry{"sv_SE", 1053},
    Entry{"sv", 1053},
    Entry{"da_DK", 1030},
    Entry{"da", 1030},
    Entry{"fi_FI", 1035},
    Entry{"fi", 1035},
    Entry{"nb_NO", 1044},
    Entry{"nb", 1044},
    Entry{"cs_CZ", 1029},
    Entry{"cs", 1029},
    Entry{"hu_HU", 1038},
    Entry{"hu", 1038},
    Entry{"tr_TR", 1055},
    Entry{"tr", 1055},
    Entry{"el_GR", 1032},
    Entry{"el", 1032},
    Entry{"he_IL", 1037},
    Entry{"he", 1037},
    Entry{"ar_SA", 1025},
    Entry{"ar", 1025},
    Entry{"th_TH", 1054},
    Entry{"th", 1054},
    Entry{"vi_VN", 1066},
    Entry{"vi", 1066},
    Entry{"uk_UA", 1058},
    Entry{"uk", 1058},
    Entry{"id_ID", 1057},
    Entry{"id", 1057},
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

uint16_t languageIdFromLocaleName(std::string_view name) {
    // Strip ".codeset" and "@modifier": "zh_TW.UTF-8@stroke" -> "zh_TW".
    size_t cut = name.find_first_of(".@");
    std::string_view base = name.substr(0, cut);
    if (base.empty() || base == "C" || base == "POSIX")
        return kEnglishUS;
    std::string normal(base);
    for (char& c : normal)
        if (c == '-')
            c = '_'; // "zh-TW" as some desktops spell it
    for (const auto& e : kTable)
        if (equalsIgnoringCase(normal, e.name))
            return e.id;
    std::string_view language = std::string_view(normal).substr(0, normal.find('_'));
    for (const auto& e : kTable)
        if (equalsIgnoringCase(language, e.name))
            return e.id;
    return kEnglishUS;
}

uint16_t systemDefaultLanguageId() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value && *value)
            return languageIdFromLocaleName(value);
    }
    return kEnglishUS;
}

} // namespace kerris::locale
