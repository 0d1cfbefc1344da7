// CDib loading under libFuzzer: the file load, the archive read and the attach of any bytes
// (which reach every reader of the bitmap codec: whole files and packed bitmaps), then every
// use of what loaded (picture, palette, writing it back).
#include "clipmail/dib.h"
#include "fuzz/clipmail/fuzz_files.h"

#include <cstdio>
#include <vector>

using namespace kerris::clipmail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::scratchFolder() + "input.bmp";
    fuzz::replaceFile(path, data, size);
    {
        CDib dib;
        if (dib.LoadMapped(path, true)) {
            QImage image = dib.CreateDeviceBitmap();
            if (!image.isNull())
                (void)image.pixel(image.width() - 1, image.height() - 1);
            dib.MakePalette();
            std::FILE* sink = std::fopen("/dev/null", "wb");
            if (sink) {
                Archive out(sink, Archive::Mode::Store);
                dib.Serialize(out);
                std::fclose(sink);
            }
        }
    }
    {
        CDib dib;
        Archive in(path, Archive::Mode::Load);
        if (in.isOpen() && dib.Serialize(in))
            (void)dib.CreateDeviceBitmap();
    }
    {
        // The same bytes as a packed bitmap in memory (no file header), borrowed.
        std::vector<uint8_t> packed(data, data + size);
        CDib dib;
        if (dib.Attach(packed.data(), 0, nullptr, packed.size()))
            (void)dib.CreateDeviceBitmap();
    }
    return 0;
}
