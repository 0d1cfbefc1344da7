// The acquisition source over SANE: SANE's devices are the sources.
#pragma once

#include "platform/acquire/acquisition_source.h"

#include <map>
#include <memory>

namespace kerris::acquire {

// SANE's state is shared by all sources of the process; the last session to end ends it.
// Sources are used from one thread.
class SaneSource : public AcquisitionSource {
public:
    // `chooser` is asked by selectSource(); without one the first device is taken.
    explicit SaneSource(SourceChooser chooser = {});
    ~SaneSource() override;

    uint32_t isAvailable() override;
    uint32_t selectSource(void* window) override;
    void prepare(uint32_t option) override;
    uint32_t openSource() override;
    ImageHandle acquire(void* window, uint32_t option) override;
    uint32_t imageWidth(ImageHandle image) override;
    uint32_t imageHeight(ImageHandle image) override;
    uint32_t writeBitmapFile(ImageHandle image, const std::string& fileName) override;
    void freeImage(ImageHandle image) override;
    void closeSource() override;
    void closeSession() override;

    void setChooser(SourceChooser chooser) { m_chooser = std::move(chooser); }
    // The device chosen last; empty until one was chosen.
    const std::string& selectedDevice() const { return m_selected; }
    // Every device SANE knows (initialising SANE if needed).
    std::vector<SourceInfo> sources();

private:
    bool ensureInitialised();
    std::optional<RgbImage> scan();

    SourceChooser m_chooser;
    bool m_initialised = false;
    void* m_handle = nullptr; // SANE_Handle of the open source
    std::string m_selected;
    std::map<ImageHandle, RgbImage> m_images;
    ImageHandle m_nextImage = 1;
};

} // namespace kerris::acquire
