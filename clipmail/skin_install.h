// Installing the default skin: copying its files into the per-user data folder and naming
// that folder as "DestinationPath".
#pragma once

#include <string>

namespace kerris::clipmail {

// The default DestinationFolder: $XDG_DATA_HOME/kerris/Murvane/, or
// ~/.local/share/kerris/Murvane/ without XDG_DATA_HOME; ends in "/".
std::string defaultDestinationFolder();

// Copies every regular file of sourceFolder into targetFolder (created when missing),
// replacing files of the same name, then writes targetFolder (ending in "/") as REG_SZ
// "DestinationPath" under HKEY_LOCAL_MACHINE "Software\Veltrane\Murvane". Refuses a source
// without "Panel.ini". False, with a one-line reason in *error, on the first failure.
bool installSkin(const std::string& sourceFolder, const std::string& targetFolder, std::string* error);

} // namespace kerris::clipmail
