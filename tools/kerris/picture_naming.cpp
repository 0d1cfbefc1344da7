// Picture file names of a download.
#include "tools/kerris/picture_naming.h"

#include "browser/media/download.h"

#include <sys/stat.h>

#include <cerrno>

namespace kerris::tool {

// The clock and the name format are the browser's, so both name a download alike.
LocalDate systemLocalDate() {
    const lumicart::media::LocalTime now = lumicart::media::SystemLocalTime();
    return {now.year, now.month, now.day};
}

std::string pictureFileName(const LocalDate& date, unsigned number, std::uint32_t compression) {
    return lumicart::media::PictureFileName({}, {date.year, date.month, date.day}, number,
                                            compression);
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
