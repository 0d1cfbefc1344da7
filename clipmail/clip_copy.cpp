// Copies of the recording that players and mail clients can hold while the next is made.
#include "clipmail/clip_copy.h"

#include "clipmail/encoder_session.h"

#include <QFile>
#include <QSaveFile>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace kerris::clipmail {
namespace {

constexpr qint64 kCopyChunk = 1 << 20;

bool isNumber(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Writes source into target through a file beside it, renamed into place when complete.
bool copyAtomically(QFile& source, const QString& target) {
    QSaveFile copy(target);
    if (!copy.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    while (!(chunk = source.read(kCopyChunk)).isEmpty()) {
        if (copy.write(chunk) != chunk.size()) {
            copy.cancelWriting();
            return false;
        }
    }
    if (source.error() != QFileDevice::NoError) {
        copy.cancelWriting();
        return false;
    }
    return copy.commit();
}

} // namespace

std::string copyName(int index) {
    if (index == 0)
        return kFirstCopyName;
    char name[32];
    std::snprintf(name, sizeof name, kCopyNameFormat, index);
    return name;
}

bool isOpenElsewhere(const std::string& path) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0)
        return false;
    DIR* processes = ::opendir("/proc");
    if (!processes)
        return false;
    const std::string self = std::to_string(::getpid());
    bool open = false;
    while (!open) {
        const dirent* process = ::readdir(processes);
        if (!process)
            break;
        const std::string_view pid = process->d_name;
        if (!isNumber(pid) || pid == self)
            continue;
        const std::string fdFolder = "/proc/" + std::string(pid) + "/fd";
        // Other users' processes cannot be looked into; they cannot read our clips either.
        DIR* fds = ::opendir(fdFolder.c_str());
        if (!fds)
            continue;
        while (const dirent* fd = ::readdir(fds)) {
            if (!isNumber(fd->d_name))
                continue;
            struct stat held {};
            const std::string link = fdFolder + "/" + fd->d_name;
            if (::stat(link.c_str(), &held) == 0 && held.st_dev == target.st_dev &&
                held.st_ino == target.st_ino) {
                open = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(processes);
    return open;
}

std::optional<std::string> CopyClip(const std::string& folder) {
    QFile source(QString::fromStdString(folder + kRecordingFileName));
    if (!source.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (int i = 0; i < kCopyNameLimit; ++i) {
        const std::string target = folder + copyName(i);
        if (isOpenElsewhere(target))
            continue;
        if (!source.seek(0) || !copyAtomically(source, QString::fromStdString(target)))
            return std::nullopt;
        if (!QFile::exists(QString::fromStdString(target)))
            return std::nullopt;
        return target;
    }
    return std::nullopt;
}

} // namespace kerris::clipmail
