// The program's resources, over the data that murvane-skingen generated.
#include "clipmail/program_resources.h"

#include <QPixmap>

namespace kerris::clipmail {
namespace resources {
extern const unsigned char kBitmap137[];
extern const unsigned long kBitmap137Size;
extern const unsigned char kIcon128[];
extern const unsigned long kIcon128Size;
} // namespace resources

const CDib& bitmap137() {
    static CDib dib;
    static const bool attached = [] {
        // A resource bitmap starts with its information header; skip the file header.
        auto* header = const_cast<unsigned char*>(resources::kBitmap137) + kFileHeaderSize;
        return dib.Attach(header, 0, nullptr, resources::kBitmap137Size - kFileHeaderSize);
    }();
    (void)attached;
    return dib;
}

QImage icon128Image() {
    return QImage::fromData(resources::kIcon128, int(resources::kIcon128Size), "PNG");
}

QIcon icon128() {
    return QIcon(QPixmap::fromImage(icon128Image()));
}

} // namespace kerris::clipmail
