// Picture file names of a download.
#include "tools/kerris/picture_naming.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace kerris::tool {

LocalDate systemLocalDate() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
}

std::string pictureFileName(const LocalDate& date, unsigned number, std::uint32_t compression) {
    char name[64];
    std::snprintf(name, sizeof name,
                  compression == 0 ? "%04d%02d%02d-%02d.bmp" : "%04d%02d%02d-%02d.jpg", date.year,
                  date.month, date.day, number);
    return name;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool pathTaken(const std::string& path) {
    struct stat info;
    // lstat: a dangling link still holds the name.
    return lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

bool nextFreePictureName(const std::string& folder, const LocalDate& date,
                         std::uint32_t compression, std::uint16_t& number, std::string& path,
                         const std::function<bool(const std::string&)>& taken) {
    while (number < 0xFFFF) {
        ++number;
        const std::string candidate = joinPath(folder, pictureFileName(date, number, compression));
        if (!taken(candidate)) {
            path = candidate;
            return true;
        }
    }
    return false;
}

} // namespace kerris::tool
