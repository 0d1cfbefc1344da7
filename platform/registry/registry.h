// The registry stand-in: typed values under keys of three hives, each hive one REGEDIT4 file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kerris::registry {

// The three hives the system uses. Their files, in hiveDirectory():
// CurrentUser = "user.reg", LocalMachine = "system.reg", ClassesRoot = "classes.reg".
enum class Hive { CurrentUser, LocalMachine, ClassesRoot };

// Value types with their registry numbers. Other numbers read from a file (hex(N):) are kept
// as they are and reported by read(); the typed reads fail on them.
inline constexpr uint32_t kTypeString = 1;       // REG_SZ
inline constexpr uint32_t kTypeExpandString = 2; // REG_EXPAND_SZ
inline constexpr uint32_t kTypeBinary = 3;       // REG_BINARY
inline constexpr uint32_t kTypeDword = 4;        // REG_DWORD
inline constexpr uint32_t kTypeMultiString = 7;  // REG_MULTI_SZ

struct Value {
    uint32_t type = 0;
    std::vector<uint8_t> data; // REG_SZ: the text's bytes without the terminating NUL
};

// The folder of the hive files: $KERRIS_REGISTRY_DIR, else $XDG_CONFIG_HOME/kerris, else
// ~/.config/kerris. Read from the environment at every call, so tests can move it.
std::filesystem::path hiveDirectory();
std::filesystem::path hiveFile(Hive hive);

// Damaged hives. A hive file that exists but cannot be parsed (no "REGEDIT4" header, a value
// line outside any key, a key of another hive, a malformed value line, truncated hex, a bad
// dword, a NUL byte; see platform/registry/hive_file.h) is never overwritten silently. The first
// read or write that finds it moves it aside as "<name>.corrupt-<n>" (the first n not taken; an
// earlier one is never replaced) and reports it; reads then find an empty hive and a write
// starts a fresh hive holding just that change. When it cannot be moved (a folder that is not
// ours to change), reads find nothing, writes fail, and it is reported once as it stands. A file
// that cannot be read at all (no permission, a folder or another non-regular file, larger than
// any hive) is left alone: reads find nothing, writes fail, and it is reported once as it stands.
//
// The reporter is called once per damaged or unreadable hive file with a one-line description
// naming the file, why it cannot be used and, when it was moved, where to; after the move and
// outside the hive's lock (so it may use the registry). The default writes to stderr; a program
// sets its own to show its message. Pass an empty function to restore the default.
void setDamageReporter(std::function<void(const std::string& message)> reporter);

// An open key. Key paths use "\" between names ("SOFTWARE\VELTRANE\Lumicart"); key and value
// names compare case-insensitively (ASCII) and keep the case they were created with.
// The empty value name is the key's default value ("@" in the file). Empty path parts are
// skipped ("Software\Veltrane\" names two keys; "" is the hive's root); key names holding
// CR, LF or NUL and paths deeper than 512 levels are refused (open/create give nullopt).
// Reads see the hive file as it is at the time of the read; every write re-reads the hive
// under an advisory lock, applies the one change and replaces the file atomically.
class Key {
public:
    // Opens an existing key; nullopt when it does not exist (or its hive cannot be read).
    static std::optional<Key> open(Hive hive, std::string_view path);
    // Opens a key, creating it and its missing parents; *created tells whether it was new.
    // nullopt when the hive cannot be written.
    static std::optional<Key> create(Hive hive, std::string_view path, bool* created = nullptr);
    // Removes a key with its values and sub-keys; false when it did not exist or the write failed.
    static bool remove(Hive hive, std::string_view path);

    Key(Key&&) noexcept;
    Key& operator=(Key&&) noexcept;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key();

    // Typed reads: nullopt when the value is missing, the key was removed meanwhile, or the
    // value has another type (a REG_DWORD must be exactly 4 bytes).
    std::optional<std::string> readString(std::string_view name) const;
    std::optional<uint32_t> readDword(std::string_view name) const;
    std::optional<std::vector<uint8_t>> readBinary(std::string_view name) const;
    // Any type, as stored.
    std::optional<Value> read(std::string_view name) const;

    // Writes one value (creating the key again if it was removed meanwhile). False when the
    // hive could not be written; the file is then as it was.
    bool writeString(std::string_view name, std::string_view text);
    bool writeDword(std::string_view name, uint32_t value);
    bool writeBinary(std::string_view name, const void* data, size_t size);
    bool write(std::string_view name, const Value& value);
    bool removeValue(std::string_view name);

    std::vector<std::string> valueNames() const;
    std::vector<std::string> subKeyNames() const;
    bool hasSubKey(std::string_view name) const;

    Hive hive() const { return m_hive; }
    const std::string& path() const { return m_path; }

    // Releases the key; later calls on it fail. The destructor closes too.
    void close();
    bool isOpen() const { return m_open; }

private:
    Key(Hive hive, std::string path) : m_hive(hive), m_path(std::move(path)), m_open(true) {}
    Hive m_hive;
    std::string m_path;
    bool m_open = false;
};

} // namespace kerris::registry
