// Run-time library loading: a library named "name.dll" is the file "libname.so".
#pragma once

#include <string>
#include <string_view>

namespace kerris::module {

// An opaque handle of a loaded library; null when none.
using Handle = void*;

// "kerriscp.dll" -> "libkerriscp.so"; a name without ".dll" gets "lib" + name + ".so";
// a name that already ends in ".so" is kept.
std::string libraryFileName(std::string_view name);

// Loads a library by its system name. Searched in order: each folder of KERRIS_MODULE_PATH
// (colon-separated), the running executable's folder, "../lib" beside it, then the system's
// default search. With KERRIS_MODULE_PATH_ONLY=1 only the folders of KERRIS_MODULE_PATH are
// searched (tests use it to make a library missing). Loading the same library twice counts
// references, as the system loader does.
// Returns null when it is nowhere to be found or cannot be loaded.
Handle load(std::string_view name);

// The address of an entry point, or null when the library lacks it.
void* symbol(Handle library, const char* name);

// Drops one reference; the library is unloaded with the last one. False for a null handle.
bool release(Handle library);

// The running executable's folder, ending in "/".
std::string executableFolder();

} // namespace kerris::module
