// Starts that cannot work fail with a description a user understands, leave the encoder
// stopped and leave no file behind: an incomplete source group, unknown devices, a device
// another encoder holds, an output that cannot be written.
#include "tests/encoder/objects_support.h"

#include "platform/encoder/encoder_interfaces.h"

#include <gtest/gtest.h>

#include <ostream>

#include <fstream>
#include <functional>

namespace kerris::encoder::testing {
namespace {

namespace fs = std::filesystem;

class StartFailures : public ComponentTest {};

int32_t runState(const SlotObject& encoder) {
    int32_t state = -1;
    EXPECT_EQ(encoder(slot::kRunState, &state), com::S_OK);
    return state;
}

// An encoder with one group holding what `video` and `audio` say: nullopt-like empty text for
// a source added without an input, "-" for no source of that kind at all.
SlotObject encoderWith(const std::string& video, const std::string& audio) {
    SlotObject encoder = create(CLSID_Encoder, IEncoder::kIid);
    SlotObject groups = encoder.out(slot::kSourceGroupCollection);
    Text name = text("Group");
    SlotObject group = groups.out(slot::kGroupAdd, name.get());
    Text empty = text("");
    for (auto [type, input] : {std::pair{kSourceTypeVideo, video}, {kSourceTypeAudio, audio}}) {
        if (input == "-")
            continue;
        SlotObject source = group.out(slot::kAddSource, type);
        Text given = text(input);
        if (!input.empty()) {
            EXPECT_EQ(source(slot::kSetInput, given.get(), empty.get(), empty.get()), com::S_OK);
        }
    }
    return encoder;
}

struct StartCase {
    const char* name;
    std::function<SlotObject(const fs::path& folder)> make;
    const char* expected; // a part of the description
};
// Cases print as their names, not as bytes.
void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.name;
}

const StartCase kStartCases[] = {
    {"NoSourceGroup", [](const fs::path&) { return create(CLSID_Encoder, IEncoder::kIid); },
     "source group"},
    {"NoVideoSource",
     [](const fs::path&) { return encoderWith("-", "device://Kerris Camera Microphone"); },
     "no video source"},
    {"NoAudioSource", [](const fs::path&) { return encoderWith("device://Kerris Camera", "-"); },
     "no audio source"},
    {"VideoInputNotSet",
     [](const fs::path&) { return encoderWith("", "device://Kerris Camera Microphone"); },
     "video device"},
    {"UnknownVideoDevice",
     [](const fs::path&) {
         return readyEncoder("", "Murvane", "device://No Such Camera",
                             "device://Kerris Camera Microphone");
     },
     "No Such Camera"},
    {"UnknownAudioDevice",
     [](const fs::path&) {
         return readyEncoder("", "Murvane", "device://Kerris Camera",
                             "device://No Such Microphone");
     },
     "No Such Microphone"},
    {"OutputFolderMissing",
     [](const fs::path& folder) {
         return readyEncoder((folder / "missing" / "VideoRec.wmv").string());
     },
     "VideoRec.wmv"},
    {"OutputFolderIsAFile",
     [](const fs::path& folder) {
         std::ofstream(folder / "plain") << "not a folder";
         return readyEncoder((folder / "plain" / "VideoRec.wmv").string());
     },
     "VideoRec.wmv"},
    {"OutputIsAFolder",
     [](const fs::path& folder) {
         fs::create_directories(folder / "VideoRec.wmv");
         return readyEncoder((folder / "VideoRec.wmv").string());
     },
     "VideoRec.wmv"},
};

class StartFailure : public ComponentTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartFailure, FailsWithADescriptionAndStaysStopped) {
    const StartCase& c = GetParam();
    SlotObject encoder = c.make(folder);
    ASSERT_TRUE(encoder);
    takeErrorDescription();
    const HRESULT hr = encoder(slot::kStart);
    EXPECT_TRUE(com::failed(hr));
    const std::string description = takeErrorDescription();
    EXPECT_NE(description.find(c.expected), std::string::npos) << description;
    EXPECT_EQ(runState(encoder), kRunStateStopped);
    EXPECT_FALSE(fs::is_regular_file(folder / "VideoRec.wmv")) << "no file left behind";
    EXPECT_FALSE(fs::exists(folder / "missing"));
    // The encoder is still usable: stopping it fails nothing.
    EXPECT_EQ(encoder(slot::kStop), com::S_OK);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartFailure, ::testing::ValuesIn(kStartCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(StartFailures, ADeviceTwoEncodersWantIsInUseForTheSecond) {
    SlotObject first = readyEncoder("");
    SlotObject second = readyEncoder((folder / "VideoRec.wmv").string());
    ASSERT_TRUE(first && second);
    ASSERT_EQ(first(slot::kStart), com::S_OK) << takeErrorDescription();
    EXPECT_TRUE(com::failed(second(slot::kStart)));
    const std::string description = takeErrorDescription();
    EXPECT_NE(description.find("\"Kerris Camera\" is in use"), std::string::npos) << description;
    EXPECT_EQ(runState(second), kRunStateStopped);
    EXPECT_EQ(runState(first), kRunStateRunning) << "the first keeps its device";
    EXPECT_FALSE(fs::exists(folder / "VideoRec.wmv"));

    // Once the first lets it go, the second gets it.
    ASSERT_EQ(first(slot::kStop), com::S_OK);
    EXPECT_EQ(second(slot::kStart), com::S_OK) << takeErrorDescription();
    EXPECT_EQ(second(slot::kStop), com::S_OK);
}

TEST_F(StartFailures, AnInputThatIsNoDeviceIsRefusedWhenSet) {
    SlotObject encoder = encoderWith("-", "-");
    SlotObject group = encoder.out(slot::kSourceGroupCollection).out(slot::kActiveGroup);
    SlotObject source = group.out(slot::kAddSource, kSourceTypeVideo);
    Text empty = text("");
    for (const char* input :
         {"file:///tmp/clip.wmv", "device:/Kerris Camera", "device://", "Kerris Camera"}) {
        Text given = text(input);
        EXPECT_TRUE(com::failed(source(slot::kSetInput, given.get(), empty.get(), empty.get())))
            << input;
        EXPECT_NE(takeErrorDescription(), "") << input;
        com::BSTR a = nullptr, b = nullptr, c = nullptr;
        ASSERT_EQ(source(slot::kGetInput, &a, &b, &c), com::S_OK);
        EXPECT_EQ(takeText(a), "") << "a refused input leaves the source as it was";
        takeText(b), takeText(c);
    }
}

} // namespace
} // namespace kerris::encoder::testing
