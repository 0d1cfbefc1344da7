// The helpers' texts: UTF-8 <-> UTF-16 with malformed input, GUID texts as registry keys name
// classes.
#include "platform/com/com_object.h"
#include "platform/encoder/encoder_interfaces.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace kerris::com;

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string utf16;
    bool roundTrips; // valid input comes back byte for byte
};
void PrintTo(const Utf8Case& c, std::ostream* os) {
    *os << c.name;
}

class Utf8ToUtf16 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToUtf16, Converts) {
    const auto& c = GetParam();
    EXPECT_EQ(utf16FromUtf8(c.utf8), c.utf16);
    if (c.roundTrips) {
        EXPECT_EQ(utf8FromUtf16(c.utf16), c.utf8);
    }
}

const std::u16string kR(1, u'\xFFFD');

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToUtf16,
    ::testing::Values(Utf8Case{"Empty", "", u"", true},
                      Utf8Case{"Ascii", "Murvane", u"Murvane", true},
                      Utf8Case{"EmbeddedNul", std::string("a\0b", 3), std::u16string(u"a\0b", 3),
                               true},
                      Utf8Case{"TwoBytes", "\xC3\xA9", u"\u00E9", true},
                      Utf8Case{"ThreeBytes", "\xE2\x82\xAC", u"\u20AC", true},
                      Utf8Case{"LastBmp", "\xEF\xBF\xBF", u"\uFFFF", true},
                      Utf8Case{"FirstAstral", "\xF0\x90\x80\x80", u"\U00010000", true},
                      Utf8Case{"Emoji", "\xF0\x9F\x98\x80", u"\U0001F600", true},
                      Utf8Case{"LastCodePoint", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", true},
                      Utf8Case{"LoneContinuation", "\x80", kR, false},
                      Utf8Case{"InvalidLead",
                               "a\xFF"
                               "b",
                               u"a\uFFFDb", false},
                      Utf8Case{"OverlongTwoBytes", "\xC0\xAF", kR + kR, false},
                      Utf8Case{"OverlongThreeBytes", "\xE0\x80\xAF", kR + kR + kR, false},
                      Utf8Case{"Surrogate", "\xED\xA0\x80", kR + kR + kR, false},
                      Utf8Case{"BeyondLastCodePoint", "\xF4\x90\x80\x80", kR + kR + kR + kR, false},
                      Utf8Case{"TruncatedAtEnd", "\xE2\x82", kR, false},
                      Utf8Case{"TruncatedBeforeAscii",
                               "\xF0\x9F\x98"
                               "A",
                               kR + u"A", false}),
    [](const auto& param) { return std::string(param.param.name); });

struct Utf16Case {
    const char* name;
    std::u16string utf16;
    std::string utf8;
};
void PrintTo(const Utf16Case& c, std::ostream* os) {
    *os << c.name;
}

class Utf16ToUtf8 : public ::testing::TestWithParam<Utf16Case> {};

TEST_P(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacements) {
    EXPECT_EQ(utf8FromUtf16(GetParam().utf16), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf16ToUtf8,
    ::testing::Values(Utf16Case{"LoneHigh", std::u16string(1, char16_t(0xD800)), "\xEF\xBF\xBD"},
                      Utf16Case{"LoneLow", std::u16string(1, char16_t(0xDC00)), "\xEF\xBF\xBD"},
                      Utf16Case{"HighThenAscii", std::u16string({char16_t(0xD83D), u'x'}),
                                "\xEF\xBF\xBDx"},
                      Utf16Case{"Reversed", std::u16string({char16_t(0xDE00), char16_t(0xD83D)}),
                                "\xEF\xBF\xBD\xEF\xBF\xBD"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(GuidText, UpperCaseWithBraces) {
    EXPECT_EQ(guidText(kerris::encoder::CLSID_Encoder), "{632B606A-BBC6-11D2-A329-006097C4E476}");
    EXPECT_EQ(guidText(kerris::encoder::CLSID_Page3), "{0037AC54-E32B-4ACA-9864-09F869AA82FE}");
    EXPECT_EQ(guidText(GUID{}), "{00000000-0000-0000-0000-000000000000}");
}

TEST(GuidText, ParsesEitherCaseBack) {
    for (const GUID& g : {kerris::encoder::CLSID_Encoder, kerris::encoder::CLSID_SystemDeviceEnum,
                          IErrorInfo::kIid, GUID{}}) {
        auto parsed = parseGuid(guidText(g));
        ASSERT_TRUE(parsed) << guidText(g);
        EXPECT_TRUE(*parsed == g);
    }
    auto lower = parseGuid("{632b606a-bbc6-11d2-a329-006097c4e476}");
    ASSERT_TRUE(lower);
    EXPECT_TRUE(*lower == kerris::encoder::CLSID_Encoder);
}

TEST(GuidText, RefusesAnythingElse) {
    for (const char* bad :
         {"", "632B606A-BBC6-11D2-A329-006097C4E476", "{632B606A-BBC6-11D2-A329-006097C4E476",
          "(632B606A-BBC6-11D2-A329-006097C4E476)", "{632B606A-BBC6-11D2-A329-006097C4E47}",
          "{632B606A-BBC6-11D2-A329-006097C4E4766}", "{632B606ABBBC6-11D2-A329-006097C4E476}",
          "{632B606A-BBC6-11D2-A3290006097C4E476}", "{632B606G-BBC6-11D2-A329-006097C4E476}",
          "{632B606A-BBC6-11D2-A329-006097C4E4 6}", "{632B606A-+BC6-11D2-A329-006097C4E476}"})
        EXPECT_FALSE(parseGuid(bad)) << bad;
}

} // namespace
