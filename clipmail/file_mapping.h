// A read-only memory mapping of a whole file, the stand-in for the file / mapping / view trio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kerris::clipmail {

// Owns an open file descriptor and a read-only view of the whole file. Empty after a failed
// open. Move-only; the destructor unmaps and closes (view first, then the file).
class FileMapping {
public:
    FileMapping() = default;
    FileMapping(FileMapping&& other) noexcept;
    FileMapping& operator=(FileMapping&& other) noexcept;
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;
    ~FileMapping();

    // Opens an existing regular file for reading and maps all of it. False when the file is
    // missing, cannot be opened, is not a regular file or is empty (an empty file cannot be
    // mapped); the object is then empty. shareRead is kept for the callers' sake: files opened
    // for reading are always shared on this platform.
    bool open(const std::string& path, bool shareRead);

    // Unmaps the view and closes the file, in this order.
    void close();

    bool isOpen() const { return m_view != nullptr; }
    const uint8_t* data() const { return m_view; }
    size_t size() const { return m_size; }

private:
    int m_fd = -1;
    const uint8_t* m_view = nullptr;
    size_t m_size = 0;
};

} // namespace kerris::clipmail
