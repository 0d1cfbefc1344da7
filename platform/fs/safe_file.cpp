// Safe file writing: an unnamed (or hidden) file beside the target, synced, then named.
#include "platform/fs/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>

namespace kerris::fs {

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A write past RLIMIT_FSIZE raises SIGXFSZ, whose default ends the process mid-write; ignored,
// the write fails with EFBIG and is reported like a full disk.
void ignoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            std::signal(SIGXFSZ, SIG_IGN);
    });
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // some file systems refuse this; the name is in place all the same
        ::close(fd);
    }
}

std::string describe(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

std::atomic<bool> g_forceNamed{false};

// Each folder is swept for the leftovers of dead writers once per process.
void sweepOnce(const std::string& folder) {
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!swept.insert(folder).second)
            return;
    }
    removeStaleTemporaries(folder);
}

} // namespace

void detail::forceNamedTemporaries(bool force) {
    g_forceNamed = force;
}

std::unique_ptr<SafeFile> SafeFile::create(const std::string& target, std::string& error,
                                           mode_t mode) {
    ignoreFileSizeSignal();
    std::unique_ptr<SafeFile> file(new SafeFile());
    file->m_target = target;
    file->m_folder = folderOf(target);
    sweepOnce(file->m_folder);
    file->m_fd =
        g_forceNamed ? -1 : ::open(file->m_folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (file->m_fd < 0) {
        const int unnamedError = g_forceNamed ? EOPNOTSUPP : errno;
        // Only a file system without unnamed files falls back to a hidden named one.
        if (unnamedError != EOPNOTSUPP && unnamedError != EISDIR && unnamedError != EINVAL &&
            unnamedError != ENOENT) {
            error = describe("cannot create a file", unnamedError);
            return nullptr;
        }
        std::string temporary = file->m_folder + "/" + std::string(kTemporaryPrefix) + "XXXXXX";
        file->m_fd = ::mkostemp(temporary.data(), O_CLOEXEC);
        if (file->m_fd < 0) {
            error = describe("cannot create a file", errno);
            return nullptr;
        }
        file->m_temporary = temporary;
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(file->m_fd, mode & ~mask);
    }
    return file;
}

SafeFile::~SafeFile() {
    if (!m_done)
        discard();
}

bool SafeFile::fail(std::string what) {
    m_failed = true;
    m_error = std::move(what);
    return false;
}

void SafeFile::discard() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    m_temporary.clear();
    m_done = true;
}

bool SafeFile::write(const void* data, std::size_t size) {
    if (m_failed || m_done)
        return false;
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(m_fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(describe("cannot write", errno));
        }
        if (n == 0)
            return fail("cannot write: no room");
        bytes += n;
        size -= std::size_t(n);
    }
    return true;
}

CommitResult SafeFile::commit(Commit how) {
    if (m_failed || m_done) {
        if (m_error.empty())
            m_error = "the file was already finished";
        discard();
        return CommitResult::Failed;
    }
    if (::fsync(m_fd) != 0) {
        fail(describe("cannot write", errno));
        discard();
        return CommitResult::Failed;
    }
    CommitResult result = CommitResult::Committed;
    if (m_temporary.empty()) {
        // An unnamed file gets its name by a link through /proc, which never replaces; for a
        // replacement it is linked under a hidden name first and renamed over the target.
        char self[64];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", m_fd);
        if (how == Commit::NoReplace) {
            if (::linkat(AT_FDCWD, self, AT_FDCWD, m_target.c_str(), AT_SYMLINK_FOLLOW) != 0)
                result = errno == EEXIST ? CommitResult::NameTaken
                                         : (fail(describe("cannot name the file", errno)),
                                            CommitResult::Failed);
        } else {
            std::string hidden;
            for (int attempt = 0; attempt < 100 && result == CommitResult::Committed; ++attempt) {
                char suffix[32];
                std::snprintf(suffix, sizeof suffix, "%d-%ld-%d", int(::getpid()),
                              long(std::time(nullptr)), attempt);
                hidden = m_folder + "/" + std::string(kTemporaryPrefix) + suffix;
                if (::linkat(AT_FDCWD, self, AT_FDCWD, hidden.c_str(), AT_SYMLINK_FOLLOW) == 0)
                    break;
                if (errno != EEXIST) {
                    fail(describe("cannot name the file", errno));
                    result = CommitResult::Failed;
                }
                hidden.clear();
            }
            if (result == CommitResult::Committed && hidden.empty())
                result = (fail("cannot name the file"), CommitResult::Failed);
            if (result == CommitResult::Committed &&
                ::rename(hidden.c_str(), m_target.c_str()) != 0) {
                fail(describe("cannot replace the file", errno));
                ::unlink(hidden.c_str());
                result = CommitResult::Failed;
            }
        }
    } else if (how == Commit::NoReplace) {
        result = renameNoReplace(m_temporary, m_target);
        if (result == CommitResult::Committed)
            m_temporary.clear(); // renamed: nothing of ours is left under the hidden name
        else if (result == CommitResult::Failed)
            fail(describe("cannot name the file", errno));
    } else if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        fail(describe("cannot replace the file", errno));
        result = CommitResult::Failed;
    } else {
        m_temporary.clear();
    }
    discard();
    if (result == CommitResult::Committed)
        syncFolder(m_folder);
    return result;
}

CommitResult writeFile(const std::string& target, const void* data, std::size_t size, Commit how,
                       std::string& error, mode_t mode) {
    auto file = SafeFile::create(target, error, mode);
    if (!file)
        return CommitResult::Failed;
    if (!file->write(data, size)) {
        error = file->error();
        return CommitResult::Failed;
    }
    const CommitResult result = file->commit(how);
    if (result == CommitResult::Failed)
        error = file->error();
    return result;
}

CommitResult renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return CommitResult::Committed;
    if (errno == EEXIST)
        return CommitResult::NameTaken;
    const int renameError = errno;
    if (renameError != EINVAL && renameError != ENOSYS && renameError != ENOTSUP)
        return CommitResult::Failed;
    // The link fallback is for files: a folder keeps the rename's own error.
    struct stat info;
    if (::lstat(from.c_str(), &info) != 0)
        return CommitResult::Failed;
    if (S_ISDIR(info.st_mode)) {
        errno = renameError;
        return CommitResult::Failed;
    }
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno == EEXIST ? CommitResult::NameTaken : CommitResult::Failed;
    if (::unlink(from.c_str()) != 0) {
        const int saved = errno;
        ::unlink(to.c_str());
        errno = saved;
        return CommitResult::Failed;
    }
    return CommitResult::Committed;
}

int removeStaleTemporaries(const std::string& folder, std::chrono::seconds age) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    const std::time_t now = std::time(nullptr);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, kTemporaryPrefix.data(), kTemporaryPrefix.size()) != 0)
            continue;
        struct stat info;
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
            continue;
        if (now - info.st_mtime >= age.count() && ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

} // namespace kerris::fs
