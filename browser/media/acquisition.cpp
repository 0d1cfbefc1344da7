// The acquisition commands over an acquisition source.
#include "browser/media/acquisition.h"

#include <cstdio>

namespace lumicart::media {

std::string AcquiredName(const std::string& folder, const LocalTime& time) {
    char name[64];
    std::snprintf(name, sizeof name, "%04d%02d%02d%02d%02d%02d.bmp", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
    return folder + name;
}

void ReleaseAcquiredImage(kerris::acquire::AcquisitionSource& source,
                          kerris::acquire::ImageHandle& image) {
    if (image != 0) {
        source.freeImage(image);
        image = 0;
    }
}

ActiveResult Active(kerris::acquire::AcquisitionSource& source, kerris::acquire::ImageHandle& image,
                    MediaHost& host, const LocalClock& clock, const std::string& currentFolder,
                    void* window) {
    ActiveResult result;
    ReleaseAcquiredImage(source, image);
    host.clearPreview();
    source.prepare(0);
    if (source.openSource() != 0)
        image = source.acquire(window, 0);
    if (image != 0) {
        const uint32_t width = source.imageWidth(image);
        const uint32_t height = source.imageHeight(image);
        if (width == 0 || height == 0) {
            ReleaseAcquiredImage(source, image);
        } else {
            result.fileName = AcquiredName(currentFolder, clock());
            result.written = source.writeBitmapFile(image, result.fileName) != 0;
            ReleaseAcquiredImage(source, image);
            host.showPreviewFile(result.fileName);
            host.requestListRefresh();
        }
    }
    source.closeSource();
    source.closeSession();
    return result;
}

void SelectSource(kerris::acquire::AcquisitionSource& source, void* window) {
    source.selectSource(window);
}

} // namespace lumicart::media
