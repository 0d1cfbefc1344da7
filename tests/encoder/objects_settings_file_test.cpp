// The settings file on its own: what is written reads back the same, every kind of damage is
// refused with the line it is on, and a write that fails at any step leaves the old file and
// no temporary file.
#include "platform/encoder/settings_file.h"

#include <gtest/gtest.h>

#include <ostream>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kerris::encoder {
namespace {

namespace fs = std::filesystem;

EncoderSettings sample() {
    EncoderSettings s;
    s.groups.push_back({"Kerris Camera",
                        "Murvane",
                        {"device://Kerris Camera"},
                        {"device://Kerris Camera Microphone"}});
    s.groups.push_back({"Second", "Video for LAN (640 x 480, 30 fps)", {}, {""}});
    s.activeGroup = 1;
    s.outputFile = "/home/user/Murvane/VideoRec.wmv";
    s.ports = {{1, 8080}, {2, 65535}};
    return s;
}

TEST(SettingsFile, WhatIsWrittenReadsBackTheSame) {
    std::vector<EncoderSettings> cases;
    cases.push_back({});
    cases.push_back(sample());
    EncoderSettings odd = sample();
    // Texts that look like the format's own syntax, or hold what a line cannot.
    odd.groups[0].name = "[Group]";
    odd.groups[1].name = " Name=\\x41 \\\\ #";
    odd.groups[0].profileName = "Line\nbreak\r\tand\x7f\x01";
    odd.outputFile = "/tmp/Caf\xC3\xA9 \xE6\x98\xA0\xE5\x83\x8F/clip=1.wmv";
    odd.groups[0].videoInputs = {"device://A\\B", "", "device://=\n"};
    cases.push_back(odd);
    for (const EncoderSettings& s : cases) {
        const std::string text = formatSettings(s);
        EncoderSettings back;
        back.outputFile = "unchanged?";
        std::string reason;
        ASSERT_TRUE(parseSettings(text, back, reason)) << reason << "\n" << text;
        EXPECT_EQ(back, s) << text;
        // One value per line, whatever the values hold: no control character but the line ends.
        EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char c) {
            return (static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7f;
        })) << text;
    }
}

TEST(SettingsFile, CarriageReturnsCommentsAndBlankLinesAreRead) {
    const std::string text = "KerrisEncoderSettings 1\r\n# a comment\r\n\r\n[Encoder]\r\n"
                             "ActiveGroup=0\r\nOutputFile=\r\n[Group]\r\nName=G\r\n"
                             "Profile=Murvane\r\nVideo=device://V\r\n[End]";
    EncoderSettings s;
    std::string reason;
    ASSERT_TRUE(parseSettings(text, s, reason)) << reason;
    ASSERT_EQ(s.groups.size(), 1u);
    EXPECT_EQ(s.groups[0].name, "G");
    EXPECT_EQ(s.groups[0].videoInputs, std::vector<std::string>{"device://V"});
    EXPECT_EQ(s.activeGroup, 0);
}

struct Damage {
    const char* name;
    std::string text;
    const char* reason; // a part of the reason given
};
// Cases print as their names, not as bytes.
void PrintTo(const Damage& c, std::ostream* os) {
    *os << c.name;
}

const std::string kHead = "KerrisEncoderSettings 1\n[Encoder]\nActiveGroup=0\n";
const std::string kGroup = "[Group]\nName=G\nProfile=Murvane\n";
const std::string kEnd = "[End]\n";

const Damage kDamage[] = {
    {"Empty", "", "not an encoder settings file"},
    {"Foreign", "\x89PNG\r\n\x1a\n", "not an encoder settings file"},
    {"NulBytes", std::string("KerrisEncoderSettings 1\n[Encoder]\n\0\n", 36), "NUL"},
    {"ForeignText", "[Encoder]\nActiveGroup=0\n", "not an encoder settings file"},
    {"HeaderWithSpace", "KerrisEncoderSettings 1 \n[Encoder]\n", "another format version"},
    {"NewerVersion", "KerrisEncoderSettings 2\n[Encoder]\n", "another format version"},
    {"NoEncoderSection", "KerrisEncoderSettings 1\n" + kGroup + kEnd, "no [Encoder] section"},
    {"TwoEncoderSections", kHead + "[Encoder]\n" + kGroup, "line 4: a second [Encoder]"},
    {"UnknownSection", kHead + "[Colour]\n", "line 4: unknown section"},
    {"SettingBeforeSection", "KerrisEncoderSettings 1\nActiveGroup=0\n", "line 2: the setting"},
    {"NoEquals", kHead + kGroup + "Video\n", "line 7: a line that is neither"},
    {"UnknownSetting", kHead + "Colour=red\n" + kGroup, "line 4: unknown setting \"Colour\""},
    {"UnknownGroupSetting", kHead + kGroup + "Gain=3\n", "line 7: unknown setting \"Gain\""},
    {"TwiceInASection", kHead + "OutputFile=a\nOutputFile=b\n" + kGroup, "line 5: the setting"},
    {"ActiveGroupNotANumber", "KerrisEncoderSettings 1\n[Encoder]\nActiveGroup=one\n" + kGroup,
     "line 3: the active group"},
    {"ActiveGroupMissing", "KerrisEncoderSettings 1\n[Encoder]\nActiveGroup=1\n" + kGroup + kEnd,
     "the active group 1 does not exist"},
    {"ActiveGroupBelowNone", "KerrisEncoderSettings 1\n[Encoder]\nActiveGroup=-2\n", "line 3"},
    {"ActiveGroupPlus", "KerrisEncoderSettings 1\n[Encoder]\nActiveGroup=+0\n" + kGroup, "line 3"},
    {"PortZero", kHead + "Port=1 0\n" + kGroup, "line 4: the port"},
    {"PortTooLarge", kHead + "Port=1 65536\n" + kGroup, "line 4: the port"},
    {"PortWithoutProtocol", kHead + "Port=8080\n" + kGroup, "line 4: the port"},
    {"PortTwice", kHead + "Port=1 80\nPort=1 81\n" + kGroup, "line 5: a second port"},
    {"GroupWithoutName", kHead + "[Group]\nProfile=Murvane\n" + kEnd,
     "line 6: the source group before this line has no name"},
    {"GroupWithoutProfile", kHead + "[Group]\nName=G\n[Group]\nName=H\nProfile=P\n",
     "line 6: the source group \"G\" has no profile"},
    {"EmptyName", kHead + "[Group]\nName=\nProfile=P\n", "line 5: the source group's name"},
    {"SameGroupTwice", kHead + kGroup + "[Group]\nName=g\nProfile=Murvane\n" + kEnd,
     "line 10: two source groups are named \"g\""},
    {"NoEnd", kHead + kGroup, "cut short"},
    {"TextAfterEnd", kHead + kGroup + kEnd + "\nName=X\n", "line 9: text after the [End] line"},
    {"InputNotADevice", kHead + kGroup + "Audio=file:///x.wav\n", "line 7: the input"},
    {"BrokenEscape", kHead + kGroup + "Video=device://A\\q\n", "line 7: a backslash"},
    {"EscapeCutShort", kHead + kGroup + "Video=device://A\\x4\n", "line 7: a backslash"},
    {"EscapedNul", kHead + kGroup + "Video=device://A\\x00\n", "line 7: a value holds a NUL"},
    {"NotUtf8", kHead + kGroup + "Video=device://\xC3\x28\n", "line 7: a value is not UTF-8"},
    {"OverlongUtf8", kHead + kGroup + "Video=device://\xC0\xAF\n", "not UTF-8"},
    {"Surrogate", kHead + kGroup + "Video=device://\xED\xA0\x80\n", "not UTF-8"},
    {"TooManyVideoSources",
     [] {
         std::string t = kHead + kGroup;
         for (int i = 0; i < 17; ++i)
             t += "Video=device://V\n";
         return t;
     }(),
     "more than 16 video sources"},
    {"TooLarge", kHead + "# " + std::string(kMaxSettingsFileSize, 'x') + "\n", "larger"},
    {"CutInTheMiddle", (kHead + kGroup).substr(0, kHead.size() + 17), "line 6: a line"},
};

class SettingsDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(SettingsDamage, IsRefusedAndLeavesTheSettingsAlone) {
    EncoderSettings s = sample();
    std::string reason;
    EXPECT_FALSE(parseSettings(GetParam().text, s, reason));
    EXPECT_NE(reason.find(GetParam().reason), std::string::npos) << reason;
    EXPECT_EQ(s, sample());
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsDamage, ::testing::ValuesIn(kDamage),
                         [](const auto& test) { return std::string(test.param.name); });

class SettingsWrite : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("kerrisenc-settings-" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        path = (folder / "Murvane.wme").string();
    }
    void TearDown() override {
        setSettingsWriteFault({});
        fs::remove_all(folder);
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path folder;
    std::string path;
};

TEST_F(SettingsWrite, ReadsBackAndKeepsTheModeOfTheFileItReplaces) {
    std::string error;
    ASSERT_TRUE(writeSettingsFile(path, {}, error)) << error;
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(writeSettingsFile(path, sample(), error)) << error;
    EncoderSettings back;
    ASSERT_TRUE(readSettingsFile(path, back, error)) << error;
    EXPECT_EQ(back, sample());
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(files(), std::vector<std::string>{"Murvane.wme"});
}

TEST_F(SettingsWrite, AFailureAtAnyStepKeepsTheOldFileAndLeavesNoTemporary) {
    std::string error;
    ASSERT_TRUE(writeSettingsFile(path, {}, error));
    const std::string before = contents(path);
    for (SettingsWriteStep step : {SettingsWriteStep::CreateTemp, SettingsWriteStep::WriteTemp,
                                   SettingsWriteStep::SyncTemp, SettingsWriteStep::Rename}) {
        setSettingsWriteFault([step](SettingsWriteStep s) { return s == step; });
        error.clear();
        EXPECT_FALSE(writeSettingsFile(path, sample(), error)) << int(step);
        EXPECT_EQ(error, "The file \"" + path + "\" cannot be written: " + std::strerror(EIO));
        EXPECT_EQ(contents(path), before) << int(step);
        EXPECT_EQ(files(), std::vector<std::string>{"Murvane.wme"}) << int(step);
    }
}

TEST_F(SettingsWrite, APathThatIsAFolderOrInNoFolderFails) {
    fs::create_directories(folder / "taken");
    std::string error;
    EXPECT_FALSE(writeSettingsFile((folder / "taken").string(), sample(), error));
    EXPECT_NE(error.find("taken\" cannot be written: "), std::string::npos) << error;
    EXPECT_EQ(files(), std::vector<std::string>{"taken"}) << "no temporary file left";
    EXPECT_FALSE(writeSettingsFile((folder / "none" / "x.wme").string(), sample(), error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(writeSettingsFile("", sample(), error));
    EXPECT_FALSE(error.empty());
}

TEST_F(SettingsWrite, ReadingSaysWhyAFileCannotBeUsed) {
    EncoderSettings s = sample();
    std::string error;
    EXPECT_FALSE(readSettingsFile(path, s, error));
    EXPECT_EQ(error, "The settings file \"" + path + "\" cannot be read: there is no such file");
    EXPECT_FALSE(readSettingsFile(folder.string(), s, error));
    EXPECT_NE(error.find("it is a folder"), std::string::npos);
    std::ofstream(path) << "KerrisEncoderSettings 1\n[Encoder]\nActiveGroup=3\n[End]\n";
    EXPECT_FALSE(readSettingsFile(path, s, error));
    EXPECT_EQ(error.rfind("The settings file \"" + path + "\" is damaged: line 3", 0), 0u) << error;
    EXPECT_EQ(s, sample());
}

} // namespace
} // namespace kerris::encoder
