// An image acquisition source: choose a source, take one image from it, write it as a bitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kerris::acquire {

// An acquired image held by the source; 0 is none.
using ImageHandle = uint32_t;

// One source the user can choose.
struct SourceInfo {
    std::string name; // the device name the source is opened by
    std::string vendor;
    std::string model;
    std::string type;
};

// Asks the user to choose one of `sources`; the chosen index, or nullopt when cancelled.
using SourceChooser = std::function<std::optional<std::size_t>(const std::vector<SourceInfo>&)>;

// The entry points of the acquisition library, one operation each. `ordinal` in each comment
// is the entry point's number in the library's table, as the browser's commands name them.
// Every call returns at once except acquire(), which returns when the source delivered an
// image or gave up.
class AcquisitionSource {
public:
    virtual ~AcquisitionSource() = default;

    // Ordinal 26: non-zero when acquisition is possible at all on this system.
    virtual uint32_t isAvailable() = 0;
    // Ordinal 38: lets the user choose the source the next acquisitions use.
    virtual uint32_t selectSource(void* window) = 0;
    // Ordinal 44: the first call of an acquisition; `option` 0 asks for the default behaviour.
    virtual void prepare(uint32_t option) = 0;
    // Ordinal 35: opens the chosen (or else the first) source; non-zero when it is open.
    virtual uint32_t openSource() = 0;
    // Ordinal 2: acquires one image from the open source; its handle, or 0 for none.
    virtual ImageHandle acquire(void* window, uint32_t option) = 0;
    // Ordinals 10 and 12: the image's width and height; 0 for an unusable image or handle.
    virtual uint32_t imageWidth(ImageHandle image) = 0;
    virtual uint32_t imageHeight(ImageHandle image) = 0;
    // Ordinal 49: writes the image as a 24-bit bitmap file (replacing a file of that name
    // only once the new one is complete); non-zero on success.
    virtual uint32_t writeBitmapFile(ImageHandle image, const std::string& fileName) = 0;
    // Ordinal 17: frees the image.
    virtual void freeImage(ImageHandle image) = 0;
    // Ordinal 13: closes the open source (next-to-last call of an acquisition).
    virtual void closeSource() = 0;
    // Ordinal 5: ends the acquisition session (last call of an acquisition).
    virtual void closeSession() = 0;
};

// The entry points by ordinal, for readers of the command that calls them.
struct EntryPoint {
    int ordinal;
    const char* operation;
};
inline constexpr EntryPoint kEntryPoints[] = {
    {2, "acquire"},       {5, "closeSession"}, {10, "imageWidth"},      {12, "imageHeight"},
    {13, "closeSource"},  {17, "freeImage"},   {26, "isAvailable"},     {35, "openSource"},
    {38, "selectSource"}, {44, "prepare"},     {49, "writeBitmapFile"},
};

// A 24-bit image as sources deliver it: rows top-down, R G B.
struct RgbImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// Writes `image` as a 24-bit bitmap file (rows bottom-up, padded to 4 bytes) through the safe
// file writer (platform/fs), replacing a file of that name only once the new one is complete;
// false, with the old file as it was and nothing else left, on failure.
bool WriteRgbBitmap(const RgbImage& image, const std::string& fileName);

} // namespace kerris::acquire
