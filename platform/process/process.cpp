// Process and folder operations over POSIX.
#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
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

namespace {

// PROGRAM as a path to execute: a bare name is taken from the current folder, never from PATH.
std::string programPath(const std::string& program) {
    if (program.find('/') == std::string::npos)
        return "./" + program;
    return program;
}

// argv for execv: the path, then the arguments, then null. The strings stay owned by the caller.
std::vector<char*> argumentVector(std::string& path, std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(path.data());
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return argv;
}

long long nowMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

} // namespace

bool startDetached(const std::string& program) {
    return startDetached(program, {});
}

bool startDetached(const std::string& program, const std::vector<std::string>& arguments) {
    if (program.empty())
        return false;
    std::string path = programPath(program);
    if (access(path.c_str(), X_OK) != 0)
        return false;
    // Built before fork: the child only calls what is safe after it.
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv = argumentVector(path, copies);

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
        execv(path.c_str(), argv.data());
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

std::optional<std::string> readOutput(const std::string& program,
                                      const std::vector<std::string>& arguments, size_t limit,
                                      int timeoutMs) {
    if (program.empty())
        return std::nullopt;
    std::string path = programPath(program);
    if (access(path.c_str(), X_OK) != 0)
        return std::nullopt;
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv = argumentVector(path, copies);
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0)
        return std::nullopt;
    pid_t child = fork();
    if (child < 0) {
        close(output[0]);
        close(output[1]);
        return std::nullopt;
    }
    if (child == 0) {
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, STDIN_FILENO);
            dup2(devnull, STDERR_FILENO);
        }
        dup2(output[1], STDOUT_FILENO);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(output[1]);
    std::string text;
    bool complete = false;
    const long long deadline = nowMilliseconds() + timeoutMs;
    for (;;) {
        const long long left = deadline - nowMilliseconds();
        if (left <= 0)
            break;
        pollfd ready{output[0], POLLIN, 0};
        int polled = poll(&ready, 1, int(left));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            break;
        char buffer[4096];
        ssize_t got = read(output[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            complete = got == 0;
            break;
        }
        if (text.size() + size_t(got) > limit)
            break;
        text.append(buffer, size_t(got));
    }
    close(output[0]);
    if (!complete)
        kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return text;
}

} // namespace kerris::process
