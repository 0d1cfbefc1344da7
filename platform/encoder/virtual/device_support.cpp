// Lock files, the stop-after fault and the install check of the virtual devices.
#include "platform/encoder/virtual/device_support.h"

#include "platform/encoder/virtual_devices.h"
#include "platform/registry/registry.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kerris::encoder {

bool virtualDevicesInstalled() {
    const auto key = registry::Key::open(registry::Hive::LocalMachine, virtualdev::kDevicesKey);
    return key && key->readString(kVirtualCameraName) && key->readString(kVirtualMicrophoneName);
}

namespace virtualdev {

namespace {

bool perUserFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime;
}

} // namespace

std::string lockFolder() {
    return perUserFolder() ? std::string(std::getenv("XDG_RUNTIME_DIR")) : std::string("/tmp");
}

std::string lockFilePath(const std::string& baseName) {
    if (perUserFolder())
        return lockFolder() + "/" + baseName + ".lock";
    return "/tmp/" + baseName + "-" + std::to_string(::getuid()) + ".lock";
}

DeviceLock::~DeviceLock() {
    if (m_fd >= 0)
        ::close(m_fd); // closing the last descriptor of the open file drops the flock
}

bool DeviceLock::acquire(const std::string& baseName, const std::string& kind,
                         const std::string& name, std::string& error) {
    if (m_fd >= 0)
        return true;
    const std::string path = lockFilePath(baseName);
    // No following of links: the file may sit in a folder every user writes to.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = "The " + kind + " device \"" + name + "\" cannot be opened: its lock file \"" +
                path + "\" cannot be made: " + std::strerror(errno);
        return false;
    }
    int result;
    do
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int cause = errno;
        ::close(fd);
        if (cause == EWOULDBLOCK)
            error = "The " + kind + " device \"" + name + "\" is in use by another program";
        else
            error = "The " + kind + " device \"" + name + "\" cannot be opened: its lock file \"" +
                    path + "\" cannot be locked: " + std::strerror(cause);
        return false;
    }
    m_fd = fd;
    return true;
}

uint32_t stopAfterMilliseconds(const char* valueName) {
    const auto key = registry::Key::open(registry::Hive::LocalMachine, kSettingsKey);
    if (!key)
        return 0;
    return key->readDword(valueName).value_or(0);
}

} // namespace virtualdev

} // namespace kerris::encoder
