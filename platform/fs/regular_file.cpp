// Opening regular files for reading without blocking.
#include "platform/fs/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kerris::fs {

namespace {

// The errno of a file that is not a regular one.
int notRegularError(mode_t mode) {
    return S_ISDIR(mode) ? EISDIR : EINVAL;
}

} // namespace

int openRegularFileForReading(const std::string& path) {
    if (path.empty()) {
        errno = EINVAL;
        return -1;
    }
    // Opening some devices has effects of its own, and opening a FIFO waits for a writer:
    // look before opening, so that in the ordinary case nothing else is opened at all.
    struct stat before;
    if (::stat(path.c_str(), &before) != 0)
        return -1;
    if (!S_ISREG(before.st_mode)) {
        errno = notRegularError(before.st_mode);
        return -1;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    // The name may have been given to something else between the look and the open.
    struct stat opened;
    int error = 0;
    if (::fstat(fd, &opened) != 0)
        error = errno;
    else if (!S_ISREG(opened.st_mode))
        error = notRegularError(opened.st_mode);
    else {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
            error = errno;
    }
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace kerris::fs
