// A serialisation archive over a file: the object reads itself from it or writes itself to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace kerris::clipmail {

// Thrown by Archive on a failing read, write or flush of its file.
class ArchiveException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Buffered sequential access to one file, either loading (reading) or storing (writing).
// The archive does not own a file it was given; it owns one it opened.
class Archive {
public:
    enum class Mode { Load, Store };

    // Opens path for reading (Load) or creates / truncates it for writing (Store).
    // isOpen() tells whether that worked.
    Archive(const std::string& path, Mode mode);
    // Works on an open stream that the caller keeps and closes.
    Archive(std::FILE* file, Mode mode);
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;
    ~Archive();

    bool isOpen() const { return m_file != nullptr; }
    bool isLoading() const { return m_mode == Mode::Load; }
    bool isStoring() const { return m_mode == Mode::Store; }

    // Reads up to size bytes and returns how many arrived; fewer only at the end of the file.
    // Throws ArchiveException when the file reports an error.
    size_t read(void* buffer, size_t size);
    // Writes all size bytes or throws ArchiveException.
    void write(const void* data, size_t size);
    // Pushes buffered output to the file (a no-op while loading). Throws ArchiveException when
    // the file refuses it.
    void flush();
    // Bytes between the current position and the end of the file; 0 when unknown.
    uint64_t remaining() const;

private:
    std::FILE* m_file = nullptr;
    Mode m_mode;
    bool m_owned = false;
};

} // namespace kerris::clipmail
