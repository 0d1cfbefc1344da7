// Colour configuration at open: device defaults, conversion mode, the camera's own colour data,
// the sensor matrices with their registry overrides, black offset and gamma; and the matrix
// exports.
#include "tests/camera/camera_fixture.h"

#include "platform/registry/registry.h"

#include <cstring>
#include <string>

namespace kerris::camera::testing {
namespace {

using registry::Hive;
using registry::Key;

constexpr float kSA[9] = {2.135f,  -1.193f, 0.058f,  -0.376f, 1.741f,
                          -0.365f, 0.018f,  -1.188f, 2.17f};
constexpr float kSB[9] = {2.035f,  -0.965f, -0.069f, -0.189f, 1.435f,
                          -0.247f, -0.114f, -0.415f, 1.529f};

std::vector<float> floatsOf(const Call& call) {
    std::vector<float> out(call.data.size() / sizeof(float));
    std::memcpy(out.data(), call.data.data(), out.size() * sizeof(float));
    return out;
}

class ColourTest : public CameraTest {
protected:
    // Opens a camera with this sensor and colour data of `length` bytes (0: none); keeps only
    // the colour library's log of the open.
    void openCamera(uint16_t sensor, uint8_t colourDataLength = 0,
                    const std::vector<uint8_t>& data = {}) {
        CameraInfoReply reply;
        reply.sensor = sensor;
        setCamera(reply);
        usb.setReply(0x8A, {colourDataLength, 0});
        usb.setReply(0x8B, data);
        ASSERT_EQ(CpiCameraOpen(0x2000, 0, &c, nullptr), uint32_t(kCpiOk));
    }
    void TearDown() override {
        if (c) {
            EXPECT_EQ(CpiCameraClose(c), uint32_t(kCpiOk));
        }
        CameraTest::TearDown();
    }
    // The parameter numbers set, in order.
    std::vector<uint32_t> parameterOrder() const {
        std::vector<uint32_t> out;
        for (auto& call : colour.calls("KERC_SetParameter"))
            out.push_back(call.args[1]);
        return out;
    }
    static void writeValue(const std::string& key, const char* name, uint32_t value) {
        auto k = Key::create(Hive::LocalMachine, "SOFTWARE\\Brantor\\OVIK_SDK\\" + key);
        ASSERT_TRUE(k);
        ASSERT_TRUE(k->writeDword(name, value));
    }

    CpiConnection* c = nullptr;
};

TEST_F(ColourTest, DefaultsLoadedThenModeFourAndNothingElseForAnUnknownSensor) {
    openCamera(0x1950);
    auto defaults = colour.calls("KERC_LoadDeviceDefaults");
    ASSERT_EQ(defaults.size(), 1u);
    EXPECT_EQ(defaults[0].args[0], 0x5EEDu);
    EXPECT_EQ(defaults[0].args[1], 0u);
    EXPECT_EQ(parameterOrder(), std::vector<uint32_t>{24});
    auto mode = colour.parameterSets(24);
    EXPECT_EQ(mode[0].data, (std::vector<uint8_t>{4, 0, 0, 0}));
}

TEST_F(ColourTest, FailingDeviceDefaultsAreReplaced) {
    colour.failEntry("KERC_LoadDeviceDefaults", 3);
    openCamera(0x1950);
    EXPECT_EQ(parameterOrder(), (std::vector<uint32_t>{0, 2, 24}));
    EXPECT_EQ(colour.parameterSets(0)[0].data, (std::vector<uint8_t>{16, 0}));
    EXPECT_EQ(colour.parameterSets(2)[0].data, (std::vector<uint8_t>{250, 0}));
}

struct SensorCase {
    const char* name;
    uint16_t sensor;
    const float* matrix; // null: no matrix
};

class SensorTest : public ColourTest, public ::testing::WithParamInterface<SensorCase> {};

TEST_P(SensorTest, SensorChoosesTheBuiltInMatrix) {
    const SensorCase& tc = GetParam();
    // Registry settings exist for both families; an unknown sensor must not reach them.
    writeValue("SA", "BlackOffset", 7);
    writeValue("SB", "BlackOffset", 8);
    openCamera(tc.sensor);
    auto matrix = colour.parameterSets(11);
    if (!tc.matrix) {
        EXPECT_TRUE(matrix.empty());
        EXPECT_TRUE(colour.parameterSets(0).empty());
        EXPECT_TRUE(colour.parameterSets(17).empty());
        return;
    }
    ASSERT_EQ(matrix.size(), 1u);
    EXPECT_EQ(matrix[0].args[2], 36u);
    EXPECT_EQ(floatsOf(matrix[0]), std::vector<float>(tc.matrix, tc.matrix + 9));
    auto black = colour.parameterSets(0);
    ASSERT_EQ(black.size(), 1u);
    EXPECT_EQ(black[0].data[0], tc.matrix == kSA ? 7 : 8);
}

INSTANTIATE_TEST_SUITE_P(
    Sensors, SensorTest,
    ::testing::Values(SensorCase{"s1940", 0x1940, kSA}, SensorCase{"s1943", 0x1943, kSA},
                      SensorCase{"s1944", 0x1944, kSB}, SensorCase{"s194F", 0x194F, kSB},
                      SensorCase{"s1950", 0x1950, nullptr}, SensorCase{"s193F", 0x193F, nullptr},
                      SensorCase{"s0000", 0x0000, nullptr}),
    CaseName());

struct OverrideCase {
    const char* name;
    uint16_t sensor;
    bool present;
    uint32_t value;
    float expected;
};

class MatrixOverrideTest : public ColourTest, public ::testing::WithParamInterface<OverrideCase> {};

TEST_P(MatrixOverrideTest, ElementOneOneFromTheRegistry) {
    const OverrideCase& tc = GetParam();
    const std::string family = (tc.sensor & 0xF) > 3 ? "SB" : "SA";
    if (tc.present)
        writeValue(family + "\\ColourMatrix", "M11", tc.value);
    else
        writeValue(family + "\\ColourMatrix", "M12", 5000); // the key exists, M11 does not
    openCamera(tc.sensor);
    auto matrix = colour.parameterSets(11);
    ASSERT_EQ(matrix.size(), 1u);
    auto m = floatsOf(matrix[0]);
    EXPECT_EQ(m[4], tc.expected);
    EXPECT_EQ(m[0], family == "SA" ? kSA[0] : kSB[0]); // others stay built in
    if (!tc.present) {
        EXPECT_EQ(m[5], 0.5f);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, MatrixOverrideTest,
    ::testing::Values(OverrideCase{"negative_one", 0x1943, true, 0x80000000u | 10000, -1.0f},
                      OverrideCase{"positive_one", 0x1943, true, 10000, 1.0f},
                      OverrideCase{"sb_negative_one", 0x1944, true, 0x80000000u | 10000, -1.0f},
                      OverrideCase{"quarter", 0x1943, true, 2500, 0.25f},
                      OverrideCase{"negative_zero", 0x1943, true, 0x80000000u, -0.0f},
                      OverrideCase{"missing_sa", 0x1943, false, 0, 1.741f},
                      OverrideCase{"missing_sb", 0x1944, false, 0, 1.435f}),
    CaseName());

TEST_F(ColourTest, EveryElementHasItsOwnValueName) {
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            writeValue("SA\\ColourMatrix", ("M" + std::to_string(r) + std::to_string(col)).c_str(),
                       uint32_t(1000 * (r * 3 + col + 1)));
    openCamera(0x1941);
    auto m = floatsOf(colour.parameterSets(11).at(0));
    for (int i = 0; i < 9; ++i)
        EXPECT_FLOAT_EQ(m[size_t(i)], 0.1f * float(i + 1)) << i;
}

TEST_F(ColourTest, BlackOffsetUsesTheLowSixteenBits) {
    writeValue("SA", "BlackOffset", 0x12345);
    openCamera(0x1942);
    auto black = colour.parameterSets(0);
    ASSERT_EQ(black.size(), 1u);
    EXPECT_EQ(black[0].data, (std::vector<uint8_t>{0x45, 0x23}));
}

struct GammaCase {
    const char* name;
    uint32_t value;
    bool applied;
};

class GammaTest : public ColourTest, public ::testing::WithParamInterface<GammaCase> {};

TEST_P(GammaTest, OnlyZeroAndOneAreApplied) {
    writeValue("SB", "EnableGammaCorrection", GetParam().value);
    openCamera(0x1945);
    auto gamma = colour.parameterSets(17);
    if (!GetParam().applied) {
        EXPECT_TRUE(gamma.empty());
        return;
    }
    ASSERT_EQ(gamma.size(), 1u);
    EXPECT_EQ(gamma[0].data, std::vector<uint8_t>{uint8_t(GetParam().value)});
}

INSTANTIATE_TEST_SUITE_P(Values, GammaTest,
                         ::testing::Values(GammaCase{"off", 0, true}, GammaCase{"on", 1, true},
                                           GammaCase{"two_ignored", 2, false},
                                           GammaCase{"high_bit_ignored", 0x80000001u, false}),
                         CaseName());

TEST_F(ColourTest, OverlongRegistryValueIsIgnored) {
    auto k = Key::create(Hive::LocalMachine, "SOFTWARE\\Brantor\\OVIK_SDK\\SA");
    ASSERT_TRUE(k);
    const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(k->writeBinary("BlackOffset", eight, sizeof eight));
    const uint8_t four[4] = {0x21, 0x00, 0x00, 0x00};
    ASSERT_TRUE(k->writeBinary("EnableGammaCorrection", four, 1)); // any type, up to 4 bytes
    openCamera(0x1940);
    EXPECT_TRUE(colour.parameterSets(0).empty());
    EXPECT_TRUE(colour.parameterSets(17).empty()); // 0x21 is neither 0 nor 1
}

// ---- The camera's own colour data ---------------------------------------------------------

std::vector<uint8_t> colourData(size_t n) {
    std::vector<uint8_t> data(n);
    for (size_t i = 0; i < n; ++i)
        data[i] = uint8_t(0x40 + i);
    return data;
}

// The 0x8B commands sent: (offset, length) pairs.
std::vector<std::pair<uint32_t, uint32_t>> colourPieces(const FakeTransport& usb) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (auto& call : usb.calls("CtiCommand"))
        if (call.args[1] == 0x8B)
            out.emplace_back(call.args[2], call.args[4]);
    return out;
}

TEST_F(ColourTest, ColourDataOf36BytesIsReadInPiecesAndReplacesTheMatrix) {
    openCamera(0x1943, 36, colourData(36));
    EXPECT_EQ(colourPieces(usb),
              (std::vector<std::pair<uint32_t, uint32_t>>{{0, 16}, {16, 16}, {32, 4}}));
    auto data = colour.parameterSets(26);
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0].args[2], 36u);
    EXPECT_EQ(data[0].data, colourData(36));
    EXPECT_TRUE(colour.parameterSets(11).empty());
}

TEST_F(ColourTest, ColourDataOf15BytesFallsBackToTheSensorMatrix) {
    openCamera(0x1943, 15, colourData(15));
    EXPECT_TRUE(colourPieces(usb).empty());
    EXPECT_TRUE(colour.parameterSets(26).empty());
    EXPECT_EQ(colour.parameterSets(11).size(), 1u);
}

TEST_F(ColourTest, ShortColourDataIsPaddedToThirtySixBytes) {
    openCamera(0x1943, 16, colourData(16));
    EXPECT_EQ(colourPieces(usb), (std::vector<std::pair<uint32_t, uint32_t>>{{0, 16}}));
    auto data = colour.parameterSets(26);
    ASSERT_EQ(data.size(), 1u);
    std::vector<uint8_t> expected = colourData(16);
    expected.resize(36, 0);
    EXPECT_EQ(data[0].data, expected);
}

TEST_F(ColourTest, LongColourDataIsReadWholeAndItsFirst36BytesHandedOver) {
    openCamera(0x1943, 40, colourData(40));
    EXPECT_EQ(colourPieces(usb),
              (std::vector<std::pair<uint32_t, uint32_t>>{{0, 16}, {16, 16}, {32, 8}}));
    EXPECT_EQ(colour.parameterSets(26).at(0).data, colourData(36));
}

TEST_F(ColourTest, FailingColourDataPieceFallsBackToTheSensorMatrix) {
    usb.failNthCall("CtiCommand", 5, 0x77); // 0x85, echo, 0x8A, piece 0, then piece 16
    openCamera(0x1944, 36, colourData(36));
    EXPECT_EQ(colourPieces(usb).size(), 2u);
    EXPECT_TRUE(colour.parameterSets(26).empty());
    EXPECT_EQ(floatsOf(colour.parameterSets(11).at(0)), std::vector<float>(kSB, kSB + 9));
}

TEST_F(ColourTest, ColourLibraryRefusingTheDataFallsBackToTheSensorMatrix) {
    colour.failNthCall("KERC_SetParameter", 2, 9); // after mode 24, the colour data
    openCamera(0x1944, 36, colourData(36));
    EXPECT_EQ(parameterOrder(), (std::vector<uint32_t>{24, 26, 11}));
}

// ---- Whether the camera's colour data is in use -------------------------------------------

constexpr char kDefaultsText[] =
    "the camera's colour data could not be read; the sensor's defaults are used";

struct ColourSourceCase {
    const char* name;
    uint8_t length;       // colour data length the camera reports
    int failCommand;      // CtiCommand call that fails (0x85 is 1, the echo 2, 0x8A 3); 0: none
    int failSetParameter; // KERC_SetParameter call that fails (mode 24 is 1); 0: none
    uint32_t status;      // CpiGetErrorText(kCpiColourDefaults)
};

class ColourSourceTest : public ColourTest,
                         public ::testing::WithParamInterface<ColourSourceCase> {};

TEST_P(ColourSourceTest, ErrorTextTellsWhenTheSensorDefaultsStandInForLostData) {
    const ColourSourceCase& t = GetParam();
    if (t.failCommand)
        usb.failNthCall("CtiCommand", t.failCommand, 0x77);
    if (t.failSetParameter)
        colour.failNthCall("KERC_SetParameter", t.failSetParameter, 6);
    openCamera(0x1943, t.length, colourData(t.length));
    char text[128];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(CpiGetErrorText(c, kCpiColourDefaults, text, sizeof text), t.status);
    EXPECT_STREQ(text, t.status == kCpiColourDefaults ? kDefaultsText : "");
    EXPECT_TRUE(usb.calls("CtiGetErrorText").empty()) << "the transport is not asked";
    // Asking again gives the same answer: the state belongs to the connection's open.
    EXPECT_EQ(CpiGetErrorText(c, kCpiColourDefaults, text, sizeof text), t.status);
}

INSTANTIATE_TEST_SUITE_P(
    Opens, ColourSourceTest,
    ::testing::Values(ColourSourceCase{"DataApplied", 36, 0, 0, kCpiOk},
                      ColourSourceCase{"SixteenBytesApplied", 16, 0, 0, kCpiOk},
                      ColourSourceCase{"FifteenBytesIsNoData", 15, 0, 0, kCpiOk},
                      ColourSourceCase{"NoData", 0, 0, 0, kCpiOk},
                      ColourSourceCase{"LengthLost", 36, 3, 0, kCpiColourDefaults},
                      ColourSourceCase{"FirstPieceLost", 36, 4, 0, kCpiColourDefaults},
                      ColourSourceCase{"SecondPieceLost", 36, 5, 0, kCpiColourDefaults},
                      ColourSourceCase{"LastShortPieceLost", 36, 6, 0, kCpiColourDefaults},
                      ColourSourceCase{"LengthLostOfACameraWithout", 0, 3, 0, kCpiColourDefaults},
                      ColourSourceCase{"DataRefused", 36, 0, 2, kCpiColourDefaults},
                      ColourSourceCase{"MatrixRefusalIsNotAboutData", 15, 0, 2, kCpiOk}),
    [](const ::testing::TestParamInfo<ColourSourceCase>& p) { return p.param.name; });

TEST_F(ColourTest, ColourDefaultsTextIsCutToTheBufferAndAlwaysEnded) {
    usb.failNthCall("CtiCommand", 3, 0x77);
    openCamera(0x1943, 36, colourData(36));
    for (uint32_t size :
         {1u, 2u, 10u, uint32_t(sizeof kDefaultsText) - 1, uint32_t(sizeof kDefaultsText)}) {
        char text[sizeof kDefaultsText + 8];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(CpiGetErrorText(c, kCpiColourDefaults, text, size), uint32_t(kCpiColourDefaults))
            << size;
        EXPECT_EQ(std::string(text), std::string(kDefaultsText, size - 1)) << size;
        EXPECT_EQ(text[size], 'x') << "written past the buffer of " << size;
    }
}

TEST_F(ColourTest, ColourDefaultsQueryRejectsMisuseLikeAnyCode) {
    usb.failNthCall("CtiCommand", 3, 0x77);
    openCamera(0x1943, 36, colourData(36));
    char text[8] = "keep";
    EXPECT_EQ(CpiGetErrorText(c, kCpiColourDefaults, nullptr, 8), uint32_t(kCpiBadValue));
    EXPECT_EQ(CpiGetErrorText(c, kCpiColourDefaults, text, 0), uint32_t(kCpiBadValue));
    EXPECT_EQ(CpiGetErrorText(nullptr, kCpiColourDefaults, text, 8), uint32_t(kCpiBadConnection));
    EXPECT_STREQ(text, "keep");
    // Any other code still goes to the transport.
    CpiGetErrorText(c, 0x4000, text, sizeof text);
    EXPECT_EQ(usb.calls("CtiGetErrorText").size(), 1u);
}

// ---- Matrix exports -----------------------------------------------------------------------

TEST_F(ColourTest, MatrixSetAndGetGoThroughParameterEleven) {
    openCamera(0x1950);
    colour.clearLog();
    float matrix[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_EQ(CpiSetColourMatrix(c, matrix), uint32_t(kCpiOk));
    auto set = colour.parameterSets(11);
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(floatsOf(set[0]), std::vector<float>(matrix, matrix + 9));
    float back[9] = {};
    ASSERT_EQ(CpiGetColourMatrix(c, back), uint32_t(kCpiOk));
    EXPECT_EQ(std::vector<float>(back, back + 9), std::vector<float>(matrix, matrix + 9));
    auto query = colour.calls("KERC_QueryParameter");
    ASSERT_EQ(query.size(), 1u);
    EXPECT_EQ(query[0].args[1], 11u);
    EXPECT_EQ(query[0].args[2], 36u);
}

TEST_F(ColourTest, MatrixExportsAnswerZeroWhateverTheLibrarySays) {
    openCamera(0x1950);
    colour.failEntry("KERC_SetParameter", 5);
    colour.failEntry("KERC_QueryParameter", 5);
    float matrix[9] = {};
    EXPECT_EQ(CpiSetColourMatrix(c, matrix), uint32_t(kCpiOk));
    EXPECT_EQ(CpiGetColourMatrix(c, matrix), uint32_t(kCpiOk));
}

TEST_F(ColourTest, MatrixExportsRejectNullMatrices) {
    openCamera(0x1950);
    colour.clearLog();
    EXPECT_EQ(CpiSetColourMatrix(c, nullptr), uint32_t(kCpiBadValue));
    EXPECT_EQ(CpiGetColourMatrix(c, nullptr), uint32_t(kCpiBadValue));
    EXPECT_TRUE(colour.log().empty());
}

} // namespace
} // namespace kerris::camera::testing
