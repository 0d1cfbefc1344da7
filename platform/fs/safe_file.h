// Safe file writing, the one way every program of the suite writes a file that others read:
// the bytes go to a new file beside the target, are synced, and only a complete file takes
// the target's name, either never replacing what is there (downloads, pictures) or replacing
// it atomically (settings, hives). A failed or interrupted write leaves the target as it was
// and nothing of its own behind.
//
// The new file is an unnamed one (O_TMPFILE) where the file system has them, so even a writer
// killed with SIGKILL leaves nothing; elsewhere it is a hidden ".kerris-XXXXXX" file beside
// the target, removed on failure and, should a writer die, by the next writer in that folder
// once it is older than kStaleTemporaryAge.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace kerris::fs {

enum class Commit {
    NoReplace, // the target's name must be free; a name taken meanwhile is reported, not replaced
    Replace,   // the complete file replaces the target in one step
};

enum class CommitResult {
    Committed, // the target holds the new bytes
    NameTaken, // NoReplace only: something has the name; nothing was written
    Failed,    // error() says why; nothing was left behind
};

// The prefix of the hidden temporary files of the fallback.
inline constexpr std::string_view kTemporaryPrefix = ".kerris-";
inline constexpr std::chrono::minutes kStaleTemporaryAge{10};

class SafeFile {
public:
    // Starts a new file for `target` (mode before the umask). Null with `error` set when the
    // folder cannot take a new file. A process that writes through SafeFile has SIGXFSZ
    // ignored, so a write past the file-size limit fails as a full disk does instead of
    // killing the program.
    static std::unique_ptr<SafeFile> create(const std::string& target, std::string& error,
                                            mode_t mode = 0666);
    // Discards the file unless it was committed.
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Appends bytes; false (and error() set) on any failure, after which only the destructor
    // is of use.
    bool write(const void* data, std::size_t size);
    bool write(std::string_view text) { return write(text.data(), text.size()); }
    // The open descriptor, for fchmod and the like.
    int descriptor() const { return m_fd; }

    // Syncs the file, gives it the target's name as `how` says, and syncs the folder.
    CommitResult commit(Commit how);

    const std::string& error() const { return m_error; }

private:
    SafeFile() = default;
    bool fail(std::string what);
    void discard();

    std::string m_target;
    std::string m_folder;
    std::string m_temporary; // the hidden file's path; empty for an unnamed file
    int m_fd = -1;
    bool m_failed = false;
    bool m_done = false;
    std::string m_error;
};

// The whole content in one call.
CommitResult writeFile(const std::string& target, const void* data, std::size_t size, Commit how,
                       std::string& error, mode_t mode = 0666);
inline CommitResult writeFile(const std::string& target, std::string_view text, Commit how,
                              std::string& error, mode_t mode = 0666) {
    return writeFile(target, text.data(), text.size(), how, error, mode);
}

// Gives an existing file a new name without ever replacing what has that name: Committed,
// NameTaken (nothing changed), or Failed (errno says why). Atomic where the file system can;
// elsewhere, for files, a hard link and an unlink, which never replace either.
CommitResult renameNoReplace(const std::string& from, const std::string& to);

// Removes the hidden temporary files in `folder` that are older than `age` (left by a writer
// that died); returns how many went.
int removeStaleTemporaries(const std::string& folder,
                           std::chrono::seconds age = kStaleTemporaryAge);

namespace detail {
// Tests: write through hidden named files as on a file system without unnamed ones.
void forceNamedTemporaries(bool force);
} // namespace detail

} // namespace kerris::fs
