// Colour library parameters, colour data and handles: sizes, ranges, what a refused call leaves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>

#include "devices/kercol/colour_data.h"
#include "devices/kercol/kercol.h"
#include "tests/devices/kercol_pictures.h"

using namespace kercol_test;

namespace {

struct ParameterSize {
    std::uint32_t number;
    std::uint32_t size;
};

// Each parameter with its size; a valid value of that size is the device default's.
constexpr ParameterSize kParameters[] = {
    {KERC_PARAM_BLACK_OFFSET, 2}, {KERC_PARAM_WHITE_LEVEL, 2},    {KERC_PARAM_MATRIX, 36},
    {KERC_PARAM_GAMMA, 1},        {KERC_PARAM_GAMMA_EXPONENT, 2}, {KERC_PARAM_MODE, 4},
    {KERC_PARAM_COLOUR_DATA, 36},
};

// The whole observable state of a handle, to check that refused calls change nothing.
std::vector<std::uint8_t> snapshot(std::uint32_t handle) {
    std::vector<std::uint8_t> all;
    for (const auto& p : kParameters) {
        std::vector<std::uint8_t> value(p.size);
        EXPECT_EQ(KERC_QueryParameter(handle, p.number, value.data(), p.size), 0u) << p.number;
        all.insert(all.end(), value.begin(), value.end());
    }
    return all;
}

std::vector<std::uint8_t> colourData(const kercol::ColourData& data) {
    std::vector<std::uint8_t> bytes(kercol::kColourDataSize);
    kercol::encodeColourData(data, bytes.data());
    return bytes;
}

} // namespace

TEST(KercolParameters, EachTakesExactlyItsSize) {
    Handle h;
    const auto before = snapshot(h);
    for (const auto& p : kParameters) {
        std::vector<std::uint8_t> value(p.size + 8, 0);
        ASSERT_EQ(KERC_QueryParameter(h, p.number, value.data(), p.size), 0u);
        for (std::uint32_t size : {0u, p.size - 1, p.size + 1, 0xFFFFFFFFu}) {
            EXPECT_EQ(KERC_SetParameter(h, p.number, value.data(), size),
                      std::uint32_t(KERC_ERR_SIZE))
                << "set " << p.number << " size " << size;
            std::vector<std::uint8_t> buffer(p.size + 8, 0xA5);
            EXPECT_EQ(KERC_QueryParameter(h, p.number, buffer.data(), size),
                      std::uint32_t(KERC_ERR_SIZE))
                << "query " << p.number << " size " << size;
            EXPECT_EQ(buffer, std::vector<std::uint8_t>(p.size + 8, 0xA5)) << "buffer written";
        }
        // Writing back what was read is accepted and changes nothing.
        EXPECT_EQ(KERC_SetParameter(h, p.number, value.data(), p.size), 0u) << p.number;
    }
    EXPECT_EQ(snapshot(h), before);
}

TEST(KercolParameters, QueryWritesOnlyTheParametersBytes) {
    Handle h;
    for (const auto& p : kParameters) {
        std::vector<std::uint8_t> buffer(p.size + 16, 0xA5);
        ASSERT_EQ(KERC_QueryParameter(h, p.number, buffer.data(), p.size), 0u);
        for (std::size_t i = p.size; i < buffer.size(); ++i)
            EXPECT_EQ(buffer[i], 0xA5) << "parameter " << p.number << " byte " << i;
    }
}

TEST(KercolParameters, UnknownNumbersAndNullPointersAreRefused) {
    Handle h;
    std::uint8_t buffer[64] = {};
    for (std::uint32_t number : {1u, 3u, 10u, 12u, 16u, 19u, 23u, 25u, 27u, 0xFFFFFFFFu}) {
        EXPECT_EQ(KERC_SetParameter(h, number, buffer, 4), std::uint32_t(KERC_ERR_PARAMETER))
            << number;
        EXPECT_EQ(KERC_QueryParameter(h, number, buffer, 4), std::uint32_t(KERC_ERR_PARAMETER))
            << number;
    }
    EXPECT_EQ(KERC_SetParameter(h, KERC_PARAM_MATRIX, nullptr, 36),
              std::uint32_t(KERC_ERR_POINTER));
    EXPECT_EQ(KERC_QueryParameter(h, KERC_PARAM_MATRIX, nullptr, 36),
              std::uint32_t(KERC_ERR_POINTER));
}

TEST(KercolParameters, ValuesOutOfRangeChangeNothing) {
    Handle h;
    const auto before = snapshot(h);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto u16 = [](std::uint16_t v) {
        std::vector<std::uint8_t> b(2);
        std::memcpy(b.data(), &v, 2);
        return b;
    };
    auto u32 = [](std::uint32_t v) {
        std::vector<std::uint8_t> b(4);
        std::memcpy(b.data(), &v, 4);
        return b;
    };
    auto matrix = [](float bad) {
        float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        m[4] = bad;
        std::vector<std::uint8_t> b(36);
        std::memcpy(b.data(), m, 36);
        return b;
    };
    struct Case {
        std::uint32_t number;
        std::vector<std::uint8_t> value;
    } cases[] = {
        {KERC_PARAM_BLACK_OFFSET, u16(255)},
        {KERC_PARAM_BLACK_OFFSET, u16(0xFFFF)},
        {KERC_PARAM_WHITE_LEVEL, u16(0)},
        {KERC_PARAM_WHITE_LEVEL, u16(256)},
        {KERC_PARAM_GAMMA, {2}},
        {KERC_PARAM_GAMMA, {0xFF}},
        {KERC_PARAM_GAMMA_EXPONENT, u16(999)},
        {KERC_PARAM_GAMMA_EXPONENT, u16(4001)},
        {KERC_PARAM_MODE, u32(0)},
        {KERC_PARAM_MODE, u32(2)},
        {KERC_PARAM_MODE, u32(3)},
        {KERC_PARAM_MODE, u32(5)},
        {KERC_PARAM_MATRIX, matrix(nan)},
        {KERC_PARAM_MATRIX, matrix(inf)},
        {KERC_PARAM_MATRIX, matrix(16.5f)},
        {KERC_PARAM_MATRIX, matrix(-17.0f)},
        {KERC_PARAM_COLOUR_DATA, std::vector<std::uint8_t>(36, 0)},
    };
    for (auto& c : cases) {
        EXPECT_EQ(KERC_SetParameter(h, c.number, c.value.data(), std::uint32_t(c.value.size())),
                  std::uint32_t(KERC_ERR_VALUE))
            << "parameter " << c.number;
    }
    EXPECT_EQ(snapshot(h), before);
}

TEST(KercolParameters, ValuesReadBackAsSet) {
    Handle h;
    const std::uint16_t black = 16, white = 250, milli = 1800;
    const std::uint8_t gamma = 1;
    const std::uint32_t mode = KERC_MODE_ANY_FRAME;
    const float m[9] = {2.135f, -1.193f, 0.058f, -0.376f, 1.741f, -0.365f, 0.018f, -1.188f, 2.17f};
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_BLACK_OFFSET, (void*)&black, 2), 0u);
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_WHITE_LEVEL, (void*)&white, 2), 0u);
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_GAMMA_EXPONENT, (void*)&milli, 2), 0u);
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_GAMMA, (void*)&gamma, 1), 0u);
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_MODE, (void*)&mode, 4), 0u);
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_MATRIX, (void*)m, 36), 0u);

    std::uint16_t v16 = 0;
    ASSERT_EQ(KERC_QueryParameter(h, KERC_PARAM_BLACK_OFFSET, &v16, 2), 0u);
    EXPECT_EQ(v16, 16);
    ASSERT_EQ(KERC_QueryParameter(h, KERC_PARAM_WHITE_LEVEL, &v16, 2), 0u);
    EXPECT_EQ(v16, 250);
    ASSERT_EQ(KERC_QueryParameter(h, KERC_PARAM_GAMMA_EXPONENT, &v16, 2), 0u);
    EXPECT_EQ(v16, 1800);
    std::uint8_t v8 = 0;
    ASSERT_EQ(KERC_QueryParameter(h, KERC_PARAM_GAMMA, &v8, 1), 0u);
    EXPECT_EQ(v8, 1);
    std::uint32_t v32 = 0;
    ASSERT_EQ(KERC_QueryParameter(h, KERC_PARAM_MODE, &v32, 4), 0u);
    EXPECT_EQ(v32, 1u);
    float back[9] = {};
    ASSERT_EQ(KERC_QueryParameter(h, KERC_PARAM_MATRIX, back, 36), 0u);
    EXPECT_EQ(std::memcmp(back, m, 36), 0) << "the matrix is kept bit for bit";
}

TEST(KercolParameters, DeviceDefaultsAreNeutralAndRestoreEverything) {
    Handle h;
    std::vector<std::uint8_t> neutral = colourData(kercol::neutralColourData());
    std::vector<std::uint8_t> data(36);
    ASSERT_EQ(KERC_QueryParameter(h, KERC_PARAM_COLOUR_DATA, data.data(), 36), 0u);
    EXPECT_EQ(data, neutral);
    std::uint32_t mode = 0;
    ASSERT_EQ(KERC_QueryParameter(h, KERC_PARAM_MODE, &mode, 4), 0u);
    EXPECT_EQ(mode, std::uint32_t(KERC_MODE_CAMERA_FRAMES));

    const auto fresh = snapshot(h);
    const std::uint16_t black = 30;
    const std::uint32_t one = 1;
    KERC_SetParameter(h, KERC_PARAM_BLACK_OFFSET, (void*)&black, 2);
    KERC_SetParameter(h, KERC_PARAM_MODE, (void*)&one, 4);
    ASSERT_NE(snapshot(h), fresh);
    EXPECT_EQ(KERC_LoadDeviceDefaults(h, 1), std::uint32_t(KERC_ERR_ARGUMENT));
    ASSERT_NE(snapshot(h), fresh);
    EXPECT_EQ(KERC_LoadDeviceDefaults(h, 0), 0u);
    EXPECT_EQ(snapshot(h), fresh);
}

TEST(KercolColourData, SetsMatrixLevelsAndGammaAtOnce) {
    kercol::ColourData data{};
    const float m[9] = {1.5f, -0.25f, -0.25f, -0.125f, 1.25f, -0.125f, 0.0f, -0.5f, 1.5f};
    for (int i = 0; i < 9; ++i)
        data.matrix[i] = kercol::matrixEntryFromFloat(m[i]);
    data.blackOffset = 12;
    data.whiteLevel = 240;
    data.gammaOn = true;
    data.gammaMilli = 2400;
    auto bytes = colourData(data);

    Handle h;
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_COLOUR_DATA, bytes.data(), 36), 0u);
    float back[9];
    ASSERT_EQ(KERC_QueryParameter(h, KERC_PARAM_MATRIX, back, 36), 0u);
    for (int i = 0; i < 9; ++i)
        EXPECT_FLOAT_EQ(back[i], m[i]) << i; // these values are exact in 1/4096 units
    std::uint16_t v16;
    KERC_QueryParameter(h, KERC_PARAM_BLACK_OFFSET, &v16, 2);
    EXPECT_EQ(v16, 12);
    KERC_QueryParameter(h, KERC_PARAM_WHITE_LEVEL, &v16, 2);
    EXPECT_EQ(v16, 240);
    KERC_QueryParameter(h, KERC_PARAM_GAMMA_EXPONENT, &v16, 2);
    EXPECT_EQ(v16, 2400);
    std::uint8_t gamma;
    KERC_QueryParameter(h, KERC_PARAM_GAMMA, &gamma, 1);
    EXPECT_EQ(gamma, 1);
    // Asked back, the colour data is the same 36 bytes.
    std::vector<std::uint8_t> answer(36);
    ASSERT_EQ(KERC_QueryParameter(h, KERC_PARAM_COLOUR_DATA, answer.data(), 36), 0u);
    EXPECT_EQ(answer, bytes);
}

TEST(KercolColourData, NeutralDataReproducesTheMosaicedPicture) {
    Handle h;
    // Start from something far from neutral, as after a sensor matrix.
    const float m[9] = {2.135f, -1.193f, 0.058f, -0.376f, 1.741f, -0.365f, 0.018f, -1.188f, 2.17f};
    KERC_SetParameter(h, KERC_PARAM_MATRIX, (void*)m, 36);
    auto neutral = colourData(kercol::neutralColourData());
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_COLOUR_DATA, neutral.data(), 36), 0u);
    const Picture original = smoothPicture(356, 292);
    EXPECT_GE(psnrAgainstInterior(convert(h, mosaic(original), 356, 292), original), 35.0);
}

TEST(KercolColourData, BadDataIsRefusedAndChangesNothing) {
    const auto good = colourData(kercol::neutralColourData());
    auto withChecksum = [](std::vector<std::uint8_t> b) {
        const std::uint16_t sum = kercol::colourDataChecksum(b.data());
        b[34] = std::uint8_t(sum >> 8);
        b[35] = std::uint8_t(sum & 0xFF);
        return b;
    };
    auto edit = [&](std::size_t at, std::uint8_t v) {
        auto b = good;
        b[at] = v;
        return withChecksum(b);
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        kercol::ColourDataError error;
    } cases[] = {
        {"tag", edit(0, 'X'), kercol::ColourDataError::Tag},
        {"version 2", edit(2, 2), kercol::ColourDataError::Version},
        {"version 0", edit(2, 0), kercol::ColourDataError::Version},
        {"checksum",
         [&] {
             auto b = good;
             b[35] ^= 1;
             return b;
         }(),
         kercol::ColourDataError::Checksum},
        {"a matrix byte without checksum",
         [&] {
             auto b = good;
             b[5] ^= 0x10;
             return b;
         }(),
         kercol::ColourDataError::Checksum},
        {"reserved flag", edit(3, 0x02), kercol::ColourDataError::Flags},
        {"black at white",
         [&] {
             auto b = good;
             b[22] = 0;
             b[23] = 255;
             return withChecksum(b);
         }(),
         kercol::ColourDataError::Levels},
        {"white above 255",
         [&] {
             auto b = good;
             b[24] = 1;
             b[25] = 0;
             return withChecksum(b);
         }(),
         kercol::ColourDataError::Levels},
        {"gamma 0.999",
         [&] {
             auto b = good;
             b[26] = 0x03;
             b[27] = 0xE7;
             return withChecksum(b);
         }(),
         kercol::ColourDataError::Gamma},
        {"gamma 4.001",
         [&] {
             auto b = good;
             b[26] = 0x0F;
             b[27] = 0xA1;
             return withChecksum(b);
         }(),
         kercol::ColourDataError::Gamma},
        {"all zero", std::vector<std::uint8_t>(36, 0), kercol::ColourDataError::Tag},
    };
    for (auto& c : cases) {
        kercol::ColourData sentinel{};
        sentinel.blackOffset = 0xBEEF;
        EXPECT_EQ(kercol::decodeColourData(c.bytes.data(), &sentinel), c.error) << c.what;
        EXPECT_EQ(sentinel.blackOffset, 0xBEEF) << c.what << ": output written on failure";

        Handle h;
        const std::uint16_t black = 7;
        KERC_SetParameter(h, KERC_PARAM_BLACK_OFFSET, (void*)&black, 2);
        const auto before = snapshot(h);
        EXPECT_EQ(KERC_SetParameter(h, KERC_PARAM_COLOUR_DATA, c.bytes.data(), 36),
                  std::uint32_t(KERC_ERR_VALUE))
            << c.what;
        EXPECT_EQ(snapshot(h), before) << c.what;
    }
    // Reserved bytes are ignored as long as the checksum covers them (a later version may use
    // them without being refused by this one).
    auto reserved = edit(30, 0x55);
    kercol::ColourData out{};
    EXPECT_EQ(kercol::decodeColourData(reserved.data(), &out), kercol::ColourDataError::None);
}

TEST(KercolColourData, MatrixEntriesSaturateAtTheFormatsRange) {
    struct Case {
        float in;
        std::int16_t out;
    } cases[] = {
        {1.0f, 4096},     {-1.0f, -4096},
        {0.5f / 4096, 0}, {7.9997f, 32767},
        {8.0f, 32767},    {-8.0f, -32768},
        {-9.5f, -32768},  {std::numeric_limits<float>::quiet_NaN(), -32768},
        {2.135f, 8745},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kercol::matrixEntryFromFloat(c.in), c.out) << c.in;
    // Asked back as colour data, a matrix beyond the format's range comes back saturated.
    Handle h;
    const float big[9] = {12, 0, 0, 0, 1, 0, 0, 0, -12};
    ASSERT_EQ(KERC_SetParameter(h, KERC_PARAM_MATRIX, (void*)big, 36), 0u);
    std::uint8_t bytes[36];
    ASSERT_EQ(KERC_QueryParameter(h, KERC_PARAM_COLOUR_DATA, bytes, 36), 0u);
    kercol::ColourData data{};
    ASSERT_EQ(kercol::decodeColourData(bytes, &data), kercol::ColourDataError::None);
    EXPECT_EQ(data.matrix[0], 32767);
    EXPECT_EQ(data.matrix[8], -32768);
}

TEST(KercolHandles, AreNonZeroDistinctAndIndependent) {
    Handle a, b;
    ASSERT_NE(std::uint32_t(a), 0u);
    ASSERT_NE(std::uint32_t(b), 0u);
    ASSERT_NE(std::uint32_t(a), std::uint32_t(b));
    const std::uint16_t black = 40;
    ASSERT_EQ(KERC_SetParameter(a, KERC_PARAM_BLACK_OFFSET, (void*)&black, 2), 0u);
    std::uint16_t other = 0xFFFF;
    ASSERT_EQ(KERC_QueryParameter(b, KERC_PARAM_BLACK_OFFSET, &other, 2), 0u);
    EXPECT_EQ(other, 0);
}

TEST(KercolHandles, ClosedAndUnknownHandlesAreRefusedEverywhere) {
    const std::uint32_t handle = KERC_Open(0, 0);
    ASSERT_NE(handle, 0u);
    ASSERT_EQ(KERC_Close(handle), 0u);
    std::uint8_t buffer[64] = {};
    for (std::uint32_t bad : {handle, 0u, 0xFFFFFFFFu, 1u}) {
        EXPECT_EQ(KERC_Close(bad), std::uint32_t(KERC_ERR_HANDLE)) << bad;
        EXPECT_EQ(KERC_LoadDeviceDefaults(bad, 0), std::uint32_t(KERC_ERR_HANDLE)) << bad;
        EXPECT_EQ(KERC_SetParameter(bad, KERC_PARAM_GAMMA, buffer, 1),
                  std::uint32_t(KERC_ERR_HANDLE));
        EXPECT_EQ(KERC_QueryParameter(bad, KERC_PARAM_GAMMA, buffer, 1),
                  std::uint32_t(KERC_ERR_HANDLE));
        EXPECT_EQ(KERC_BunchedToBayer(bad, buffer, buffer + 32, 8, 2),
                  std::uint32_t(KERC_ERR_HANDLE));
        EXPECT_EQ(KERC_Colour(bad, buffer, buffer, 5, 5, 0), std::uint32_t(KERC_ERR_HANDLE));
    }
}

TEST(KercolHandles, AreNeverReissuedAfterClosing) {
    std::set<std::uint32_t> seen;
    for (int i = 0; i < 200; ++i) {
        const std::uint32_t handle = KERC_Open(0, 0);
        ASSERT_NE(handle, 0u);
        EXPECT_TRUE(seen.insert(handle).second) << "handle " << handle << " issued twice";
        ASSERT_EQ(KERC_Close(handle), 0u);
    }
}

TEST(KercolHandles, OpenRefusesNonZeroReservedArguments) {
    EXPECT_EQ(KERC_Open(1, 0), 0u);
    EXPECT_EQ(KERC_Open(0, 1), 0u);
}
