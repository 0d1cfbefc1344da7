// Scratch files for the clip mail fuzz targets.
#include "fuzz/clipmail/fuzz_files.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace kerris::clipmail::fuzz {

const std::string& scratchFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/kerris-clipmail-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made)
            std::abort();
        return std::string(made) + "/";
    }();
    return folder;
}

void replaceFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

} // namespace kerris::clipmail::fuzz
