// BSTR layout at its boundaries: the byte-length prefix, the terminator, embedded zeros, null
// and empty texts, lengths the prefix cannot hold.
#include "platform/com/com_object.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace kerris::com;

uint32_t prefixOf(BSTR s) {
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<const char*>(s) - sizeof bytes, sizeof bytes);
    return bytes;
}

TEST(Bstr, NullTextGivesNullAndNullMeasuresZero) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr); // harmless
}

TEST(Bstr, EmptyTextIsARealString) {
    BSTR s = SysAllocString(u"");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 0u);
    EXPECT_EQ(prefixOf(s), 0u);
    EXPECT_EQ(s[0], u'\0');
    SysFreeString(s);
}

class BstrLength : public ::testing::TestWithParam<uint32_t> {};

TEST_P(BstrLength, PrefixHoldsTheBytesAndAZeroFollows) {
    const uint32_t length = GetParam();
    std::u16string text(length, u'x');
    for (uint32_t i = 0; i < length; ++i)
        text[i] = char16_t(u'A' + i % 26);
    BSTR s = SysAllocStringLen(text.data(), length);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(prefixOf(s), 2 * length);
    EXPECT_EQ(SysStringLen(s), length);
    EXPECT_EQ(std::u16string(s, length), text);
    EXPECT_EQ(s[length], u'\0');
    SysFreeString(s);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, BstrLength, ::testing::Values(0u, 1u, 2u, 255u, 256u, 65536u));

TEST(Bstr, EmbeddedZerosCountInTheLength) {
    const char16_t text[] = {u'a', 0, u'b', 0};
    BSTR s = SysAllocStringLen(text, 4);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 4u);
    EXPECT_EQ(prefixOf(s), 8u);
    EXPECT_EQ(std::memcmp(s, text, sizeof text), 0);
    EXPECT_EQ(s[4], u'\0');
    SysFreeString(s);
}

TEST(Bstr, AllocStringStopsAtTheFirstZero) {
    const char16_t text[] = {u'a', u'b', 0, u'c', 0};
    BSTR s = SysAllocString(text);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 2u);
    SysFreeString(s);
}

TEST(Bstr, NullTextWithALengthIsZeroFilled) {
    BSTR s = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u);
    for (uint32_t i = 0; i <= 5; ++i)
        EXPECT_EQ(s[i], u'\0') << i;
    SysFreeString(s);
}

TEST(Bstr, LengthBeyondThePrefixIsRefused) {
    // 2 * length + the prefix and terminator must fit 32 bits.
    for (uint32_t length : {0x7FFFFFFDu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(SysAllocStringLen(nullptr, length), nullptr) << length;
}

TEST(Bstr, OwningWrapperRoundTripsUtf8) {
    const std::string text = "Grüße \xF0\x9F\x8E\xA5 clip"; // with a non-BMP character
    Bstr b = Bstr::fromUtf8(text);
    ASSERT_NE(b.get(), nullptr);
    EXPECT_EQ(SysStringLen(b.get()), 13u); // the camera is a surrogate pair
    EXPECT_EQ(b.utf8(), text);
    Bstr empty = Bstr::fromUtf8("");
    EXPECT_NE(empty.get(), nullptr);
    EXPECT_EQ(SysStringLen(empty.get()), 0u);
}

} // namespace
