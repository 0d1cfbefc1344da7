// The camera's colour data: the 36 bytes a camera serves with commands 0x8A / 0x8B and that the
// camera library hands to the colour library unchanged as parameter 26 (kercol::kParamColourData).
//
// Layout, version 1. Multi-byte fields are big-endian, as everything on the camera link.
//
//   offset size  field
//    0     2     tag: the characters "KC" (0x4B, 0x43)
//    2     1     format version: 1
//    3     1     flags: bit 0 = gamma correction on; bits 1-7 must be 0
//    4    18     colour matrix: 9 x s16, row-major 3 x 3, in units of 1/4096 (4096 = 1.0).
//                Row r gives output channel r (0 = red, 1 = green, 2 = blue) as a sum over the
//                input channels red, green, blue of column c.
//   22     2     black offset (u16): sensor level of black, subtracted before the matrix
//   24     2     white level (u16): sensor level of full scale; black offset < white level <= 255
//   26     2     gamma exponent x 1000 (u16), 1000..4000; used when the flag is on (2200 = 2.2)
//   28     6     reserved: written as 0, ignored on reading (still counted by the checksum)
//   34     2     checksum (u16): the sum of bytes 0..33 modulo 65536
//
// A camera that wants its frames reproduced unchanged serves neutralColourData(): the identity
// matrix, black 0, white 255, gamma off.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace kercol {

inline constexpr std::size_t kColourDataSize = 36;
inline constexpr std::uint8_t kColourDataTag0 = 0x4B; // 'K'
inline constexpr std::uint8_t kColourDataTag1 = 0x43; // 'C'
inline constexpr std::uint8_t kColourDataVersion = 1;
inline constexpr std::uint8_t kColourDataFlagGamma = 0x01;
inline constexpr int kMatrixOne = 4096; // fixed-point 1.0 of the matrix entries
inline constexpr std::uint16_t kGammaMilliMin = 1000;
inline constexpr std::uint16_t kGammaMilliMax = 4000;
inline constexpr std::uint16_t kGammaMilliDefault = 2200;

struct ColourData {
    std::int16_t matrix[9]; // row-major, units of 1/4096
    std::uint16_t blackOffset;
    std::uint16_t whiteLevel;
    bool gammaOn;
    std::uint16_t gammaMilli; // exponent x 1000
};

enum class ColourDataError {
    None,
    Tag,      // bytes 0-1 are not "KC"
    Version,  // a format version this library does not read
    Checksum, // bytes 34-35 do not match the sum of bytes 0-33
    Flags,    // a reserved flag bit is set
    Levels,   // black offset >= white level, or white level > 255
    Gamma,    // gamma exponent outside 1000..4000
};

inline constexpr ColourData neutralColourData() {
    return ColourData{
        {kMatrixOne, 0, 0, 0, kMatrixOne, 0, 0, 0, kMatrixOne}, 0, 255, false, kGammaMilliDefault};
}

// The nearest fixed-point entry to a matrix element, saturated to the s16 range (about +-8.0).
inline std::int16_t matrixEntryFromFloat(float value) {
    const double scaled = std::nearbyint(static_cast<double>(value) * kMatrixOne);
    if (!(scaled >= -32768.0)) // also catches NaN
        return -32768;
    if (scaled > 32767.0)
        return 32767;
    return static_cast<std::int16_t>(scaled);
}

inline constexpr float matrixEntryToFloat(std::int16_t entry) {
    return static_cast<float>(entry) / static_cast<float>(kMatrixOne);
}

inline constexpr std::uint16_t colourDataChecksum(const std::uint8_t* bytes) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < kColourDataSize - 2; ++i)
        sum += bytes[i];
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

// Writes the 36-byte form of `data` (version 1, reserved bytes 0, checksum filled in).
inline constexpr void encodeColourData(const ColourData& data, std::uint8_t* out) {
    auto put16 = [out](std::size_t at, std::uint16_t v) {
        out[at] = static_cast<std::uint8_t>(v >> 8);
        out[at + 1] = static_cast<std::uint8_t>(v & 0xFF);
    };
    out[0] = kColourDataTag0;
    out[1] = kColourDataTag1;
    out[2] = kColourDataVersion;
    out[3] = data.gammaOn ? kColourDataFlagGamma : 0;
    for (std::size_t i = 0; i < 9; ++i)
        put16(4 + 2 * i, static_cast<std::uint16_t>(data.matrix[i]));
    put16(22, data.blackOffset);
    put16(24, data.whiteLevel);
    put16(26, data.gammaMilli);
    for (std::size_t i = 28; i < 34; ++i)
        out[i] = 0;
    put16(34, colourDataChecksum(out));
}

// Reads 36 bytes of colour data. On success fills `*out` and returns None; otherwise leaves
// `*out` untouched and says what was wrong.
inline constexpr ColourDataError decodeColourData(const std::uint8_t* in, ColourData* out) {
    auto get16 = [in](std::size_t at) {
        return static_cast<std::uint16_t>((in[at] << 8) | in[at + 1]);
    };
    if (in[0] != kColourDataTag0 || in[1] != kColourDataTag1)
        return ColourDataError::Tag;
    if (in[2] != kColourDataVersion)
        return ColourDataError::Version;
    if (get16(34) != colourDataChecksum(in))
        return ColourDataError::Checksum;
    if ((in[3] & ~kColourDataFlagGamma) != 0)
        return ColourDataError::Flags;
    ColourData data{};
    for (std::size_t i = 0; i < 9; ++i)
        data.matrix[i] = static_cast<std::int16_t>(get16(4 + 2 * i));
    data.blackOffset = get16(22);
    data.whiteLevel = get16(24);
    data.gammaOn = (in[3] & kColourDataFlagGamma) != 0;
    data.gammaMilli = get16(26);
    if (data.whiteLevel > 255 || data.blackOffset >= data.whiteLevel)
        return ColourDataError::Levels;
    if (data.gammaMilli < kGammaMilliMin || data.gammaMilli > kGammaMilliMax)
        return ColourDataError::Gamma;
    *out = data;
    return ColourDataError::None;
}

} // namespace kercol
