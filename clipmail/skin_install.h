// Installing the default skin: copying its files into the per-user data folder and naming
// that folder as "DestinationPath".
#pragma once

#include <string>

namespace kerris::clipmail {

// The default DestinationFolder: $XDG_DATA_HOME/kerris/Murvane/, or
// ~/.local/share/kerris/Murvane/ without XDG_DATA_HOME; ends in "/".
std::string defaultDestinationFolder();

struct SkinInstallOptions {
    // Replace files of the same name in the target (otherwise the user's copies stay).
    bool replaceFiles = false;
    // Write "DestinationPath" even when it is set already.
    bool replaceDestinationPath = false;
};

// The folder the install goes to: "DestinationPath" when it is set, else the default.
std::string installTargetFolder();

// Copies the regular files of sourceFolder into targetFolder (created when missing), then
// writes targetFolder (absolute, ending in "/") as REG_SZ "DestinationPath" under
// HKEY_LOCAL_MACHINE "Software\Veltrane\Murvane". Without the options, files already in the
// target and a "DestinationPath" already set are left as they are, so running it again never
// undoes what the user changed. Refuses a source without "Panel.ini". False, with a one-line
// reason in *error, on the first failure.
bool installSkin(const std::string& sourceFolder, const std::string& targetFolder,
                 const SkinInstallOptions& options, std::string* error);

} // namespace kerris::clipmail
