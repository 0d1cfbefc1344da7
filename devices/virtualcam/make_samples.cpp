// Writes the virtual camera's sample pictures: synthetic scenes as 24-bit bitmap files, two in
// each of the four picture formats. Usage: make_samples OUTPUT_FOLDER
#include "devices/virtualcam/bitmap_file.h"
#include "devices/virtualcam/raw_frame.h"
#include "devices/virtualcam/scenes.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

int main(int argc, char** argv) {
    using namespace kerris::virtualcam;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "make_samples: cannot create %s: %s\n", folder.c_str(),
                     ec.message().c_str());
        return 1;
    }
    // Formats in the order 640 x 480, 352 x 288, 320 x 240, 176 x 144; scenes in turn.
    static constexpr int kOrder[] = {1, 0, 3, 2};
    int number = 1, scene = 0;
    for (int code : kOrder) {
        const ImageFormat& format = *formatOfCode(uint32_t(code));
        for (int k = 0; k < 2; ++k, ++number, ++scene) {
            char name[64];
            std::snprintf(name, sizeof name, "%02d-%s-%dx%d.bmp", number, sceneName(scene),
                          format.width, format.height);
            if (!writeBitmapFile(folder / name, drawScene(scene, format.width, format.height))) {
                std::fprintf(stderr, "make_samples: cannot write %s\n", (folder / name).c_str());
                return 1;
            }
        }
    }
    return 0;
}
