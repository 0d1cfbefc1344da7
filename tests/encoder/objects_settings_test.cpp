// The settings file through the encoder's slots 8 and 9: what one encoder saves, another loads
// into the same sources, profile and outputs; a missing, damaged or foreign file changes
// nothing; a save that fails leaves the old file and nothing beside it.
#include "tests/encoder/objects_support.h"

#include "platform/encoder/encoder_interfaces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace kerris::encoder::testing {
namespace {

namespace fs = std::filesystem;

class Settings : public ComponentTest {
protected:
    static std::string contents(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().filename() != "registry" && e.path().filename() != "dev" &&
                e.path().filename() != "run")
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // What the encoder holds, as its own save writes it.
    std::string saved(const SlotObject& encoder) {
        const fs::path file = folder / "probe.wme";
        Text path = text(file.string());
        EXPECT_EQ(encoder(slot::kSave, path.get()), com::S_OK) << takeErrorDescription();
        std::string text = contents(file);
        fs::remove(file);
        return text;
    }
};

std::string groupName(const SlotObject& group) {
    com::BSTR name = nullptr;
    EXPECT_EQ(group(slot::kGroupName, &name), com::S_OK);
    return takeText(name);
}

std::string inputOf(const SlotObject& group, int32_t type, int32_t index) {
    SlotObject source = group.out(slot::kSource, type, index);
    if (!source)
        return "(none)";
    com::BSTR a = nullptr, b = nullptr, c = nullptr;
    EXPECT_EQ(source(slot::kGetInput, &a, &b, &c), com::S_OK);
    takeText(b), takeText(c);
    return takeText(a);
}

TEST_F(Settings, WhatOneEncoderSavesAnotherLoads) {
    SlotObject first = readyEncoder((folder / "VideoRec.wmv").string());
    ASSERT_TRUE(first);
    first.out(slot::kBroadcast)(slot::kPutPort, 1, 8080);
    const fs::path file = folder / "Murvane.wme";
    Text path = text(file.string());
    ASSERT_EQ(first(slot::kSave, path.get()), com::S_OK) << takeErrorDescription();
    EXPECT_EQ(files(), std::vector<std::string>{"Murvane.wme"});

    SlotObject second = create(CLSID_Encoder, IEncoder::kIid);
    ASSERT_EQ(second(slot::kLoad, path.get()), com::S_OK) << takeErrorDescription();
    SlotObject group = second.out(slot::kSourceGroupCollection).out(slot::kActiveGroup);
    ASSERT_TRUE(group);
    EXPECT_EQ(groupName(group), "Kerris Camera");
    EXPECT_EQ(inputOf(group, kSourceTypeVideo, 0), "device://Kerris Camera");
    EXPECT_EQ(inputOf(group, kSourceTypeAudio, 0), "device://Kerris Camera Microphone");
    SlotObject profile = group.out(slot::kProfile);
    com::BSTR name = nullptr;
    ASSERT_EQ(profile(slot::kProfileName, &name), com::S_OK);
    EXPECT_EQ(takeText(name), "Murvane");
    com::BSTR output = nullptr;
    ASSERT_EQ(second.out(slot::kFile)(slot::kGetFileName, &output), com::S_OK);
    EXPECT_EQ(takeText(output), (folder / "VideoRec.wmv").string());
    int32_t port = 0;
    ASSERT_EQ(second.out(slot::kBroadcast)(slot::kGetPort, 1, &port), com::S_OK);
    EXPECT_EQ(port, 8080);
    EXPECT_EQ(saved(second), contents(file)) << "nothing lost or added on the way";

    // The loaded encoder records as the saved one would have.
    second.out(slot::kFile)(slot::kPutFileName, text("").get());
    EXPECT_EQ(second(slot::kStart), com::S_OK) << takeErrorDescription();
    EXPECT_EQ(second(slot::kStop), com::S_OK);
}

TEST_F(Settings, AFileThatCannotBeLoadedChangesNothing) {
    SlotObject encoder = readyEncoder((folder / "VideoRec.wmv").string());
    ASSERT_TRUE(encoder);
    const std::string before = saved(encoder);
    ASSERT_FALSE(before.empty());

    const std::string good = before;
    struct Case {
        const char* name;
        std::string contents; // empty name: no file at all
    };
    const Case cases[] = {
        {"missing", ""},
        {"empty", "\n"},
        {"foreign", "[General]\nWindowState=0\n"},
        {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)},
        {"truncated", good.substr(0, good.size() - 12)},
        {"unknown profile",
         [&] {
             std::string t = good;
             t.replace(t.find("Profile=Murvane"), 15, "Profile=Gone Away");
             return t;
         }()},
        {"second group damaged", good.substr(0, good.rfind("[End]")) +
                                     "[Group]\nName=Extra\nProfile=Murvane\nVideo=x\n[End]\n"},
        {"text after the end", good + "[Group]\nName=Extra\nProfile=Murvane\n"},
    };
    for (const Case& c : cases) {
        const fs::path file = folder / "Murvane.wme";
        fs::remove(file);
        if (std::string(c.name) != "missing")
            std::ofstream(file, std::ios::binary) << c.contents;
        Text path = text(file.string());
        EXPECT_TRUE(com::failed(encoder(slot::kLoad, path.get()))) << c.name;
        const std::string description = takeErrorDescription();
        EXPECT_NE(description.find(file.string()), std::string::npos)
            << c.name << ": " << description;
        EXPECT_EQ(saved(encoder), before) << c.name << ": the encoder is as it was";
    }
    // A file this good loads over everything the encoder held.
    std::string other = good;
    other.replace(other.find("Profile=Murvane"), 15, "Profile=murvane");
    std::ofstream(folder / "other.wme", std::ios::binary) << other;
    EXPECT_EQ(encoder(slot::kLoad, text((folder / "other.wme").string()).get()), com::S_OK)
        << takeErrorDescription();
}

TEST_F(Settings, ASaveThatFailsLeavesTheOldFileAndNothingBesideIt) {
    SlotObject encoder = readyEncoder("");
    ASSERT_TRUE(encoder);
    fs::create_directories(folder / "Taken.wme");
    Text taken = text((folder / "Taken.wme").string());
    EXPECT_TRUE(com::failed(encoder(slot::kSave, taken.get())));
    std::string description = takeErrorDescription();
    EXPECT_NE(description.find("Taken.wme\" cannot be written"), std::string::npos) << description;
    EXPECT_EQ(files(), std::vector<std::string>{"Taken.wme"});

    Text nowhere = text((folder / "none" / "Murvane.wme").string());
    EXPECT_TRUE(com::failed(encoder(slot::kSave, nowhere.get())));
    EXPECT_NE(takeErrorDescription(), "");
    EXPECT_EQ(files(), std::vector<std::string>{"Taken.wme"});

    Text empty = text("");
    EXPECT_TRUE(com::failed(encoder(slot::kSave, empty.get())));
    EXPECT_NE(takeErrorDescription(), "");
    EXPECT_TRUE(com::failed(encoder(slot::kLoad, empty.get())));
    EXPECT_NE(takeErrorDescription(), "");
}

TEST_F(Settings, ARunningEncoderDoesNotLoadOtherSettings) {
    SlotObject encoder = readyEncoder("");
    ASSERT_TRUE(encoder);
    const fs::path file = folder / "Murvane.wme";
    Text path = text(file.string());
    ASSERT_EQ(encoder(slot::kSave, path.get()), com::S_OK);
    ASSERT_EQ(encoder(slot::kStart), com::S_OK) << takeErrorDescription();
    EXPECT_TRUE(com::failed(encoder(slot::kLoad, path.get())));
    EXPECT_NE(takeErrorDescription().find("stopped"), std::string::npos);
    EXPECT_EQ(encoder(slot::kSave, path.get()), com::S_OK) << "saving while running is fine";
    EXPECT_EQ(encoder(slot::kStop), com::S_OK);
    EXPECT_EQ(encoder(slot::kLoad, path.get()), com::S_OK) << takeErrorDescription();
}

} // namespace
} // namespace kerris::encoder::testing
