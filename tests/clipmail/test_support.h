// Shared helpers of the clip mail tests: recorded message boxes and hand-made bitmap files.
#pragma once

#include "clipmail/message_box.h"

#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <string>
#include <vector>

namespace kerris::clipmail::test {

// Installs itself as the message box for its lifetime and keeps every text shown.
class RecordingMessages : public MessageBoxes {
public:
    RecordingMessages() { setMessageBoxes(this); }
    ~RecordingMessages() override { setMessageBoxes(nullptr); }
    void show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// A bitmap file built field by field, so tests can set any value, sensible or not.
struct RawBitmap {
    uint16_t type = 0x4D42;
    uint32_t offBits = 0; // 0: computed as 54 + colour table
    uint32_t headerSize = 40;
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    uint32_t clrUsed = 0;
    std::vector<uint32_t> colours; // 0x00RRGGBB, written as blue, green, red, 0
    std::vector<uint8_t> bits;     // appended as they are
    std::vector<uint8_t> bytes() const;
};

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void writeText(const std::string& path, const std::string& text);
std::vector<uint8_t> readBytes(const std::string& path);

// A solid picture of the given size and colour.
QImage solidImage(int width, int height, QRgb colour);

} // namespace kerris::clipmail::test
