// The window settings: key name, the stop-at-first-failed-read rule, defaults and writing.
#include "browser/settings.h"
#include "tests/browser/test_support.h"

#include <gtest/gtest.h>

#include <functional>

namespace lumicart {
namespace {

using kerris::registry::Hive;
using kerris::registry::Key;

TEST(SettingsKeyName, ProgramNameWithoutExtension) {
    EXPECT_EQ(settingsKeyName("/opt/x/Viewer.exe"), "SOFTWARE\\VELTRANE\\Viewer");
    EXPECT_EQ(settingsKeyName("/usr/bin/Lumicart"), "SOFTWARE\\VELTRANE\\Lumicart");
    EXPECT_EQ(settingsKeyName("/a.b/Lumicart"), "SOFTWARE\\VELTRANE\\Lumicart");
    EXPECT_EQ(settingsKeyName("/a/viewer.tar.gz"), "SOFTWARE\\VELTRANE\\viewer.tar");
    EXPECT_EQ(programFolder("/opt/x/Viewer.exe"), "/opt/x/");
}

// Records the applied values in order.
class RecordingTarget : public SettingsTarget {
public:
    void applyCurrentFolder(const QString& folder) override { log << "folder=" + folder; }
    void applyWindowState(uint32_t state) override { log << QString("state=%1").arg(state); }
    void applyLeft(int32_t v) override { log << QString("left=%1").arg(v); }
    void applyTop(int32_t v) override { log << QString("top=%1").arg(v); }
    void applyHeight(int32_t v) override { log << QString("height=%1").arg(v); }
    void applyWidth(int32_t v) override { log << QString("width=%1").arg(v); }
    void applyPanel1Width(int32_t v) override { log << QString("panel=%1").arg(v); }
    void applyTreeView1Height(int32_t v) override { log << QString("tree=%1").arg(v); }
    QStringList log;
};

struct ReadCase {
    const char* name;
    std::function<void(Key&)> fill;
    bool complete;
    QStringList expected;
};

void writeAll(Key& key, uint32_t state) {
    key.writeString("RunDefaultPath", "/pics/");
    key.writeDword("WindowState", state);
    key.writeDword("Left", 10);
    key.writeDword("Top", 20);
    key.writeDword("Height", 300);
    key.writeDword("Width", 400);
    key.writeDword("Panel1Width", 150);
    key.writeDword("TreeView1Height", 100);
}

const QStringList kDefaults{"folder=/prog/", "state=0", "panel=201", "tree=264"};

class ReadSettingsTest : public ::testing::TestWithParam<ReadCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        qputenv("KERRIS_REGISTRY_DIR", m_dir.path().toLocal8Bit());
    }
    QTemporaryDir m_dir;
};

TEST_P(ReadSettingsTest, AppliesInOrderAndStopsAtTheFirstFailure) {
    std::optional<Key> key = Key::create(Hive::CurrentUser, "SOFTWARE\\VELTRANE\\Test");
    ASSERT_TRUE(key);
    GetParam().fill(*key);
    RecordingTarget target;
    EXPECT_EQ(readSettings(*key, "/prog/", target), GetParam().complete);
    EXPECT_EQ(target.log, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ReadSettingsTest,
    ::testing::Values(
        ReadCase{"Normal",
                 [](Key& k) { writeAll(k, 0); },
                 true,
                 {"folder=/pics/", "state=0", "left=10", "top=20", "height=300", "width=400",
                  "panel=150", "tree=100"}},
        ReadCase{"Maximised",
                 [](Key& k) { writeAll(k, 2); },
                 true,
                 {"folder=/pics/", "state=2", "panel=150", "tree=100"}},
        ReadCase{"Minimised",
                 [](Key& k) { writeAll(k, 1); },
                 true,
                 {"folder=/pics/", "state=1", "panel=150", "tree=100"}},
        // Any other number keeps the form's state and reads no bounds.
        ReadCase{"StateSeven",
                 [](Key& k) { writeAll(k, 7); },
                 true,
                 {"folder=/pics/", "panel=150", "tree=100"}},
        ReadCase{"StateMinusOne",
                 [](Key& k) { writeAll(k, 0xFFFFFFFF); },
                 true,
                 {"folder=/pics/", "panel=150", "tree=100"}},
        // "Left" stored as a string: reading stops; the folder read before is replaced.
        ReadCase{"LeftAsString",
                 [](Key& k) {
                     writeAll(k, 0);
                     k.writeString("Left", "10");
                 },
                 false, QStringList{"folder=/pics/", "state=0"} + kDefaults},
        // Bounds applied before the failure stay applied.
        ReadCase{"WidthMissing",
                 [](Key& k) {
                     writeAll(k, 0);
                     k.removeValue("Width");
                 },
                 false,
                 QStringList{"folder=/pics/", "state=0", "left=10", "top=20", "height=300"} +
                     kDefaults},
        ReadCase{"TreeMissing",
                 [](Key& k) {
                     writeAll(k, 2);
                     k.removeValue("TreeView1Height");
                 },
                 false, QStringList{"folder=/pics/", "state=2", "panel=150"} + kDefaults},
        ReadCase{"StateMissing", [](Key& k) { k.writeString("RunDefaultPath", "/pics/"); }, false,
                 QStringList{"folder=/pics/"} + kDefaults},
        // A missing or empty path is the program's folder, and reading goes on.
        ReadCase{"PathMissing",
                 [](Key& k) {
                     writeAll(k, 2);
                     k.removeValue("RunDefaultPath");
                 },
                 true,
                 {"folder=/prog/", "state=2", "panel=150", "tree=100"}},
        ReadCase{"PathEmpty",
                 [](Key& k) {
                     writeAll(k, 2);
                     k.writeString("RunDefaultPath", "");
                 },
                 true,
                 {"folder=/prog/", "state=2", "panel=150", "tree=100"}},
        // A path stored as a number is a failed read.
        ReadCase{"PathAsNumber",
                 [](Key& k) {
                     writeAll(k, 2);
                     k.writeDword("RunDefaultPath", 5);
                 },
                 false, kDefaults},
        ReadCase{"PanelAsBinary",
                 [](Key& k) {
                     writeAll(k, 2);
                     k.writeBinary("Panel1Width", "\1\0\0\0", 4);
                 },
                 false, QStringList{"folder=/pics/", "state=2"} + kDefaults},
        ReadCase{"EmptyKey", [](Key&) {}, false, QStringList{"folder=/prog/"} + kDefaults}),
    [](const ::testing::TestParamInfo<ReadCase>& c) { return c.param.name; });

TEST(WriteSettings, WritesEveryValueWithItsType) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("KERRIS_REGISTRY_DIR", dir.path().toLocal8Bit());
    std::optional<Key> key = Key::create(Hive::CurrentUser, "SOFTWARE\\VELTRANE\\Test");
    ASSERT_TRUE(key);
    WindowLayout layout;
    layout.currentFolder = "/home/ann/Ürlaub/";
    layout.left = -8;
    layout.top = -8;
    layout.height = 808;
    layout.width = 1296;
    layout.treeView1Height = 500;
    layout.panel1Width = 201;
    layout.windowState = kStateMaximised;
    EXPECT_TRUE(writeSettings(*key, layout));

    std::optional<Key> reread = Key::open(Hive::CurrentUser, "SOFTWARE\\VELTRANE\\Test");
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->readString("RunDefaultPath"), std::string("/home/ann/Ürlaub/"));
    EXPECT_EQ(reread->readDword("Left"), 0xFFFFFFF8u);
    EXPECT_EQ(reread->readDword("Top"), 0xFFFFFFF8u);
    EXPECT_EQ(reread->readDword("Height"), 808u);
    EXPECT_EQ(reread->readDword("Width"), 1296u);
    EXPECT_EQ(reread->readDword("TreeView1Height"), 500u);
    EXPECT_EQ(reread->readDword("Panel1Width"), 201u);
    EXPECT_EQ(reread->readDword("WindowState"), 2u);

    // What was written reads back as the same layout (negative positions included).
    RecordingTarget target;
    EXPECT_TRUE(readSettings(*reread, "/prog/", target));
    EXPECT_EQ(target.log,
              (QStringList{"folder=/home/ann/Ürlaub/", "state=2", "panel=201", "tree=500"}));
}

} // namespace
} // namespace lumicart
