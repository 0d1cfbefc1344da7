// Reading bitmap files from disk into memory. A file is read whole, once, and never mapped, so
// another program that rewrites or truncates it meanwhile cannot take the reader down; nothing
// that is not a regular file is opened in a way that could block.
#pragma once

#include "platform/bitmap/bitmap_reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kerris::bitmap {

// The largest file read: the largest picture kMaxBitmapSide allows, its headers and table.
inline constexpr uint64_t kMaxBitmapFileBytes =
    uint64_t(kMaxBitmapSide) * uint64_t(kMaxBitmapSide) * 4 + 65536;

// Reads the whole regular file at `path` into `bytes`. CannotOpen for a missing, unreadable
// or non-regular file (FIFOs and devices are refused without blocking); NotBitmap for a file
// larger than `maxBytes`. `bytes` is written only on success (an empty file gives no bytes).
BitmapError readFileBytes(const std::string& path, std::vector<uint8_t>& bytes,
                          uint64_t maxBytes = kMaxBitmapFileBytes);

// A bitmap file read into memory and checked; `view` points into `bytes`.
struct LoadedBitmap {
    LoadedBitmap() = default;
    LoadedBitmap(LoadedBitmap&&) = default;
    LoadedBitmap& operator=(LoadedBitmap&&) = default;
    LoadedBitmap(const LoadedBitmap&) = delete;
    LoadedBitmap& operator=(const LoadedBitmap&) = delete;

    std::vector<uint8_t> bytes;
    BitmapView view;
};

// readFileBytes, then parseBitmapFile. `out` is written only on success.
BitmapError loadBitmapFile(const std::string& path, LoadedBitmap& out, const ReadRules& rules = {});

} // namespace kerris::bitmap
