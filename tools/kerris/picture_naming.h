// Names of downloaded pictures: "YYYYMMDD-NN.bmp" after the local date and a running number,
// the first free one from where the run left off.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kerris::tool {

struct LocalDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// Where a download reads the date; read again for every picture, so a run that crosses
// midnight moves to the new date.
using DateSource = std::function<LocalDate()>;
LocalDate systemLocalDate();

// "%04d%02d%02d-%02d.bmp" for uncompressed pictures (compression 0), ".jpg" for the others; the
// number takes more digits from 100 on.
std::string pictureFileName(const LocalDate& date, unsigned number, std::uint32_t compression);

// `folder` joined with `name`, with exactly one "/" between them.
std::string joinPath(const std::string& folder, const std::string& name);

// True when something (a file, folder or dangling link) already has this path.
bool pathTaken(const std::string& path);

// Advances the run's running number past names that are taken and stores the first free path.
// The number starts at 0 for a run and only grows; it is shared by all pictures of the run.
// False when every number up to 65535 is taken (the number is then 65535).
bool nextFreePictureName(const std::string& folder, const LocalDate& date,
                         std::uint32_t compression, std::uint16_t& number, std::string& path,
                         const std::function<bool(const std::string&)>& taken = pathTaken);

} // namespace kerris::tool
