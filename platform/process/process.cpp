// Process and folder operations over POSIX.
#include "process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace kerris::process {

std::optional<std::string> currentFolder() {
    std::vector<char> buffer(PATH_MAX);
    if (!getcwd(buffer.data(), buffer.size()))
        return std::nullopt;
    return std::string(buffer.data());
}

bool setCurrentFolder(const std::string& folder) {
    return !folder.empty() && chdir(folder.c_str()) == 0;
}

bool startDetached(const std::string& program) {
    if (program.empty())
        return false;
    std::string path = program;
    if (path.find('/') == std::string::npos)
        path = "./" + path; // never search PATH for the installer: it lives in this folder
    if (access(path.c_str(), X_OK) != 0)
        return false;

    // The grandchild reports a failed exec through a close-on-exec pipe: end of file means
    // the program is running, a byte means it could not be started.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return false;
    pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        close(report[0]);
        setsid();
        pid_t grandchild = fork();
        if (grandchild < 0) {
            char failed = 1;
            (void)!write(report[1], &failed, 1);
            _exit(1);
        }
        if (grandchild > 0)
            _exit(0);
        // Keep no descriptor of ours open in the installer but the standard three.
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, STDIN_FILENO);
            if (devnull > STDERR_FILENO)
                close(devnull);
        }
        char* const argv[] = {path.data(), nullptr};
        execv(path.c_str(), argv);
        char failed = 1;
        (void)!write(report[1], &failed, 1);
        _exit(127);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    char byte = 0;
    ssize_t got;
    do {
        got = read(report[0], &byte, 1);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    return got == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace kerris::process
