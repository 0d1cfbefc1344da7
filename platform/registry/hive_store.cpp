// The hive files on disk: paths, the parse cache, locking, atomic replacement and damage.
#include "platform/registry/hive_store.h"

#include "platform/fs/safe_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace kerris::registry {

namespace {

std::mutex g_reporterMutex;
std::function<void(const std::string&)> g_reporter;

void reportDamage(const std::string& message) {
    std::function<void(const std::string&)> reporter;
    {
        std::lock_guard lock(g_reporterMutex);
        reporter = g_reporter;
    }
    if (reporter)
        reporter(message);
    else
        std::cerr << message << std::endl;
}

std::string environment(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

} // namespace

std::filesystem::path hiveDirectory() {
    std::string dir = environment("KERRIS_REGISTRY_DIR");
    if (!dir.empty())
        return dir;
    // Relative XDG paths are to be ignored, as the base directory rules say.
    std::string xdg = environment("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/')
        return std::filesystem::path(xdg) / "kerris";
    std::string home = environment("HOME");
    if (home.empty()) {
        struct passwd pw;
        struct passwd* found = nullptr;
        char buffer[4096];
        if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
            home = found->pw_dir;
    }
    if (home.empty())
        home = "/";
    return std::filesystem::path(home) / ".config" / "kerris";
}

std::filesystem::path hiveFile(Hive hive) {
    switch (hive) {
    case Hive::CurrentUser:
        return hiveDirectory() / "user.reg";
    case Hive::LocalMachine:
        return hiveDirectory() / "system.reg";
    case Hive::ClassesRoot:
        return hiveDirectory() / "classes.reg";
    }
    return hiveDirectory() / "user.reg";
}

void setDamageReporter(std::function<void(const std::string& message)> reporter) {
    std::lock_guard lock(g_reporterMutex);
    g_reporter = std::move(reporter);
}

namespace detail {

namespace {

// Files larger than this are not taken for hives: reads find nothing, writes fail.
constexpr off_t kMaxHiveSize = off_t{256} << 20;
// A cached parse is trusted only when the file was last modified this long before the parse:
// coarse file system clocks can give a later change the same timestamp.
constexpr int64_t kRacyMarginNs = 100'000'000;
constexpr int kMaxCorruptSuffix = 100000;

std::mutex g_faultMutex;
std::function<bool(StoreStep)> g_faultInjector;

bool injectedFault(StoreStep step) {
    std::function<bool(StoreStep)> injector;
    {
        std::lock_guard lock(g_faultMutex);
        injector = g_faultInjector;
    }
    if (injector && injector(step)) {
        errno = EIO;
        return true;
    }
    return false;
}

int64_t nanoseconds(const struct timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

int64_t nowNs() {
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return nanoseconds(t);
}

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity identityOf(const struct stat& st) {
    return FileIdentity{st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim),
                        nanoseconds(st.st_ctim)};
}

struct CacheEntry {
    FileIdentity identity;
    int64_t parsedAtNs = 0;
    std::shared_ptr<const HiveTree> tree; // null: the file cannot be parsed, error says why
    HiveParseError error;
};

std::mutex g_cacheMutex;
std::atomic<uint64_t> g_parseCount{0};
std::map<std::string, CacheEntry> g_cache;

bool cached(const std::string& path, const FileIdentity& id, std::shared_ptr<const HiveTree>& tree,
            HiveParseError& error) {
    std::lock_guard lock(g_cacheMutex);
    auto it = g_cache.find(path);
    if (it == g_cache.end() || !(it->second.identity == id))
        return false;
    if (id.mtimeNs + kRacyMarginNs > it->second.parsedAtNs ||
        id.ctimeNs + kRacyMarginNs > it->second.parsedAtNs)
        return false;
    tree = it->second.tree;
    error = it->second.error;
    return true;
}

void remember(const std::string& path, const FileIdentity& id, int64_t parsedAtNs,
              std::shared_ptr<const HiveTree> tree, const HiveParseError& error = {}) {
    std::lock_guard lock(g_cacheMutex);
    g_cache[path] = CacheEntry{id, parsedAtNs, std::move(tree), error};
}

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    // Gives up ownership without closing.
    void release() { m_fd = -1; }
    // Closes now and tells whether the close succeeded (a delayed write error shows here).
    bool close() {
        int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool readAll(int fd, off_t size, std::string& out) {
    out.clear();
    out.reserve(static_cast<size_t>(size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        out.append(buffer, static_cast<size_t>(n));
        if (static_cast<off_t>(out.size()) > kMaxHiveSize) {
            errno = EFBIG;
            return false;
        }
    }
}

enum class ReadOutcome { Missing, Parsed, Damaged, Failed };

struct HiveRead {
    ReadOutcome outcome = ReadOutcome::Failed;
    std::shared_ptr<const HiveTree> tree;
    FileIdentity identity;
    mode_t mode = 0644;
    HiveParseError error;
};

// Reads and parses the hive file, through the cache when it may be trusted.
HiveRead readHive(Hive hive, const std::string& path) {
    HiveRead result;
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        result.outcome = errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed;
        return result;
    }
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxHiveSize)
        return result;
    result.identity = identityOf(st);
    result.mode = st.st_mode & 07777;
    std::shared_ptr<const HiveTree> tree;
    if (cached(path, result.identity, tree, result.error)) {
        result.tree = tree;
        result.outcome = tree ? ReadOutcome::Parsed : ReadOutcome::Damaged;
        return result;
    }
    int64_t parsedAt = nowNs();
    std::string text;
    if (!readAll(fd.get(), st.st_size, text))
        return result;
    g_parseCount.fetch_add(1, std::memory_order_relaxed);
    auto parsed = parseHive(text, hiveRootName(hive), &result.error);
    if (parsed) {
        result.tree = std::make_shared<const HiveTree>(std::move(*parsed));
        result.outcome = ReadOutcome::Parsed;
    } else {
        result.outcome = ReadOutcome::Damaged;
    }
    remember(path, result.identity, parsedAt, result.tree, result.error);
    return result;
}

// Moves a damaged hive to the first free "<path>.corrupt-<n>"; the new name, or "" on failure.
std::string moveAside(const std::string& path) {
    if (injectedFault(StoreStep::MoveAside))
        return {};
    for (int n = 1; n <= kMaxCorruptSuffix; ++n) {
        std::string target = path + ".corrupt-" + std::to_string(n);
        switch (kerris::fs::renameNoReplace(path, target)) {
        case kerris::fs::CommitResult::Committed:
            return target;
        case kerris::fs::CommitResult::NameTaken:
            continue;
        case kerris::fs::CommitResult::Failed:
            return {};
        }
    }
    return {};
}

// Temporary files of a writer that died: only a writer holding the lock has one, so any
// found while we hold it are left over.
void removeLeftoverTemporaries(const std::filesystem::path& dir, const std::string& fileName) {
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    std::string prefix = fileName + ".tmp-";
    while (struct dirent* entry = ::readdir(d)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
            ::unlinkat(::dirfd(d), entry->d_name, 0);
    }
    ::closedir(d);
}

std::mutex g_cleanedMutex;
std::set<std::string> g_cleaned; // hives whose leftovers this process has already removed

} // namespace

std::string_view hiveRootName(Hive hive) {
    switch (hive) {
    case Hive::CurrentUser:
        return "HKEY_CURRENT_USER";
    case Hive::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    case Hive::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    }
    return "HKEY_CURRENT_USER";
}

std::shared_ptr<const HiveTree> loadHive(Hive hive) {
    static const auto kEmpty = std::make_shared<const HiveTree>();
    HiveRead r = readHive(hive, hiveFile(hive).string());
    switch (r.outcome) {
    case ReadOutcome::Missing:
        return kEmpty;
    case ReadOutcome::Parsed:
        return r.tree;
    case ReadOutcome::Damaged:
    case ReadOutcome::Failed:
        return nullptr;
    }
    return nullptr;
}

namespace {

// Creates the folder and takes the hive's exclusive lock; an invalid descriptor on failure.
// The lock is on a file of its own because the hive file is replaced, not rewritten.
int lockHive(const std::filesystem::path& dir, const std::string& path) {
    std::error_code ec;
    if (injectedFault(StoreStep::CreateFolder))
        return -1;
    std::filesystem::create_directories(dir, ec);
    if (ec || injectedFault(StoreStep::OpenLock))
        return -1;
    FileDescriptor fd(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.valid() || injectedFault(StoreStep::Lock))
        return -1;
    while (::flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return -1;
    }
    int locked = fd.get();
    fd.release();
    return locked;
}

// Writes text to a new file beside path and puts it in place of path (platform/fs), so a
// crash leaves either the old file or the new one. On failure path is untouched and nothing
// of the write is left.
bool replaceFile(const std::string& path, std::string_view text, mode_t mode) {
    if (injectedFault(StoreStep::CreateTemp))
        return false;
    std::string error;
    auto file = kerris::fs::SafeFile::create(path, error, mode);
    if (!file)
        return false;
    const bool written = !injectedFault(StoreStep::WriteTemp) &&
                         ::fchmod(file->descriptor(), mode) == 0 && file->write(text) &&
                         !injectedFault(StoreStep::SyncTemp);
    if (!written || injectedFault(StoreStep::Rename))
        return false;
    return file->commit(kerris::fs::Commit::Replace) == kerris::fs::CommitResult::Committed;
}

} // namespace

EditResult modifyHive(Hive hive, const std::function<bool(HiveTree&)>& edit) {
    const std::filesystem::path file = hiveFile(hive);
    const std::filesystem::path dir = file.parent_path();
    const std::string path = file.string();
    std::string damageMessage;

    auto result = [&]() -> EditResult {
        FileDescriptor lock(lockHive(dir, path));
        if (!lock.valid())
            return EditResult::Failed;
        {
            std::lock_guard guard(g_cleanedMutex);
            if (g_cleaned.insert(path).second)
                removeLeftoverTemporaries(dir, file.filename().string());
        }

        if (injectedFault(StoreStep::ReadHive))
            return EditResult::Failed;
        HiveRead current = readHive(hive, path);
        HiveTree tree;
        switch (current.outcome) {
        case ReadOutcome::Failed:
            return EditResult::Failed;
        case ReadOutcome::Missing:
            break;
        case ReadOutcome::Parsed:
            tree = *current.tree;
            break;
        case ReadOutcome::Damaged: {
            std::string aside = moveAside(path);
            if (aside.empty())
                return EditResult::Failed;
            damageMessage = "registry: " + path + " cannot be read (line " +
                            std::to_string(current.error.line) + ": " + current.error.reason +
                            "); it was moved to " + aside + " and a fresh hive is started";
            current.mode = 0644;
            break;
        }
        }

        if (!edit(tree))
            return EditResult::Unchanged;
        if (!replaceFile(path, formatHive(tree, hiveRootName(hive)), current.mode))
            return EditResult::Failed;
        // Nobody else replaces the file while we hold the lock, so this is our text's identity.
        struct stat st;
        if (::stat(path.c_str(), &st) == 0)
            remember(path, identityOf(st), nowNs(),
                     std::make_shared<const HiveTree>(std::move(tree)));
        return EditResult::Changed;
    }();
    // Reported after the lock is released, so a reporter that touches the registry cannot
    // wait on its own lock.
    if (!damageMessage.empty())
        reportDamage(damageMessage);
    return result;
}

void setFaultInjector(std::function<bool(StoreStep step)> injector) {
    std::lock_guard lock(g_faultMutex);
    g_faultInjector = std::move(injector);
}

uint64_t hiveParseCount() {
    return g_parseCount.load(std::memory_order_relaxed);
}

void clearHiveCache() {
    std::lock_guard lock(g_cacheMutex);
    g_cache.clear();
}

} // namespace detail

} // namespace kerris::registry
