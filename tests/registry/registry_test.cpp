// The Key interface: typed values through the hive file, names, paths, removal and misuse.
#include "tests/registry/registry_fixture.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kerris::registry;

namespace {

std::vector<uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

std::vector<uint8_t> counting(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(255 - i);
    return v;
}

using RegistryKey = RegistryFolder;

TEST_F(RegistryKey, EveryValueTypeRoundTripsThroughTheFile) {
    struct Case {
        const char* name;
        Value value;
    };
    const Case cases[] = {
        {"EmptyText", {kTypeString, {}}},
        {"Escapes", {kTypeString, bytes("C:\\dir\\ \"quoted\" \\\\ end\\")}},
        {"Utf8", {kTypeString, bytes("Grüße 日本")}},
        {"Lines", {kTypeString, bytes("one\ntwo\r\nthree")}},
        {"", {kTypeString, bytes("the default value")}},
        {"Binary0", {kTypeBinary, {}}},
        {"Binary1", {kTypeBinary, {0}}},
        {"Binary100", {kTypeBinary, counting(100)}},
        {"DwordZero", {kTypeDword, {0, 0, 0, 0}}},
        {"DwordMax", {kTypeDword, {0xff, 0xff, 0xff, 0xff}}},
        {"Expand", {kTypeExpandString, bytes(std::string_view("%HOME%\0", 7))}},
        {"Multi", {kTypeMultiString, bytes(std::string_view("a\0b\0\0", 5))}},
        {"ShortDword", {kTypeDword, {1, 2}}},
        {"Odd type", {0x1234, {9, 8, 7}}},
        {"Name \"with\" \\ quotes", {kTypeDword, {1, 0, 0, 0}}},
    };
    auto key = Key::create(Hive::CurrentUser, "Software\\Veltrane\\Lumicart");
    ASSERT_TRUE(key);
    for (const auto& c : cases)
        ASSERT_TRUE(key->write(c.name, c.value)) << c.name;

    detail::clearHiveCache(); // read what the file holds, not what this process remembers
    auto again = Key::open(Hive::CurrentUser, "Software\\Veltrane\\Lumicart");
    ASSERT_TRUE(again);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto v = again->read(c.name);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->type, c.value.type);
        EXPECT_EQ(v->data, c.value.data);
    }
    EXPECT_EQ(again->valueNames().size(), std::size(cases));
}

TEST_F(RegistryKey, TypedWritesReadBackTyped) {
    auto key = Key::create(Hive::LocalMachine, "SOFTWARE\\Brantor\\OVIK_SDK\\SA");
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->writeString("Text", "a\\b\"c"));
    ASSERT_TRUE(key->writeString("", ""));
    ASSERT_TRUE(key->writeDword("Zero", 0));
    ASSERT_TRUE(key->writeDword("Max", 0xFFFFFFFFu));
    ASSERT_TRUE(key->writeDword("M11", 0x80002710u));
    const uint8_t blob[] = {0, 1, 2, 0xff};
    ASSERT_TRUE(key->writeBinary("Blob", blob, sizeof blob));
    ASSERT_TRUE(key->writeBinary("NoBytes", nullptr, 0));
    detail::clearHiveCache();

    EXPECT_EQ(key->readString("Text"), "a\\b\"c");
    EXPECT_EQ(key->readString(""), "");
    EXPECT_EQ(key->readDword("Zero"), 0u);
    EXPECT_EQ(key->readDword("Max"), 0xFFFFFFFFu);
    EXPECT_EQ(key->readDword("M11"), 0x80002710u);
    EXPECT_EQ(key->readBinary("Blob"), std::vector<uint8_t>(blob, blob + 4));
    EXPECT_EQ(key->readBinary("NoBytes"), std::vector<uint8_t>{});
    EXPECT_NE(readFile(m_dir / "system.reg").find("\"M11\"=dword:80002710"), std::string::npos);
}

TEST_F(RegistryKey, AReadOfAnotherTypeFails) {
    auto key = Key::create(Hive::CurrentUser, "Types");
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->writeString("s", "1234"));
    ASSERT_TRUE(key->writeDword("d", 1));
    const uint8_t four[] = {1, 0, 0, 0};
    ASSERT_TRUE(key->writeBinary("b", four, 4));
    ASSERT_TRUE(key->write("e", Value{kTypeExpandString, bytes("x")}));
    ASSERT_TRUE(key->write("short", Value{kTypeDword, {1, 0, 0}}));
    ASSERT_TRUE(key->write("long", Value{kTypeDword, {1, 0, 0, 0, 0}}));

    EXPECT_FALSE(key->readDword("s"));
    EXPECT_FALSE(key->readBinary("s"));
    EXPECT_FALSE(key->readString("d"));
    EXPECT_FALSE(key->readBinary("d"));
    EXPECT_FALSE(key->readString("b"));
    EXPECT_FALSE(key->readDword("b"));
    EXPECT_FALSE(key->readString("e"));
    EXPECT_FALSE(key->readDword("short"));
    EXPECT_FALSE(key->readDword("long"));
    // read() gives any type as it is stored.
    EXPECT_EQ(key->read("short")->data.size(), 3u);
    EXPECT_EQ(key->read("b")->type, kTypeBinary);
}

TEST_F(RegistryKey, TextWithATerminatorReadsWithoutIt) {
    writeFile(userFile(), "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"t\"=hex(1):61,62,00\n");
    auto key = Key::open(Hive::CurrentUser, "A");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->readString("t"), "ab");
    EXPECT_EQ(key->read("t")->data.size(), 3u);
}

TEST_F(RegistryKey, MissingKeysAndValuesFail) {
    EXPECT_FALSE(Key::open(Hive::CurrentUser, "Software\\Nothing"));
    EXPECT_FALSE(std::filesystem::exists(m_dir)) << "a read must not create the folder";
    auto key = Key::create(Hive::CurrentUser, "Software\\Veltrane");
    ASSERT_TRUE(key);
    EXPECT_FALSE(Key::open(Hive::CurrentUser, "Software\\Veltrane\\Lumicart"));
    EXPECT_FALSE(Key::open(Hive::LocalMachine, "Software\\Veltrane"));
    EXPECT_FALSE(key->readString("absent"));
    EXPECT_FALSE(key->readDword("absent"));
    EXPECT_FALSE(key->readBinary("absent"));
    EXPECT_FALSE(key->read(""));
    EXPECT_FALSE(key->removeValue("absent"));
}

TEST_F(RegistryKey, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
    auto key = Key::create(Hive::CurrentUser, "Software\\VELTRANE\\Lumicart");
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->writeString("RunDefaultPath", "/home/"));
    auto other = Key::open(Hive::CurrentUser, "software\\veltrane\\LUMICART");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->readString("rundefaultpath"), "/home/");
    ASSERT_TRUE(other->writeString("RUNDEFAULTPATH", "/tmp/"));
    EXPECT_EQ(key->readString("RunDefaultPath"), "/tmp/");
    EXPECT_EQ(key->valueNames(), std::vector<std::string>{"RunDefaultPath"});
    auto parent = Key::open(Hive::CurrentUser, "SOFTWARE");
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent->subKeyNames(), std::vector<std::string>{"VELTRANE"});
    EXPECT_TRUE(parent->hasSubKey("veltrane\\lumicart"));
    EXPECT_FALSE(parent->hasSubKey("veltrane\\murvane"));
    EXPECT_FALSE(parent->hasSubKey(""));
}

TEST_F(RegistryKey, CreateTellsWhetherTheKeyIsNew) {
    bool created = false;
    ASSERT_TRUE(Key::create(Hive::ClassesRoot, ".wmv", &created));
    EXPECT_TRUE(created);
    ASSERT_TRUE(Key::create(Hive::ClassesRoot, ".WMV", &created));
    EXPECT_FALSE(created);
    ASSERT_TRUE(Key::create(Hive::ClassesRoot, ".wmv\\Sub", &created));
    EXPECT_TRUE(created);
    // An empty key is kept in the file.
    detail::clearHiveCache();
    EXPECT_TRUE(Key::open(Hive::ClassesRoot, ".wmv\\sub"));
    EXPECT_NE(readFile(m_dir / "classes.reg").find("[HKEY_CLASSES_ROOT\\.wmv\\Sub]"),
              std::string::npos);
}

TEST_F(RegistryKey, PathsIgnoreEmptyPartsAndTheRootIsAKey) {
    auto key = Key::create(Hive::LocalMachine, "\\Software\\Veltrane\\\\Murvane\\");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->path(), "Software\\Veltrane\\Murvane");
    ASSERT_TRUE(key->writeString("DestinationPath", "/videos/"));
    EXPECT_EQ(Key::open(Hive::LocalMachine, "Software\\Veltrane\\Murvane\\")
                  ->readString("DestinationPath"),
              "/videos/");

    auto root = Key::open(Hive::LocalMachine, "");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->subKeyNames(), std::vector<std::string>{"Software"});
    ASSERT_TRUE(root->writeDword("AtRoot", 7));
    detail::clearHiveCache();
    EXPECT_EQ(Key::open(Hive::LocalMachine, "\\")->readDword("atroot"), 7u);
    EXPECT_FALSE(Key::remove(Hive::LocalMachine, ""));
    EXPECT_FALSE(Key::remove(Hive::LocalMachine, "\\\\"));
}

TEST_F(RegistryKey, RefusesPathsNoHiveFileCanHold) {
    std::string deep;
    for (size_t i = 0; i <= detail::kMaxKeyDepth; ++i)
        deep += "k\\";
    const std::string bad[] = {"A\nB", "A\rB", std::string("A\0B", 3), deep};
    for (const auto& path : bad) {
        bool created = true;
        EXPECT_FALSE(Key::create(Hive::CurrentUser, path, &created));
        EXPECT_TRUE(created) << "left alone on failure";
        EXPECT_FALSE(Key::open(Hive::CurrentUser, path));
        EXPECT_FALSE(Key::remove(Hive::CurrentUser, path));
    }
    EXPECT_FALSE(std::filesystem::exists(userFile()));
    // The deepest allowed path works.
    deep.resize(deep.size() - 2);
    EXPECT_TRUE(Key::create(Hive::CurrentUser, deep));
    detail::clearHiveCache();
    EXPECT_TRUE(Key::open(Hive::CurrentUser, deep));
}

TEST_F(RegistryKey, RemoveTakesTheSubtree) {
    auto a = Key::create(Hive::CurrentUser, "A\\B\\C");
    ASSERT_TRUE(a);
    ASSERT_TRUE(a->writeDword("v", 1));
    ASSERT_TRUE(Key::create(Hive::CurrentUser, "A\\D"));
    ASSERT_TRUE(Key::create(Hive::CurrentUser, "A\\b2"));

    EXPECT_EQ(Key::open(Hive::CurrentUser, "A")->subKeyNames(),
              (std::vector<std::string>{"B", "b2", "D"}));
    EXPECT_TRUE(Key::remove(Hive::CurrentUser, "a\\b"));
    EXPECT_FALSE(Key::remove(Hive::CurrentUser, "A\\B"));
    EXPECT_FALSE(Key::remove(Hive::CurrentUser, "A\\Nothing\\Deeper"));
    EXPECT_FALSE(Key::open(Hive::CurrentUser, "A\\B\\C"));
    EXPECT_EQ(Key::open(Hive::CurrentUser, "A")->subKeyNames(),
              (std::vector<std::string>{"b2", "D"}));

    // An open key whose key went away reads nothing, and a write makes it again.
    EXPECT_FALSE(a->readDword("v"));
    EXPECT_TRUE(a->valueNames().empty());
    ASSERT_TRUE(a->writeDword("w", 2));
    EXPECT_EQ(a->readDword("w"), 2u);
    EXPECT_FALSE(a->readDword("v"));
}

TEST_F(RegistryKey, ValueNamesAndRemoveValue) {
    auto key = Key::create(Hive::CurrentUser, "Names");
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->valueNames().empty());
    EXPECT_TRUE(key->subKeyNames().empty());
    for (const char* n : {"zeta", "Alpha", "", "beta"})
        ASSERT_TRUE(key->writeDword(n, 1));
    EXPECT_EQ(key->valueNames(), (std::vector<std::string>{"", "Alpha", "beta", "zeta"}));
    EXPECT_TRUE(key->removeValue("ALPHA"));
    EXPECT_FALSE(key->removeValue("alpha"));
    EXPECT_TRUE(key->removeValue(""));
    EXPECT_EQ(key->valueNames(), (std::vector<std::string>{"beta", "zeta"}));
}

TEST_F(RegistryKey, AClosedOrMovedFromKeyDoesNothing) {
    auto key = Key::create(Hive::CurrentUser, "Closed");
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->writeDword("v", 1));
    Key moved = std::move(*key);
    EXPECT_TRUE(moved.isOpen());
    EXPECT_FALSE(key->isOpen());
    EXPECT_FALSE(key->readDword("v"));
    EXPECT_FALSE(key->writeDword("v", 2));

    moved.close();
    EXPECT_FALSE(moved.isOpen());
    EXPECT_FALSE(moved.read("v"));
    EXPECT_FALSE(moved.readDword("v"));
    EXPECT_FALSE(moved.writeDword("v", 2));
    EXPECT_FALSE(moved.writeString("s", "x"));
    EXPECT_FALSE(moved.removeValue("v"));
    EXPECT_TRUE(moved.valueNames().empty());
    EXPECT_TRUE(moved.subKeyNames().empty());
    EXPECT_FALSE(moved.hasSubKey("x"));
    EXPECT_EQ(Key::open(Hive::CurrentUser, "Closed")->readDword("v"), 1u);

    Key assigned = std::move(*Key::open(Hive::CurrentUser, "Closed"));
    Key& self = assigned;
    assigned = std::move(self); // self-move leaves it usable
    EXPECT_EQ(assigned.readDword("v"), 1u);
    ASSERT_TRUE(Key::create(Hive::LocalMachine, "Other")->writeDword("v", 2));
    assigned = std::move(*Key::open(Hive::LocalMachine, "Other"));
    EXPECT_EQ(assigned.hive(), Hive::LocalMachine);
    EXPECT_EQ(assigned.path(), "Other");
    EXPECT_EQ(assigned.readDword("v"), 2u);
    assigned = std::move(moved); // a closed key stays closed when moved
    EXPECT_FALSE(assigned.isOpen());
    EXPECT_FALSE(assigned.readDword("v"));
}

TEST_F(RegistryKey, WriteBinaryRefusesANullBuffer) {
    auto key = Key::create(Hive::CurrentUser, "B");
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->writeBinary("b", nullptr, 5));
    EXPECT_FALSE(key->read("b"));
}

TEST_F(RegistryKey, EachHiveHasItsOwnFileAndRoot) {
    const std::pair<Hive, std::pair<const char*, const char*>> hives[] = {
        {Hive::CurrentUser, {"user.reg", "[HKEY_CURRENT_USER\\Same]"}},
        {Hive::LocalMachine, {"system.reg", "[HKEY_LOCAL_MACHINE\\Same]"}},
        {Hive::ClassesRoot, {"classes.reg", "[HKEY_CLASSES_ROOT\\Same]"}},
    };
    uint32_t n = 0;
    for (const auto& [hive, file] : hives)
        ASSERT_TRUE(Key::create(hive, "Same")->writeDword("n", ++n));
    n = 0;
    for (const auto& [hive, file] : hives) {
        EXPECT_EQ(hiveFile(hive), m_dir / file.first);
        std::string text = readFile(m_dir / file.first);
        EXPECT_TRUE(text.starts_with("REGEDIT4\n\n"));
        EXPECT_NE(text.find(file.second), std::string::npos) << text;
        EXPECT_EQ(Key::open(hive, "Same")->readDword("n"), ++n);
    }
}

TEST_F(RegistryKey, AnUnchangedWriteLeavesTheFileAlone) {
    auto key = Key::create(Hive::CurrentUser, "Same");
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->writeString("v", "x"));
    struct stat before, after;
    ASSERT_EQ(stat(userFile().c_str(), &before), 0);
    ASSERT_TRUE(key->writeString("V", "x"));
    ASSERT_EQ(stat(userFile().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    // Same bytes but another type is a change.
    ASSERT_TRUE(key->write("v", Value{kTypeBinary, bytes("x")}));
    ASSERT_EQ(stat(userFile().c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(key->readBinary("v"), bytes("x"));
}

TEST_F(RegistryKey, TheFolderFollowsTheEnvironment) {
    struct Case {
        const char* registryDir;
        const char* xdg;
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {"/r", "/x", "/h", "/r"},
        {"", "/x", "/h", "/x/kerris"},
        {nullptr, "/x", "/h", "/x/kerris"},
        {nullptr, "relative", "/h", "/h/.config/kerris"},
        {nullptr, "", "/h", "/h/.config/kerris"},
        {nullptr, nullptr, "/h", "/h/.config/kerris"},
        {nullptr, nullptr, nullptr, std::string(getpwuid(getuid())->pw_dir) + "/.config/kerris"},
    };
    auto set = [](const char* name, const char* value) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    };
    const char* savedXdg = getenv("XDG_CONFIG_HOME");
    const char* savedHome = getenv("HOME");
    std::string xdgCopy = savedXdg ? savedXdg : "", homeCopy = savedHome ? savedHome : "";
    for (const auto& c : cases) {
        set("KERRIS_REGISTRY_DIR", c.registryDir);
        set("XDG_CONFIG_HOME", c.xdg);
        set("HOME", c.home);
        EXPECT_EQ(hiveDirectory(), c.expected);
    }
    set("XDG_CONFIG_HOME", savedXdg ? xdgCopy.c_str() : nullptr);
    set("HOME", savedHome ? homeCopy.c_str() : nullptr);
    setenv("KERRIS_REGISTRY_DIR", m_dir.c_str(), 1);
}

TEST_F(RegistryKey, AWriteCreatesTheFolderWithItsParents) {
    setenv("KERRIS_REGISTRY_DIR", (m_dir / "deeper" / "still").c_str(), 1);
    ASSERT_TRUE(Key::create(Hive::CurrentUser, "X")->writeDword("v", 1));
    EXPECT_TRUE(std::filesystem::exists(m_dir / "deeper" / "still" / "user.reg"));
    setenv("KERRIS_REGISTRY_DIR", m_dir.c_str(), 1);
}

} // namespace
