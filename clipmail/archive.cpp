// Archive over a stdio stream.
#include "clipmail/archive.h"

#include <sys/stat.h>

namespace kerris::clipmail {

Archive::Archive(const std::string& path, Mode mode)
    : m_file(std::fopen(path.c_str(), mode == Mode::Load ? "rbe" : "wbe")), m_mode(mode),
      m_owned(true) {}

Archive::Archive(std::FILE* file, Mode mode) : m_file(file), m_mode(mode), m_owned(false) {}

Archive::~Archive() {
    if (m_file && m_owned)
        std::fclose(m_file);
}

size_t Archive::read(void* buffer, size_t size) {
    if (!m_file || !isLoading())
        throw ArchiveException("archive not open for reading");
    size_t got = std::fread(buffer, 1, size, m_file);
    if (got < size && std::ferror(m_file))
        throw ArchiveException("read failed");
    return got;
}

void Archive::write(const void* data, size_t size) {
    if (!m_file || !isStoring())
        throw ArchiveException("archive not open for writing");
    if (size != 0 && std::fwrite(data, 1, size, m_file) != size)
        throw ArchiveException("write failed");
}

void Archive::flush() {
    if (!m_file)
        throw ArchiveException("archive not open");
    if (isStoring() && std::fflush(m_file) != 0)
        throw ArchiveException("flush failed");
}

uint64_t Archive::remaining() const {
    if (!m_file)
        return 0;
    struct stat st {};
    long pos = std::ftell(m_file);
    if (pos < 0 || ::fstat(fileno(m_file), &st) != 0 || st.st_size < pos)
        return 0;
    return static_cast<uint64_t>(st.st_size - pos);
}

} // namespace kerris::clipmail
