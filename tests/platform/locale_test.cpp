// Locale names and the environment order decide the language identifier.
#include "platform/locale/locale.h"

#include <gtest/gtest.h>

#include <cstdlib>

using kerris::locale::languageIdFromLocaleName;
using kerris::locale::systemDefaultLanguageId;

TEST(LocaleName, MapsToLanguageIdentifiers) {
    struct Case {
        const char* name;
        uint16_t id;
    } cases[] = {
        {"zh_TW.UTF-8", 1028},
        {"zh_CN.UTF-8", 2052},
        {"zh_HK.UTF-8", 3076},
        {"zh_SG", 4100},
        {"zh_MO.UTF-8", 5124},
        {"zh_TW.Big5@stroke", 1028},
        {"zh-TW", 1028},
        {"en_US.UTF-8", 1033},
        {"ja_JP.eucJP", 1041},
        {"de_DE@euro", 1031},
        {"fr_FR.UTF-8", 1036},
        {"fr_CA", 3084},
        {"en_GB", 2057},
        {"C", 1033},
        {"POSIX", 1033},
        {"C.UTF-8", 1033},
        {"", 1033},
        {"xx_YY", 1033},
        {"de", 1031},
        {"de_LU", 1031},
        {"zh", 2052},
    };
    for (const auto& c : cases)
        EXPECT_EQ(languageIdFromLocaleName(c.name), c.id) << c.name;
}

// Restores the three variables whatever a test sets.
class LocaleEnvironment : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto& [name, value, had] : saved) {
            const char* v = std::getenv(name);
            had = v != nullptr;
            value = v ? v : "";
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (auto& [name, value, had] : saved) {
            if (had)
                setenv(name, value.c_str(), 1);
            else
                unsetenv(name);
        }
    }
    struct Saved {
        const char* name;
        std::string value;
        bool had;
    };
    Saved saved[3] = {{"LC_ALL", "", false}, {"LC_MESSAGES", "", false}, {"LANG", "", false}};
};

TEST_F(LocaleEnvironment, FirstSetAndNonEmptyVariableWins) {
    EXPECT_EQ(systemDefaultLanguageId(), 1033) << "nothing set means English";
    setenv("LANG", "zh_HK.UTF-8", 1);
    EXPECT_EQ(systemDefaultLanguageId(), 3076);
    setenv("LC_MESSAGES", "ja_JP.UTF-8", 1);
    EXPECT_EQ(systemDefaultLanguageId(), 1041);
    setenv("LC_ALL", "", 1); // empty does not count
    EXPECT_EQ(systemDefaultLanguageId(), 1041);
    setenv("LC_ALL", "zh_TW.UTF-8", 1);
    EXPECT_EQ(systemDefaultLanguageId(), 1028);
    setenv("LC_ALL", "C", 1); // set and not empty: English, whatever LANG says
    EXPECT_EQ(systemDefaultLanguageId(), 1033);
}
