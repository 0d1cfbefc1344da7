// Whole-file reads of bitmap files over open/read.
#include "platform/bitmap/bitmap_file.h"

#include "platform/fs/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kerris::bitmap {

namespace {

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

BitmapError readFileBytes(const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxBytes) {
    // Only a regular file is opened, and never with a wait (a FIFO named like a picture).
    Descriptor file{kerris::fs::openRegularFileForReading(path)};
    if (file.fd < 0)
        return BitmapError::CannotOpen;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        return BitmapError::CannotOpen;
    if (uint64_t(st.st_size) > maxBytes)
        return BitmapError::NotBitmap;
    // The file may grow or shrink while it is read: read until its end, never past maxBytes.
    std::vector<uint8_t> data(std::size_t(st.st_size) + 1);
    std::size_t have = 0;
    for (;;) {
        if (have == data.size()) {
            if (data.size() > maxBytes)
                return BitmapError::NotBitmap;
            data.resize(std::size_t(std::min<uint64_t>(maxBytes + 1, 2 * uint64_t(data.size()))));
        }
        const ssize_t got = ::read(file.fd, data.data() + have, data.size() - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return BitmapError::CannotOpen;
        if (got == 0)
            break;
        have += std::size_t(got);
    }
    if (have > maxBytes)
        return BitmapError::NotBitmap;
    data.resize(have);
    bytes = std::move(data);
    return BitmapError::None;
}

BitmapError loadBitmapFile(const std::string& path, LoadedBitmap& out, const ReadRules& rules) {
    LoadedBitmap loaded;
    if (BitmapError e = readFileBytes(path, loaded.bytes); e != BitmapError::None)
        return e;
    if (BitmapError e =
            parseBitmapFile(loaded.bytes.data(), loaded.bytes.size(), loaded.view, rules);
        e != BitmapError::None)
        return e;
    out = std::move(loaded); // the vector's buffer moves with it, so the view stays valid
    return BitmapError::None;
}

} // namespace kerris::bitmap
