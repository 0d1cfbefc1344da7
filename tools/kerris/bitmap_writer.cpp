// Writing picture records as bitmap files: layout, temporary file, sync, no-replace rename.
#include "tools/kerris/bitmap_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kerris::tool {

namespace {

constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint16_t kBitmapMagic = 0x4D42; // "BM"

// The temporary file being written, for the signal handler: a fixed buffer, no allocation.
char g_temporary[4096];
std::atomic<bool> g_temporaryLive{false};

void putLittle16(std::uint8_t* at, std::uint16_t v) {
    at[0] = std::uint8_t(v);
    at[1] = std::uint8_t(v >> 8);
}

void putLittle32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        at[i] = std::uint8_t(v >> (8 * i));
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size, std::string& error) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::strerror(errno);
            return false;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

// Gives the finished temporary file its name. 0, EEXIST, or another errno.
int linkIntoPlace(const std::string& temporary, const std::string& path) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // A file system without the no-replace rename: a hard link never replaces either.
    if (::link(temporary.c_str(), path.c_str()) != 0)
        return errno;
    ::unlink(temporary.c_str());
    return 0;
}

} // namespace

std::optional<BitmapLayout> bitmapLayout(const CpiImage& header) {
    if (header.width <= 0 || header.height <= 0)
        return std::nullopt;
    BitmapLayout layout;
    if (header.coloursUsed != 0)
        layout.colourCount = header.coloursUsed;
    else if (header.bitsPerPixel <= 8)
        layout.colourCount = 1u << header.bitsPerPixel;
    std::uint64_t image = header.imageSize;
    if (header.compression == 0) {
        const std::uint64_t rowBytes =
            (std::uint64_t(header.width) * header.bitsPerPixel + 31) / 32 * 4;
        image = rowBytes * std::uint64_t(header.height);
    } else if (image == 0) {
        return std::nullopt;
    }
    const std::uint64_t offset = kFileHeaderSize + kInfoHeaderSize + 4ull * layout.colourCount;
    const std::uint64_t file = offset + image;
    if (file > 0xFFFFFFFFull)
        return std::nullopt;
    layout.imageSize = std::uint32_t(image);
    layout.pixelOffset = std::uint32_t(offset);
    layout.fileSize = std::uint32_t(file);
    return layout;
}

WriteOutcome writeBitmapFile(CpiImage* record, std::size_t recordBytes, const std::string& path,
                             std::string& error) {
    const auto layout = bitmapLayout(*record);
    if (!layout) {
        error = "the picture has no valid size";
        return WriteOutcome::Failed;
    }
    if (layout->recordBytes() > recordBytes) {
        error = "the picture record is shorter than its header says";
        return WriteOutcome::Failed;
    }
    if (record->compression == 0)
        record->imageSize = layout->imageSize;

    std::uint8_t fileHeader[kFileHeaderSize] = {};
    putLittle16(fileHeader, kBitmapMagic);
    putLittle32(fileHeader + 2, layout->fileSize);
    putLittle32(fileHeader + 10, layout->pixelOffset);

    std::string temporary = folderOf(path) + "/.kerris-XXXXXX";
    if (temporary.size() >= sizeof g_temporary) {
        error = "the folder name is too long";
        return WriteOutcome::Failed;
    }
    std::vector<char> pattern(temporary.begin(), temporary.end());
    pattern.push_back('\0');
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot create a file: ") + std::strerror(errno);
        return WriteOutcome::Failed;
    }
    temporary.assign(pattern.data());
    std::memcpy(g_temporary, pattern.data(), pattern.size());
    g_temporaryLive = true;

    // mkostemp makes the file private; give it the permissions a new file normally has.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    bool ok =
        writeAll(fd, fileHeader, sizeof fileHeader, error) &&
        writeAll(fd, reinterpret_cast<const std::uint8_t*>(record), layout->recordBytes(), error);
    if (ok && ::fsync(fd) != 0) {
        error = std::string("cannot sync the file: ") + std::strerror(errno);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error = std::string("cannot close the file: ") + std::strerror(errno);
        ok = false;
    }
    WriteOutcome outcome = WriteOutcome::Failed;
    if (ok) {
        const int status = linkIntoPlace(temporary, path);
        if (status == 0) {
            outcome = WriteOutcome::Written;
        } else if (status == EEXIST) {
            outcome = WriteOutcome::NameTaken;
        } else {
            error = std::string("cannot name the file: ") + std::strerror(status);
        }
    } else if (error.rfind("cannot", 0) != 0) {
        error = "cannot write the file: " + error;
    }
    if (outcome != WriteOutcome::Written)
        ::unlink(temporary.c_str());
    g_temporaryLive = false;

    if (outcome == WriteOutcome::Written) {
        // Make the new name itself durable; a failure here leaves a complete file, so it is
        // not reported.
        const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    }
    return outcome;
}

void removeTemporaryOnSignal() {
    if (g_temporaryLive)
        ::unlink(g_temporary);
}

} // namespace kerris::tool
