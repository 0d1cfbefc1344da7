// `kerris`: the camera from the command line, for scripts and machines without a desktop.
#include <cstring>
#include <string>
#include <vector>

#include "tools/kerris/commands.h"

using namespace kerris::tool;

namespace {

// One line per command; a new command is one file and one line here.
const Command kCommands[] = {
    {"list", "", "list the cameras with their information and picture counts", runList},
    {"download", "DIR", "write every picture of the camera into DIR as new bitmap files",
     runDownload},
    {"movie", "FILE.avi", "make a movie of the camera's pictures (those of the first one's format)",
     runMovie},
};

void printUsage(std::FILE* stream) {
    std::fprintf(stream, "usage: kerris COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const Command& c : kCommands) {
        const std::string call = std::string(c.name) + (*c.arguments ? " " : "") + c.arguments;
        std::fprintf(stream, "  %-16s %s\n", call.c_str(), c.summary);
    }
    std::fprintf(stream,
                 "  %-16s %s\n\n"
                 "download names the files YYYYMMDD-NN.bmp after today's date and the first free\n"
                 "running numbers; it never replaces a file and leaves no partial file behind.\n"
                 "Exit status: 0 success, 1 failure, 2 wrong arguments.\n",
                 "--help", "show this text");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(stdout);
        return kExitOk;
    }
    std::vector<std::string> arguments(argv + 2, argv + argc);
    for (const std::string& a : arguments)
        if (a == "--help" || a == "-h") {
            printUsage(stdout);
            return kExitOk;
        }
    for (const Command& c : kCommands) {
        if (name == c.name) {
            Environment environment;
            return c.run(arguments, environment);
        }
    }
    std::fprintf(stderr, "kerris: unknown command '%s'\n\n", name.c_str());
    printUsage(stderr);
    return kExitUsage;
}
