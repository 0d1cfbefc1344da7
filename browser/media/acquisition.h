// "&Select Source" and "&Active": one image from the chosen acquisition source into the
// current folder, shown in the preview.
#pragma once

#include "browser/media/media_host.h"
#include "platform/acquire/acquisition_source.h"

#include <string>

namespace lumicart::media {

// "%04d%02d%02d%02d%02d%02d.bmp" of the local time, behind `folder`.
std::string AcquiredName(const std::string& folder, const LocalTime& time);

// Frees `image` through `source` when one is held and sets it to 0.
void ReleaseAcquiredImage(kerris::acquire::AcquisitionSource& source,
                          kerris::acquire::ImageHandle& image);

// What "&Active" did.
struct ActiveResult {
    bool written = false;
    std::string fileName;
};

// Runs "&Active": releases a held image and clears the preview; prepares, opens the source and
// acquires into `image`; an image with both sides non-zero is written under AcquiredName of
// `clock()` in `currentFolder` (not recomputed), freed, shown in the preview and the list is
// asked to refresh; the source is closed and the session ended on every path. Nothing is
// reported: a refused start, an empty acquisition or an unusable image end quietly.
ActiveResult Active(kerris::acquire::AcquisitionSource& source, kerris::acquire::ImageHandle& image,
                    MediaHost& host, const LocalClock& clock, const std::string& currentFolder,
                    void* window);

// Runs "&Select Source".
void SelectSource(kerris::acquire::AcquisitionSource& source, void* window);

} // namespace lumicart::media
