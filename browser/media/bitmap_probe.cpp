// The toolkit's bitmap loader as the file movie's selection check uses it.
#include "browser/media/movie_commands.h"

#include <QFile>
#include <QImage>

namespace lumicart::media {

std::optional<std::pair<int, int>> ProbeStandardBitmap(const std::string& path) {
    QImage image;
    if (!image.load(QFile::decodeName(QByteArray::fromStdString(path)), "BMP"))
        return std::nullopt;
    return std::make_pair(image.width(), image.height());
}

} // namespace lumicart::media
