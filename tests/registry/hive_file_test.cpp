// Parsing and formatting of hive text: files as regedit and Wine write them, damaged text,
// the layout we write, and the round trip of any tree.
#include "platform/registry/hive_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <sstream>

using namespace kerris::registry::detail;

namespace {

constexpr std::string_view kUser = "HKEY_CURRENT_USER";

std::vector<uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

const HiveKey* keyAt(const HiveTree& tree, std::initializer_list<std::string_view> path) {
    const HiveKey* key = &tree.root;
    for (auto p : path) {
        key = key ? key->findSubKey(p) : nullptr;
    }
    return key;
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
    for (size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size())
        s.replace(pos, from.size(), to);
    return s;
}

// UTF-16LE with its byte order mark, as regedit exports version 5 files.
std::string toUtf16le(std::string_view utf8) {
    std::string out = "\xFF\xFE";
    for (size_t i = 0; i < utf8.size();) {
        auto c = static_cast<uint8_t>(utf8[i]);
        uint32_t cp;
        if (c < 0x80) {
            cp = c;
            i += 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<uint8_t>(utf8[i + 1]) & 0x3Fu);
            i += 2;
        } else {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<uint8_t>(utf8[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<uint8_t>(utf8[i + 2]) & 0x3Fu);
            i += 3;
        }
        out += static_cast<char>(cp & 0xFF);
        out += static_cast<char>(cp >> 8);
    }
    return out;
}

// Every piece of syntax regedit and Wine put into an export.
const std::string kSample = R"(REGEDIT4

; settings of the picture browser
[HKEY_CURRENT_USER\Software\Veltrane\Lumicart]
@="Picture browser"
"RunDefaultPath"="C:\\Pictures\\"
"Quote"="say \"hi\""
"Left"=dword:0000abcd
"Max"=dword:FFFFFFFF
"Layout"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\
  16,17,18
"Empty"=hex:
"EmptyText"=""
"Expand"=hex(2):25,53,59,53,25,00
"Multi"=hex(7):61,00,62,00,00
"Qword"=hex(b):01,00,00,00,00,00,00,00
"Gone"=-

[-HKEY_CURRENT_USER\Software\Old]

[HKEY_CURRENT_USER\Software\Veltrane\Murvane]
"Greeting"="Grüße"
)";

void expectSample(const std::optional<HiveTree>& tree) {
    ASSERT_TRUE(tree.has_value());
    const HiveKey* lumicart = keyAt(*tree, {"Software", "Veltrane", "Lumicart"});
    ASSERT_NE(lumicart, nullptr);
    struct Expected {
        std::string_view name;
        uint32_t type;
        std::vector<uint8_t> data;
    };
    const Expected expected[] = {
        {"", 1, bytes("Picture browser")},
        {"RunDefaultPath", 1, bytes("C:\\Pictures\\")},
        {"Quote", 1, bytes("say \"hi\"")},
        {"Left", 4, {0xcd, 0xab, 0, 0}},
        {"Max", 4, {0xff, 0xff, 0xff, 0xff}},
        {"Layout", 3, {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                       13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
        {"Empty", 3, {}},
        {"EmptyText", 1, {}},
        {"Expand", 2, bytes(std::string_view("%SYS%\0", 6))},
        {"Multi", 7, bytes(std::string_view("a\0b\0\0", 5))},
        {"Qword", 0xb, {1, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(std::string(e.name));
        const HiveValue* v = lumicart->findValue(e.name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, e.type);
        EXPECT_EQ(v->data, e.data);
    }
    EXPECT_EQ(lumicart->values.size(), std::size(expected));
    EXPECT_EQ(lumicart->findValue("Gone"), nullptr);
    EXPECT_EQ(keyAt(*tree, {"Software", "Old"}), nullptr);
    const HiveKey* murvane = keyAt(*tree, {"software", "VELTRANE", "murvane"});
    ASSERT_NE(murvane, nullptr);
    ASSERT_NE(murvane->findValue("greeting"), nullptr);
    EXPECT_EQ(murvane->findValue("greeting")->data, bytes("Grüße"));
}

TEST(HiveParse, ReadsEverySyntaxOfAnExport) {
    expectSample(parseHive(kSample, kUser));
}

TEST(HiveParse, ReadsTheExportWithCrLfLineEnds) {
    expectSample(parseHive(replaceAll(kSample, "\n", "\r\n"), kUser));
}

TEST(HiveParse, ReadsTheVersion5HeaderInUtf8AndUtf16) {
    std::string v5 = replaceAll(kSample, "REGEDIT4", "Windows Registry Editor Version 5.00");
    expectSample(parseHive(v5, kUser));
    expectSample(parseHive("\xEF\xBB\xBF" + v5, kUser));
    expectSample(parseHive(toUtf16le(replaceAll(v5, "\n", "\r\n")), kUser));
}

TEST(HiveParse, DecodesEveryUtf16Width) {
    // "v"="é日😀" in UTF-16LE: one unit of two UTF-8 bytes, one of three, a surrogate pair.
    std::string text = toUtf16le("REGEDIT4\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"");
    text.append("\xE9\x00\xE5\x65\x3D\xD8\x00\xDE", 8);
    text.append(toUtf16le("\"\r\n").substr(2));
    auto tree = parseHive(text, kUser);
    ASSERT_TRUE(tree.has_value());
    EXPECT_EQ(keyAt(*tree, {"A"})->findValue("v")->data,
              bytes("\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"));

    const std::string_view broken[] = {
        std::string_view("\xFF\xFE\x3D\xD8", 4),      // a high surrogate at the end
        std::string_view("\xFF\xFE\x3D\xD8R\x00", 6), // followed by no low one
        std::string_view("\xFF\xFE\x00\xDER\x00", 6), // a low surrogate alone
    };
    for (auto b : broken)
        EXPECT_FALSE(parseHive(b, kUser).has_value());
}

TEST(HiveParse, ToleratesHarmlessVariations) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string_view> path;
        std::string_view name;
        uint32_t type;
        std::vector<uint8_t> data;
    };
    const Case cases[] = {
        {"trailing whitespace and tabs",
         "REGEDIT4  \t\n[HKEY_CURRENT_USER\\A]  \n\"v\"=\"x\"\t \n",
         {"A"},
         "v",
         1,
         bytes("x")},
        {"indented lines",
         "REGEDIT4\n  [HKEY_CURRENT_USER\\A]\n   \"v\"=dword:1\n",
         {"A"},
         "v",
         4,
         {1, 0, 0, 0}},
        {"hash comments",
         "REGEDIT4\n# note\n[HKEY_CURRENT_USER\\A]\n#\"v\"=\"no\"\n\"v\"=\"x\"\n",
         {"A"},
         "v",
         1,
         bytes("x")},
        {"lower-case root and empty path parts",
         "REGEDIT4\n[hkey_current_user\\\\A\\\\B\\]\n\"v\"=\"x\"\n",
         {"A", "B"},
         "v",
         1,
         bytes("x")},
        {"spaces around =",
         "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\" = \"x\"\n@ =dword:2\n",
         {"A"},
         "v",
         1,
         bytes("x")},
        {"upper-case keywords",
         "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=DWORD:0000000A\n",
         {"A"},
         "v",
         4,
         {10, 0, 0, 0}},
        {"short dword",
         "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:1f\n",
         {"A"},
         "v",
         4,
         {0x1f, 0, 0, 0}},
        {"spaces inside hex data",
         "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex: 01 , 02\n",
         {"A"},
         "v",
         3,
         {1, 2}},
        {"escapes Wine writes",
         "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"a\\nb\\rc\\0d\"\n",
         {"A"},
         "v",
         1,
         bytes(std::string_view("a\nb\rc\0d", 7))},
        {"unknown escape kept",
         "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"C:\\Temp\"\n",
         {"A"},
         "v",
         1,
         bytes("C:\\Temp")},
        {"key named twice is one key",
         "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"1\"\n[HKEY_CURRENT_USER\\a]\n\"w\"=\"2\"\n",
         {"A"},
         "w",
         1,
         bytes("2")},
        {"a value named twice keeps the last",
         "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"1\"\n\"V\"=\"2\"\n",
         {"A"},
         "v",
         1,
         bytes("2")},
        {"no newline at the end",
         "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"x\"",
         {"A"},
         "v",
         1,
         bytes("x")},
        {"brackets in a key name",
         "REGEDIT4\n[HKEY_CURRENT_USER\\A]]\n\"v\"=\"x\"\n",
         {"A]"},
         "v",
         1,
         bytes("x")},
        {"values of the root",
         "REGEDIT4\n[HKEY_CURRENT_USER]\n\"v\"=\"x\"\n",
         {},
         "v",
         1,
         bytes("x")},
        {"hex continued over blank-padded lines",
         "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=hex:01,\\  \n   02,\\\n03\n",
         {"A"},
         "v",
         3,
         {1, 2, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HiveParseError error;
        auto tree = parseHive(c.text, kUser, &error);
        ASSERT_TRUE(tree.has_value()) << "line " << error.line << ": " << error.reason;
        const HiveKey* key = &tree->root;
        for (auto p : c.path)
            key = key ? key->findSubKey(p) : nullptr;
        ASSERT_NE(key, nullptr);
        const HiveValue* v = key->findValue(c.name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->type, c.type);
        EXPECT_EQ(v->data, c.data);
    }
}

TEST(HiveParse, AcceptsAHeaderWithNothingElse) {
    for (std::string_view text : {"REGEDIT4", "REGEDIT4\n", "REGEDIT4\r\n\r\n"}) {
        auto tree = parseHive(text, kUser);
        ASSERT_TRUE(tree.has_value());
        EXPECT_EQ(*tree, HiveTree{});
    }
}

TEST(HiveParse, RefusesDamagedText) {
    const std::string head = "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n";
    std::string deep = "REGEDIT4\n[HKEY_CURRENT_USER";
    for (size_t i = 0; i <= kMaxKeyDepth; ++i)
        deep += "\\k";
    deep += "]\n";
    struct Case {
        const char* what;
        std::string text;
        size_t line;
    };
    const Case cases[] = {
        {"empty file", "", 1},
        {"no header", "[HKEY_CURRENT_USER\\A]\n\"v\"=\"x\"\n", 1},
        {"blank line before the header", "\nREGEDIT4\n", 1},
        {"header cut short", "REGEDI", 1},
        {"binary garbage",
         std::string("\x7f"
                     "ELF\x02\x01\x01",
                     7),
         1},
        {"NUL byte", head + std::string("\"v\"=\"a\0b\"\n", 10), 3},
        {"value before any key", "REGEDIT4\n\n\"v\"=\"x\"\n", 3},
        {"value after a deletion line", "REGEDIT4\n[-HKEY_CURRENT_USER\\A]\n\"v\"=\"x\"\n", 3},
        {"default value before any key", "REGEDIT4\n@=\"x\"\n", 2},
        {"key of another hive", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n", 2},
        {"root name with a suffix", "REGEDIT4\n[HKEY_CURRENT_USERS\\A]\n", 2},
        {"key line cut short", "REGEDIT4\n[HKEY_CURRENT_USER\\A\n", 2},
        {"text after a key line", "REGEDIT4\n[HKEY_CURRENT_USER\\A] x\n", 2},
        {"carriage return inside a key name", "REGEDIT4\n[HKEY_CURRENT_USER\\A\rB]\n", 2},
        {"key path too deep", deep, 2},
        {"stray text", head + "hello\n", 3},
        {"value name cut short", head + "\"v=\"x\"\n", 3},
        {"value name ending in a backslash", head + "\"v\\", 3},
        {"no =", head + "\"v\" \"x\"\n", 3},
        {"nothing after =", head + "\"v\"=\n", 3},
        {"text cut short", head + "\"v\"=\"abc\n", 3},
        {"text after the closing quote", head + "\"v\"=\"a\"b\n", 3},
        {"unquoted number", head + "\"v\"=12\n", 3},
        {"empty dword", head + "\"v\"=dword:\n", 3},
        {"dword of nine digits", head + "\"v\"=dword:000000001\n", 3},
        {"dword with a letter", head + "\"v\"=dword:0000000g\n", 3},
        {"negative dword", head + "\"v\"=dword:-1\n", 3},
        {"hex byte of one digit", head + "\"v\"=hex:01,2\n", 3},
        {"hex byte of three digits", head + "\"v\"=hex:001\n", 3},
        {"hex byte not hex", head + "\"v\"=hex:0x\n", 3},
        {"dangling comma", head + "\"v\"=hex:01,02,\n", 3},
        {"double comma", head + "\"v\"=hex:01,,02\n", 3},
        {"continuation at the end", head + "\"v\"=hex:01,\\", 3},
        {"continuation into a blank last line", head + "\"v\"=hex:01,\\\n", 4},
        {"continuation into a key line", head + "\"v\"=hex:01,\\\n[HKEY_CURRENT_USER\\B]\n", 4},
        {"hex type without )", head + "\"v\"=hex(2:01\n", 3},
        {"hex type not hex", head + "\"v\"=hex(zz):01\n", 3},
        {"hex type empty", head + "\"v\"=hex():01\n", 3},
        {"hex without :", head + "\"v\"=hex01\n", 3},
        {"odd UTF-16", "\xFF\xFER\0E\0G\0", 1},
        {"lone UTF-16 surrogate", std::string("\xFF\xFE\x00\xD8R\0", 6), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HiveParseError error;
        EXPECT_FALSE(parseHive(c.text, kUser, &error).has_value());
        EXPECT_EQ(error.line, c.line);
        EXPECT_FALSE(error.reason.empty());
    }
}

TEST(HiveParse, RefusesEveryTruncationInsideAValue) {
    // Cutting a good file inside a value must never leave a shorter value that passes.
    const std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"s\"=\"text\"\n"
                             "\"b\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,"
                             "13,14,15,16,17,18,19,1a,1b,\\\n  1c,1d\n";
    size_t valueStart = text.find("\"s\"");
    for (size_t cut = valueStart + 1; cut < text.size() - 1; ++cut) {
        std::string_view prefix(text.data(), cut);
        char next = text[cut];
        // Cuts that leave well-formed text: at a line end, between two bytes, or right after
        // "hex:" (an empty list is how an empty binary value is written).
        if (next == '\n' || prefix.back() == '\n' ||
            (std::isxdigit(static_cast<unsigned char>(prefix.back())) && next == ',') ||
            prefix.ends_with("hex:"))
            continue;
        SCOPED_TRACE(cut);
        EXPECT_FALSE(parseHive(prefix, kUser).has_value()) << prefix;
    }
}

HiveTree sampleTree() {
    HiveTree tree;
    HiveKey& a = tree.root.subKey("Software").subKey("Veltrane");
    a.setValue("Zeta", 1, bytes("last"));
    a.setValue("", 1, bytes("default"));
    a.setValue("alpha", 4, {0x78, 0x56, 0x34, 0x12});
    a.setValue("Path", 1, bytes("C:\\x \"y\""));
    tree.root.subKey("Software").subKey("Brantor");
    return tree;
}

TEST(HiveFormat, WritesTheLayoutRegeditReads) {
    EXPECT_EQ(formatHive(sampleTree(), kUser), "REGEDIT4\n"
                                               "\n"
                                               "[HKEY_CURRENT_USER\\Software]\n"
                                               "\n"
                                               "[HKEY_CURRENT_USER\\Software\\Brantor]\n"
                                               "\n"
                                               "[HKEY_CURRENT_USER\\Software\\Veltrane]\n"
                                               "@=\"default\"\n"
                                               "\"alpha\"=dword:12345678\n"
                                               "\"Path\"=\"C:\\\\x \\\"y\\\"\"\n"
                                               "\"Zeta\"=\"last\"\n"
                                               "\n");
}

TEST(HiveFormat, IsTheSameWhateverOrderTheChangesCameIn) {
    HiveTree reversed;
    reversed.root.subKey("Software").subKey("Brantor");
    HiveKey& a = reversed.root.subKey("Software").subKey("Veltrane");
    a.setValue("Path", 1, bytes("C:\\x \"y\""));
    a.setValue("alpha", 4, {0x78, 0x56, 0x34, 0x12});
    a.setValue("", 1, bytes("default"));
    a.setValue("Zeta", 1, bytes("last"));
    EXPECT_EQ(formatHive(reversed, kUser), formatHive(sampleTree(), kUser));
}

TEST(HiveFormat, WritesRootValuesUnderTheBareRoot) {
    HiveTree tree;
    tree.root.setValue("v", 4, {1, 0, 0, 0});
    EXPECT_EQ(formatHive(tree, "HKEY_LOCAL_MACHINE"),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE]\n\"v\"=dword:00000001\n\n");
}

TEST(HiveFormat, FallsBackToHexWhereTheShortFormWouldLoseBytes) {
    struct Case {
        uint32_t type;
        std::vector<uint8_t> data;
        std::string line;
    };
    const Case cases[] = {
        {1, bytes("a\nb"), "\"v\"=hex(1):61,0a,62"},
        {1, bytes("a\rb"), "\"v\"=hex(1):61,0d,62"},
        {1, {'a', 0}, "\"v\"=hex(1):61,00"},
        {4, {1, 2, 3}, "\"v\"=hex(4):01,02,03"},
        {4, {}, "\"v\"=hex(4):"},
        {3, {}, "\"v\"=hex:"},
        {0, {7}, "\"v\"=hex(0):07"},
        {0xffffffff, {7}, "\"v\"=hex(ffffffff):07"},
        {0x10, {7}, "\"v\"=hex(10):07"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        HiveTree tree;
        tree.root.subKey("A").setValue("v", c.type, c.data);
        std::string text = formatHive(tree, kUser);
        EXPECT_NE(text.find("\n" + c.line + "\n"), std::string::npos) << text;
        EXPECT_EQ(parseHive(text, kUser), tree);
    }
}

TEST(HiveFormat, WrapsHexLinesWithContinuations) {
    for (size_t size : {0u, 1u, 2u, 23u, 24u, 25u, 100u, 1000u}) {
        for (size_t nameLength : {1u, 60u, 100u}) {
            SCOPED_TRACE(std::to_string(size) + " bytes, name of " + std::to_string(nameLength));
            std::vector<uint8_t> data(size);
            for (size_t i = 0; i < size; ++i)
                data[i] = static_cast<uint8_t>(i * 7);
            HiveTree tree;
            tree.root.subKey("A").setValue(std::string(nameLength, 'n'), 3, data);
            std::string text = formatHive(tree, kUser);
            std::vector<std::string> lines;
            std::istringstream in(text);
            for (std::string line; std::getline(in, line);)
                lines.push_back(line);
            for (size_t i = 0; i < lines.size(); ++i) {
                const std::string& line = lines[i];
                if (line.find("=hex:") != std::string::npos && size > 0) {
                    EXPECT_NE(line.find("=hex:00"), std::string::npos); // first byte stays
                }
                if (line.starts_with("  ")) {
                    EXPECT_LE(line.size(), 77u) << line;
                }
                if (line.ends_with("\\")) {
                    EXPECT_TRUE(line.ends_with(",\\")) << line;
                    ASSERT_LT(i + 1, lines.size());
                    EXPECT_TRUE(lines[i + 1].starts_with("  "));
                }
            }
            EXPECT_EQ(parseHive(text, kUser), tree);
        }
    }
}

// Names and data drawn to include everything that needs escaping or a fallback.
std::string randomName(std::mt19937& rng, bool keyName) {
    static constexpr std::string_view kChars = "aZ09 _-.]@[\"\\;#=\n\r\t\x01\xC3\xA9";
    std::uniform_int_distribution<size_t> length(keyName ? 1 : 0, 6);
    std::uniform_int_distribution<size_t> pick(0, kChars.size() - 1);
    std::string name;
    size_t n = length(rng);
    while (name.size() < n) {
        char c = kChars[pick(rng)];
        if (keyName && (c == '\\' || c == '\r' || c == '\n'))
            continue;
        name += c;
    }
    return name;
}

void fillRandom(HiveKey& key, std::mt19937& rng, int depth) {
    std::uniform_int_distribution<int> count(0, 4);
    std::uniform_int_distribution<int> byte(0, 255);
    const uint32_t types[] = {1, 1, 2, 3, 4, 4, 7, 11, 0};
    std::uniform_int_distribution<size_t> pickType(0, std::size(types) - 1);
    std::uniform_int_distribution<size_t> size(0, 90);
    for (int i = count(rng); i > 0; --i) {
        uint32_t type = types[pickType(rng)];
        std::vector<uint8_t> data(type == 4 && i % 2 ? 4 : size(rng));
        for (auto& b : data)
            b = static_cast<uint8_t>(byte(rng));
        key.setValue(randomName(rng, false), type, std::move(data));
    }
    if (depth < 4)
        for (int i = count(rng); i > 0; --i)
            fillRandom(key.subKey(randomName(rng, true)), rng, depth + 1);
}

TEST(HiveFormat, AnyTreeSurvivesFormatAndParse) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        HiveTree tree;
        fillRandom(tree.root, rng, 0);
        std::string text = formatHive(tree, kUser);
        HiveParseError error;
        auto parsed = parseHive(text, kUser, &error);
        ASSERT_TRUE(parsed.has_value()) << error.line << ": " << error.reason << "\n" << text;
        ASSERT_EQ(*parsed, tree) << text;
    }
}

TEST(HiveKeyModel, NamesCompareWithoutCaseAndKeepTheFirstSpelling) {
    HiveKey key;
    key.setValue("Value", 1, bytes("1"));
    key.setValue("VALUE", 1, bytes("2"));
    ASSERT_EQ(key.values.size(), 1u);
    EXPECT_EQ(key.values[0].name, "Value");
    EXPECT_EQ(key.values[0].data, bytes("2"));
    bool added = false;
    key.subKey("Sub", &added);
    EXPECT_TRUE(added);
    key.subKey("sUB", &added);
    EXPECT_FALSE(added);
    EXPECT_EQ(key.subKeys.size(), 1u);
    EXPECT_TRUE(key.removeSubKey("SUB"));
    EXPECT_FALSE(key.removeSubKey("SUB"));
    EXPECT_TRUE(key.removeValue("value"));
    EXPECT_FALSE(key.removeValue("value"));
    // Only ASCII folds: other letters are distinct names.
    key.setValue("\xC3\xA9", 1, {});
    key.setValue("\xC3\x89", 1, {});
    EXPECT_EQ(key.values.size(), 2u);
}

} // namespace
