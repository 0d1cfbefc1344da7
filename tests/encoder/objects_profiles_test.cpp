// Profiles as the program reads them: the collection (built-in ones, then the installed
// "Murvane"), the details text whose video size the program parses, the profile a group is
// given through a VARIANT, and installed profiles the encoder cannot record being left out.
#include "tests/encoder/objects_support.h"

#include "platform/encoder/encoder_interfaces.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <vector>

namespace kerris::encoder::testing {
namespace {

using registry::Hive;
using registry::Key;

class Profiles : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        encoder = create(CLSID_Encoder, IEncoder::kIid);
        details = create(CLSID_ProfileDetailsService, IProfileDetailsService::kIid);
        ASSERT_TRUE(encoder && details);
    }
    std::vector<std::string> names() {
        SlotObject profiles = encoder.out(slot::kProfileCollection);
        EXPECT_EQ(profiles(slot::kProfileRefresh), com::S_OK);
        int32_t count = -1;
        EXPECT_EQ(profiles(slot::kProfileCount, &count), com::S_OK);
        std::vector<std::string> result;
        for (int32_t i = 0; i < count; ++i) {
            com::BSTR name = nullptr;
            EXPECT_EQ(profiles.out(slot::kProfileItem, i)(slot::kProfileName, &name), com::S_OK);
            result.push_back(takeText(name));
        }
        return result;
    }
    std::string detailsOf(const std::string& name) {
        com::BSTR text = nullptr;
        Text given = testing::text(name);
        if (details(slot::kGetDetails, given.get(), 0, &text) != com::S_OK)
            return "(failed: " + takeErrorDescription() + ")";
        return takeText(text);
    }
    SlotObject encoder, details;
};

// The clip mail program's reading of the video size: upper case, everything up to "VIDEO" and
// then up to "]" removed, "%d X %d" read.
bool programVideoSize(std::string text, int& width, int& height) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    size_t at = text.find("VIDEO");
    if (at == std::string::npos)
        return false;
    text.erase(0, at + 5);
    at = text.find(']');
    if (at == std::string::npos)
        return false;
    text.erase(0, at + 1);
    return std::sscanf(text.c_str(), "%d X %d", &width, &height) == 2;
}

TEST_F(Profiles, EveryProfileHasADetailsTextWithItsVideoSize) {
    const std::vector<std::string> all = names();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all.back(), "Murvane") << "the installed profile follows the built-in ones";
    EXPECT_EQ(std::count(all.begin(), all.end(), "Murvane"), 1);
    for (const std::string& name : all) {
        int width = 0, height = 0;
        const std::string text = detailsOf(name);
        ASSERT_TRUE(programVideoSize(text, width, height)) << name << ": " << text;
        int named = 0, namedHeight = 0;
        if (name == "Murvane") {
            EXPECT_EQ(width, 320);
            EXPECT_EQ(height, 240);
            EXPECT_NE(text.find("15 fps"), std::string::npos) << text;
            EXPECT_NE(text.find("mono"), std::string::npos) << text;
        } else {
            // A built-in profile's name carries its size: "(640 x 480, 30 fps)".
            ASSERT_EQ(
                std::sscanf(name.substr(name.find('(')).c_str(), "(%d x %d", &named, &namedHeight),
                2)
                << name;
            EXPECT_EQ(width, named) << name;
            EXPECT_EQ(height, namedHeight) << name;
        }
    }
    EXPECT_EQ(detailsOf("mURVANE"), detailsOf("Murvane")) << "names compare ignoring case";
}

TEST_F(Profiles, DetailsOfAnUnknownProfileOrWithoutAPlaceForThemFail) {
    EXPECT_EQ(detailsOf("No Such Profile").rfind("(failed: ", 0), 0u);
    EXPECT_NE(detailsOf("No Such Profile").find("No Such Profile"), std::string::npos);
    EXPECT_EQ(detailsOf("").rfind("(failed: ", 0), 0u);
    Text name = text("Murvane");
    EXPECT_EQ(details(slot::kGetDetails, name.get(), 0, static_cast<com::BSTR*>(nullptr)),
              com::E_POINTER);
    EXPECT_NE(takeErrorDescription(), "");
}

TEST_F(Profiles, ItemsOutsideTheCollectionAreRefused) {
    SlotObject profiles = encoder.out(slot::kProfileCollection);
    int32_t count = 0;
    ASSERT_EQ(profiles(slot::kProfileCount, &count), com::S_OK);
    for (int32_t index : {-1, count, INT32_MAX, INT32_MIN}) {
        void* out = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(profiles(slot::kProfileItem, index, &out), com::E_INVALIDARG) << index;
        EXPECT_EQ(out, reinterpret_cast<void*>(0xdeadbeef)) << "untouched on failure";
        EXPECT_NE(takeErrorDescription(), "") << index;
    }
}

struct Broken {
    const char* name;
    std::function<void(Key&)> spoil;
};
// Cases print as their names, not as bytes.
void PrintTo(const Broken& c, std::ostream* os) {
    *os << c.name;
}

const Broken kBroken[] = {
    {"NoDescription", [](Key& k) { k.removeValue("Description"); }},
    {"WidthZero", [](Key& k) { k.writeDword("Width", 0); }},
    {"WidthOdd", [](Key& k) { k.writeDword("Width", 321); }},
    {"WidthTooLarge", [](Key& k) { k.writeDword("Width", 642); }},
    {"HeightAsText", [](Key& k) { k.writeString("Height", "240"); }},
    {"HeightMissing", [](Key& k) { k.removeValue("Height"); }},
    {"NoFrames", [](Key& k) { k.writeDword("FramesPerSecond", 0); }},
    {"TooManyFrames", [](Key& k) { k.writeDword("FramesPerSecond", 31); }},
    {"HugeBitRate", [](Key& k) { k.writeDword("VideoBitRate", 0xffffffffu); }},
    {"AudioBitRateTooLow", [](Key& k) { k.writeDword("AudioBitRate", 8000); }},
    {"OddSampleRate", [](Key& k) { k.writeDword("AudioSampleRate", 12345); }},
    {"ThreeChannels", [](Key& k) { k.writeDword("AudioChannels", 3); }},
    {"NoChannels", [](Key& k) { k.writeDword("AudioChannels", 0); }},
};

class BrokenProfile : public Profiles, public ::testing::WithParamInterface<Broken> {};

TEST_P(BrokenProfile, IsNotOfferedAndHasNoDetails) {
    auto key = Key::open(Hive::LocalMachine, "SOFTWARE\\Kerris\\Encoder\\Profiles\\Murvane");
    ASSERT_TRUE(key);
    GetParam().spoil(*key);
    const auto all = names();
    EXPECT_EQ(std::count(all.begin(), all.end(), "Murvane"), 0);
    EXPECT_EQ(detailsOf("Murvane").rfind("(failed: ", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenProfile, ::testing::ValuesIn(kBroken),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(Profiles, RefreshFindsProfilesInstalledSinceAndForgetsRemovedOnes) {
    SlotObject profiles = encoder.out(slot::kProfileCollection);
    int32_t before = 0;
    ASSERT_EQ(profiles(slot::kProfileCount, &before), com::S_OK);
    {
        auto key = Key::create(Hive::LocalMachine, "SOFTWARE\\Kerris\\Encoder\\Profiles\\Tiny");
        ASSERT_TRUE(key);
        key->writeString("Description", "small");
        for (auto [name, value] : {std::pair{"Width", 160},
                                   {"Height", 120},
                                   {"FramesPerSecond", 10},
                                   {"VideoBitRate", 100000},
                                   {"AudioBitRate", 24000},
                                   {"AudioSampleRate", 16000},
                                   {"AudioChannels", 1}})
            key->writeDword(name, uint32_t(value));
    }
    int32_t count = 0;
    ASSERT_EQ(profiles(slot::kProfileCount, &count), com::S_OK);
    EXPECT_EQ(count, before) << "the collection is read at a refresh";
    ASSERT_EQ(profiles(slot::kProfileRefresh), com::S_OK);
    ASSERT_EQ(profiles(slot::kProfileCount, &count), com::S_OK);
    EXPECT_EQ(count, before + 1);
    EXPECT_EQ(detailsOf("tiny"), "[Audio] 24 kbps mono 16 kHz [Video] 160 x 120 10 fps 100 kbps");
    Key::remove(Hive::LocalMachine, "SOFTWARE\\Kerris\\Encoder\\Profiles\\Murvane");
    ASSERT_EQ(profiles(slot::kProfileRefresh), com::S_OK);
    ASSERT_EQ(profiles(slot::kProfileCount, &count), com::S_OK);
    EXPECT_EQ(count, before);
}

class GroupProfile : public Profiles {
protected:
    void SetUp() override {
        Profiles::SetUp();
        Text name = text("G");
        group = encoder.out(slot::kSourceGroupCollection).out(slot::kGroupAdd, name.get());
        ASSERT_TRUE(group);
    }
    std::string profileName() {
        com::BSTR name = nullptr;
        EXPECT_EQ(group.out(slot::kProfile)(slot::kProfileName, &name), com::S_OK);
        return takeText(name);
    }
    SlotObject group;
};

TEST_F(GroupProfile, ANewGroupHasTheDefaultAndTakesTheProfileItIsGiven) {
    EXPECT_EQ(profileName(), names().front());
    SlotObject profiles = encoder.out(slot::kProfileCollection);
    const auto all = names();
    for (int32_t i = int32_t(all.size()) - 1; i >= 0; --i) {
        SlotObject profile = profiles.out(slot::kProfileItem, i);
        com::VARIANT v{};
        v.vt = com::VT_DISPATCH;
        v.pdispVal = static_cast<com::IDispatch*>(profile.get());
        ASSERT_EQ(group(slot::kPutProfile, v), com::S_OK) << takeErrorDescription();
        EXPECT_EQ(profileName(), all[size_t(i)]);
    }
}

TEST_F(GroupProfile, WhatIsNoProfileIsRefusedAndTheProfileStays) {
    const std::string before = profileName();
    SlotObject broadcast = encoder.out(slot::kBroadcast);
    struct Case {
        const char* name;
        uint16_t vt;
        void* object;
    };
    const Case cases[] = {
        {"empty", com::VT_EMPTY, nullptr},
        {"number", com::VT_I4, nullptr},
        {"text", com::VT_BSTR, nullptr},
        {"null object", com::VT_DISPATCH, nullptr},
        {"another object", com::VT_DISPATCH, broadcast.get()},
    };
    for (const Case& c : cases) {
        com::VARIANT v{};
        v.vt = c.vt;
        v.pdispVal = static_cast<com::IDispatch*>(c.object);
        EXPECT_EQ(group(slot::kPutProfile, v), com::E_INVALIDARG) << c.name;
        EXPECT_NE(takeErrorDescription(), "") << c.name;
        EXPECT_EQ(profileName(), before) << c.name;
    }
}

} // namespace
} // namespace kerris::encoder::testing
