// murvane-setup: installs the default skin of Murvane for the current user.
//
//   murvane-setup [--source <skin folder>] [--target <folder>] [--force]
//
// Copies the skin (default: share/kerris/murvane/skin beside the program's folder) into the
// target and records the target as "DestinationPath" under HKEY_LOCAL_MACHINE
// "Software\Veltrane\Murvane". The target defaults to the folder "DestinationPath" names
// already, else ${XDG_DATA_HOME:-~/.local/share}/kerris/Murvane/. Files already there and a
// "DestinationPath" already set are kept, so running it again is safe; --force replaces the
// files, and --target or --force also rewrite "DestinationPath".
#include "clipmail/skin_install.h"
#include "platform/module/module.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    std::string source = kerris::module::executableFolder() + "../share/kerris/murvane/skin/";
    std::string target = kerris::clipmail::installTargetFolder();
    kerris::clipmail::SkinInstallOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--source") == 0 && i + 1 < argc) {
            source = argv[++i];
        } else if (std::strcmp(argv[i], "--target") == 0 && i + 1 < argc) {
            target = argv[++i];
            options.replaceDestinationPath = true;
        } else if (std::strcmp(argv[i], "--force") == 0) {
            options.replaceFiles = true;
            options.replaceDestinationPath = true;
        } else {
            std::fprintf(
                stderr,
                "usage: murvane-setup [--source <skin folder>] [--target <folder>] [--force]\n");
            return 2;
        }
    }
    std::string error;
    if (!kerris::clipmail::installSkin(source, target, options, &error)) {
        std::fprintf(stderr, "murvane-setup: %s\n", error.c_str());
        return 1;
    }
    std::printf("murvane-setup: skin installed in %s\n", target.c_str());
    return 0;
}
