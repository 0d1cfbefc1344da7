// The capture hardware check against the fake device enumerator and encoder.
#include "clipmail/capture_hardware.h"

#include "clipmail/com_calls.h"
#include "tests/clipmail/app_support.h"
#include "tests/clipmail/encoder_fake.h"

#include <gtest/gtest.h>

namespace kerris::clipmail {
namespace {

using test::FakeEncoder;

class CaptureHardwareTest : public test::FakeEncoderTest {
protected:
    bool check() {
        return CheckCaptureHardware(encoderObject.get(),
                                    [this](const std::string& text) { shown.push_back(text); });
    }
    // The names of the profiles the check read, in order (up to the selection, after which
    // the group itself may read the profile).
    std::vector<std::string> namesRead() const {
        std::vector<std::string> names;
        for (const test::EncoderCall& c : fake.calls()) {
            if (c.object == "group" && c.slot == 14)
                break;
            if (c.object == "profile" && c.slot == 7)
                names.push_back(c.args.at(0));
        }
        return names;
    }
    std::vector<std::string> shown;
};

TEST_F(CaptureHardwareTest, AMissingKindShowsItsMessageAndFails) {
    struct Case {
        std::vector<std::string> video;
        std::vector<std::string> audio;
        const char* message;
    };
    const Case cases[] = {
        {{},
         {},
         "Sorry, you have no Video/Audio capture hardware\n this program will to terminate "},
        {{"Cam"},
         {},
         "Sorry, you have no Audio capture hardware\n this program will to terminate "},
        {{},
         {"Mic"},
         "Sorry, you have no Video capture hardware\n this program will to terminate "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        fake.setDevices(c.video, c.audio);
        fake.clearLog();
        shown.clear();
        EXPECT_FALSE(check());
        EXPECT_EQ(shown, std::vector<std::string>{c.message});
        EXPECT_TRUE(fake.callsOf("encoder", 26).empty());
    }
}

TEST_F(CaptureHardwareTest, TheFirstDeviceOfEachKindMakesTheSourceGroup) {
    fake.setDevices({"Kerris Camera", "USB Camera"}, {"Kerris Camera Microphone", "Line In"});
    fake.setProfiles({"Video for broadband", "Murvane", "Murvane"});
    EXPECT_TRUE(check());
    EXPECT_TRUE(shown.empty());
    const auto groups = fake.callsOf("groups", 11);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].args.at(0), "Kerris Camera");
    std::vector<std::string> types;
    for (const auto& c : fake.callsOf("group", 11))
        types.push_back(c.args.at(0));
    EXPECT_EQ(types, (std::vector<std::string>{"2", "1"}));
    const auto inputs = fake.callsOf("source", 8);
    ASSERT_EQ(inputs.size(), 2u);
    // The source's type, then input, scheme and initialisation.
    EXPECT_EQ(inputs[0].args,
              (std::vector<std::string>{inputs[0].args.at(0), "device://Kerris Camera", "", ""}));
    EXPECT_EQ(inputs[1].args,
              (std::vector<std::string>{inputs[1].args.at(0), "device://Kerris Camera Microphone",
                                        "", ""}));
    EXPECT_NE(inputs[0].args.at(0), inputs[1].args.at(0));
    // The first "Murvane" is selected, as a dispatch VARIANT, and the search ends there.
    EXPECT_EQ(namesRead(), (std::vector<std::string>{"Video for broadband", "Murvane"}));
    const auto selected = fake.callsOf("group", 14);
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0].args.at(0), "vt 9");
}

TEST_F(CaptureHardwareTest, TheProfileNameMatchesInAnyLetterCase) {
    fake.setDevices({"Cam"}, {"Mic"});
    fake.setProfiles({"Murvane HD", "MURVANE"});
    EXPECT_TRUE(check());
    EXPECT_EQ(namesRead(), (std::vector<std::string>{"Murvane HD", "MURVANE"}));
    EXPECT_EQ(fake.callsOf("group", 14).size(), 1u);

    fake.setProfiles({"Murvane HD", "Murvan", "", "murvanE"});
    fake.clearLog();
    EXPECT_TRUE(check());
    EXPECT_EQ(namesRead().size(), 4u);
    EXPECT_EQ(fake.callsOf("group", 14).size(), 1u);

    fake.setProfiles({"Murvane HD", "Murvan", ""});
    fake.clearLog();
    EXPECT_TRUE(check());
    EXPECT_TRUE(fake.callsOf("group", 14).empty()); // the group keeps the default profile
    EXPECT_EQ(fake.callsOf("profiles", 12).size(), 3u);
}

TEST_F(CaptureHardwareTest, FailuresWhileBuildingTheGroupAreSilent) {
    fake.setDevices({"Cam"}, {"Mic"});
    fake.setProfiles({"Murvane"});
    struct Case {
        const char* object;
        int slot;
        size_t inputs; // SetInput calls made
        size_t selects;
    };
    const Case cases[] = {
        {"encoder", 26, 0, 0},  {"groups", 11, 0, 0},  {"group", 11, 0, 0},
        {"source", 8, 1, 0},    {"encoder", 34, 2, 0}, {"profiles", 8, 2, 0},
        {"profiles", 12, 2, 0}, {"profile", 7, 2, 0},  {"group", 14, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.object) + "." + std::to_string(c.slot));
        fake.reset();
        fake.setDevices({"Cam"}, {"Mic"});
        fake.setProfiles({"Murvane"});
        fake.fail(c.object, c.slot, "it failed");
        shown.clear();
        EXPECT_TRUE(check());
        EXPECT_TRUE(shown.empty());
        EXPECT_EQ(fake.callsOf("source", 8).size(), c.inputs);
        EXPECT_EQ(fake.callsOf("group", 14).size(), c.selects);
        // Nothing of it is left for a later error report.
        EXPECT_EQ(takeErrorDescription(), std::nullopt);
    }
}

TEST_F(CaptureHardwareTest, DevicesAreListedInTheEnumeratorsOrder) {
    fake.setDevices({"A", "B", "C"}, {"M1"});
    std::vector<std::string> video{"stale"};
    std::vector<std::string> audio{"stale", "too"};
    EnumerateCaptureDevices(video, audio);
    EXPECT_EQ(video, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(audio, std::vector<std::string>{"M1"});
    // Without the enumerator both lists are empty.
    fake.unregister(encoder::CLSID_SystemDeviceEnum);
    EnumerateCaptureDevices(video, audio);
    EXPECT_TRUE(video.empty());
    EXPECT_TRUE(audio.empty());
}

TEST_F(CaptureHardwareTest, AMonikerWithoutItsBagOrNameIsSkipped) {
    fake.setDevices({"A", "B"}, {"M1", "M2"});
    fake.failOnce("moniker", 9, 1, "");
    fake.failOnce("bag", 3, 2, "");
    std::vector<std::string> video;
    std::vector<std::string> audio;
    EnumerateCaptureDevices(video, audio);
    EXPECT_EQ(video, std::vector<std::string>{"B"});
    EXPECT_EQ(audio, std::vector<std::string>{"M2"});
}

} // namespace
} // namespace kerris::clipmail
