// The names a built shared library exports, read with nm, for the tests that pin a library's
// exports to its contract.
#pragma once

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

namespace kerris::test {

// Every defined dynamic symbol that another module could resolve; local symbols (lower-case
// types other than the weak and unique ones) are left out. Empty when nm cannot run.
inline std::set<std::string> exportedNames(const std::filesystem::path& library) {
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only '" + library.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        char address[64], type[8], name[400];
        if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3 &&
            !std::strchr("tdbrsn", type[0]))
            names.insert(name);
    }
    pclose(pipe);
    return names;
}

} // namespace kerris::test
