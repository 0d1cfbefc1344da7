// Copying the default skin into place and recording its folder.
#include "clipmail/skin_install.h"

#include "clipmail/destination_folder.h"
#include "platform/fs/safe_file.h"
#include "platform/registry/registry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kerris::clipmail {

namespace fs = std::filesystem;

namespace {

bool readWhole(const fs::path& file, std::string& bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

std::string defaultDestinationFolder() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        base = ".";
    return base + "/kerris/Murvane/";
}

std::string installTargetFolder() {
    std::string folder =
        readRegistryText(registry::Hive::LocalMachine, kMurvaneKey, kDestinationPathValue, "");
    return folder.empty() ? defaultDestinationFolder() : folder;
}

bool installSkin(const std::string& sourceFolder, const std::string& targetFolder,
                 const SkinInstallOptions& options, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    std::error_code ec;
    if (!fs::is_regular_file(fs::path(sourceFolder) / "Panel.ini", ec))
        return fail("no Panel.ini in " + sourceFolder);
    fs::create_directories(targetFolder, ec);
    if (ec)
        return fail("cannot create " + targetFolder + ": " + ec.message());
    for (const fs::directory_entry& entry : fs::directory_iterator(sourceFolder, ec)) {
        if (!entry.is_regular_file())
            continue;
        const fs::path target = fs::path(targetFolder) / entry.path().filename();
        // Installing a folder onto itself leaves every file as it is.
        if (fs::equivalent(entry.path(), target, ec))
            continue;
        ec.clear();
        // A running program may hold the old files open: each new file replaces the old in one
        // step (never rewriting it in place), so a reader sees the old file or the new, whole.
        std::string bytes, why;
        if (!readWhole(entry.path(), bytes))
            return fail("cannot read " + entry.path().string());
        const kerris::fs::CommitResult result = kerris::fs::writeFile(
            target.string(), bytes,
            options.replaceFiles ? kerris::fs::Commit::Replace : kerris::fs::Commit::NoReplace,
            why);
        if (result == kerris::fs::CommitResult::Failed)
            return fail("cannot copy " + entry.path().string() + ": " + why);
    }
    if (ec)
        return fail("cannot read " + sourceFolder + ": " + ec.message());
    std::string folder = fs::absolute(targetFolder, ec).lexically_normal().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    std::optional<registry::Key> key =
        registry::Key::create(registry::Hive::LocalMachine, kMurvaneKey);
    if (key && !options.replaceDestinationPath && key->readString(kDestinationPathValue))
        return true;
    if (!key || !key->writeString(kDestinationPathValue, folder))
        return fail("cannot write DestinationPath to the registry");
    return true;
}

} // namespace kerris::clipmail
