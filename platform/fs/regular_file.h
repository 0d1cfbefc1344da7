// Opening a file named by a user or found in a folder, without blocking and only when it is a
// regular file: a FIFO, a device or a socket with a picture's name is never opened for reading.
#pragma once

#include <string>

namespace kerris::fs {

// Opens `path` for reading when it names a regular file (symbolic links are followed). Nothing
// that is not a regular file is opened: the path is looked up first, then opened non-blocking
// (so a FIFO or device put in its place meanwhile cannot hold the caller), and the opened file
// is checked again before blocking mode is restored. Returns a descriptor the caller closes
// (close-on-exec set), or -1 with errno set: that of the failed call, EISDIR for a folder,
// EINVAL for anything else that is not a regular file or an empty path.
int openRegularFileForReading(const std::string& path);

} // namespace kerris::fs
