// Scratch files for the clip mail fuzz targets: a private folder made once per process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kerris::clipmail::fuzz {

// The process's scratch folder, ending in "/", created on first use.
const std::string& scratchFolder();
// Replaces the file at path with exactly these bytes.
void replaceFile(const std::string& path, const uint8_t* data, size_t size);

} // namespace kerris::clipmail::fuzz
