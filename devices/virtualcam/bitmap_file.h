// Reading and writing 24-bit uncompressed bitmap files, the camera's picture files, over the
// suite's bitmap codec (platform/bitmap).
#pragma once

#include "devices/virtualcam/picture.h"

#include <filesystem>
#include <optional>
#include <string>

namespace kerris::virtualcam {

// Largest width or height accepted from a file: larger ones are refused, not allocated.
inline constexpr int kMaxBitmapSide = 8192;

// Decodes a bitmap file image: a 14-byte file header, a 40-byte (or larger) information header
// with 24 bits per pixel and no compression, rows bottom-up (positive height) or top-down
// (negative height), each padded to 4 bytes. nullopt, with *error set when given, for
// anything else or a file shorter than its headers promise.
std::optional<Picture> decodeBitmap(const uint8_t* data, size_t size, std::string* error = nullptr);
std::optional<Picture> readBitmapFile(const std::filesystem::path& file,
                                      std::string* error = nullptr);

// Encodes a picture as a bottom-up 24-bit bitmap file image; empty for an empty picture.
std::vector<uint8_t> encodeBitmap(const Picture& picture);
// Writes it through the suite's safe file writer (platform/fs), replacing a file of that name
// in one step; false when that failed.
bool writeBitmapFile(const std::filesystem::path& file, const Picture& picture);

} // namespace kerris::virtualcam
