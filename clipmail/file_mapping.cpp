// Read-only whole-file mappings over open/mmap.
#include "clipmail/file_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace kerris::clipmail {

FileMapping::FileMapping(FileMapping&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_view(std::exchange(other.m_view, nullptr)),
      m_size(std::exchange(other.m_size, 0)) {}

FileMapping& FileMapping::operator=(FileMapping&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_view = std::exchange(other.m_view, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

FileMapping::~FileMapping() { close(); }

bool FileMapping::open(const std::string& path, bool /*shareRead*/) {
    close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        ::close(fd);
        return false;
    }
    size_t size = static_cast<size_t>(st.st_size);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (view == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_view = static_cast<const uint8_t*>(view);
    m_size = size;
    return true;
}

void FileMapping::close() {
    if (m_view)
        ::munmap(const_cast<uint8_t*>(m_view), m_size);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_view = nullptr;
    m_size = 0;
}

} // namespace kerris::clipmail
