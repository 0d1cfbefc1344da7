// The hive files on disk: where they are, the cached parse for reads, and the locked,
// atomic read-modify-replace cycle of every write, with the handling of damaged files.
#pragma once

#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace kerris::registry::detail {

// "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT".
std::string_view hiveRootName(Hive hive);

// The hive as it is on disk now. A missing file is an empty hive. Null when the file cannot
// be read or parsed: reads of a damaged hive find nothing and leave it where it is (only a
// write reports it and moves it aside). Parses are cached per file, keyed on its device,
// inode, size, modification and change times; an entry is trusted only once the file's
// modification time lies clearly before the parse, so a change within the file system's
// timestamp granularity is never missed.
std::shared_ptr<const HiveTree> loadHive(Hive hive);

enum class EditResult { Changed, Unchanged, Failed };

// Applies one change to the hive: creates the folder, takes the exclusive advisory lock on
// "<file>.lock", reads the current file (a damaged one is reported and moved aside as
// "<file>.corrupt-<n>", the first free n, never replacing an earlier one), calls edit, and when
// edit returns true writes the new text to a temporary file in the same folder, syncs it,
// renames it over the hive and syncs the folder. Failed when any step before the rename fails;
// the hive file is then as it was and no temporary file is left behind.
EditResult modifyHive(Hive hive, const std::function<bool(HiveTree&)>& edit);

// The steps of modifyHive, for fault injection in tests.
enum class StoreStep {
    CreateFolder,
    OpenLock,
    Lock,
    ReadHive,
    MoveAside,
    CreateTemp,
    WriteTemp,
    SyncTemp,
    Rename,
};

// Test hook: when set, a step for which it returns true fails as an I/O error would.
// Pass an empty function to remove it.
void setFaultInjector(std::function<bool(StoreStep step)> injector);

// Forgets every cached parse, so the next read parses the file again.
void clearHiveCache();

// How many times this process has parsed a hive file (tests check the cache with it).
uint64_t hiveParseCount();

} // namespace kerris::registry::detail
