// Run-time library loading over dlopen with the project's search order.
#include "module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace kerris::module {

std::string libraryFileName(std::string_view name) {
    std::string base(name);
    auto endsWith = [&](std::string_view suffix) {
        if (base.size() < suffix.size())
            return false;
        for (size_t i = 0; i < suffix.size(); ++i) {
            char a = base[base.size() - suffix.size() + i];
            if (a >= 'A' && a <= 'Z')
                a = char(a - 'A' + 'a');
            if (a != suffix[i])
                return false;
        }
        return true;
    };
    if (endsWith(".so") || base.find(".so.") != std::string::npos)
        return base;
    if (endsWith(".dll"))
        base.resize(base.size() - 4);
    return "lib" + base + ".so";
}

std::string executableFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "./";
    std::string folder = exe.parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

Handle load(std::string_view name) {
    if (name.empty())
        return nullptr;
    const std::string file = libraryFileName(name);
    // A name with a folder in it is taken as it stands.
    if (file.find('/') != std::string::npos)
        return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);

    std::vector<std::string> folders;
    if (const char* path = std::getenv("KERRIS_MODULE_PATH")) {
        std::string_view rest(path);
        while (!rest.empty()) {
            size_t colon = rest.find(':');
            std::string_view part = rest.substr(0, colon);
            if (!part.empty())
                folders.emplace_back(part);
            if (colon == std::string_view::npos)
                break;
            rest.remove_prefix(colon + 1);
        }
    }
    // KERRIS_MODULE_PATH_ONLY=1 confines the search to KERRIS_MODULE_PATH, so that a test can
    // make a library missing although the build tree holds the real one.
    const char* only = std::getenv("KERRIS_MODULE_PATH_ONLY");
    const bool pathOnly = only && only[0] == '1';
    if (!pathOnly) {
        const std::string exeFolder = executableFolder();
        folders.push_back(exeFolder);
        folders.push_back(exeFolder + "../lib");
    }

    for (const auto& folder : folders) {
        std::string candidate = folder;
        if (candidate.back() != '/')
            candidate += '/';
        candidate += file;
        if (access(candidate.c_str(), F_OK) != 0)
            continue;
        if (Handle h = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL))
            return h;
    }
    if (pathOnly)
        return nullptr;
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* symbol(Handle library, const char* name) {
    if (!library || !name)
        return nullptr;
    return dlsym(library, name);
}

bool release(Handle library) {
    if (!library)
        return false;
    return dlclose(library) == 0;
}

} // namespace kerris::module
