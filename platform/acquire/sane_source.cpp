// The acquisition source over SANE: devices, one scan (every frame of it) turned into RGB.
#include "platform/acquire/sane_source.h"

#include <sane/sane.h>

#include <cstring>

namespace kerris::acquire {

namespace {

// Largest side and largest scan accepted; a device claiming more is refused, not trusted.
constexpr int kMaxSide = 1 << 15;
constexpr std::size_t kMaxScanBytes = std::size_t(1) << 30;

struct ScannedFrame {
    SANE_Parameters parameters{};
    std::vector<uint8_t> bytes;
};

// One sample of row `y`, column `x`, channel `c` of a frame as 8 bits.
uint8_t sample(const ScannedFrame& frame, int y, int x, int c, int channels) {
    const SANE_Parameters& p = frame.parameters;
    const uint8_t* row = frame.bytes.data() + std::size_t(p.bytes_per_line) * std::size_t(y);
    const std::size_t index = std::size_t(x) * std::size_t(channels) + std::size_t(c);
    switch (p.depth) {
    case 1: // line art: a set bit is black
        return (row[index / 8] >> (7 - index % 8)) & 1 ? 0 : 255;
    case 16: {
        uint16_t v;
        std::memcpy(&v, row + 2 * index, 2); // host byte order
        return uint8_t(v >> 8);
    }
    default:
        return row[index];
    }
}

// The image the frames of one scan make, or nullopt when they do not fit together.
std::optional<RgbImage> compose(const std::vector<ScannedFrame>& frames) {
    if (frames.empty())
        return std::nullopt;
    const SANE_Parameters& first = frames.front().parameters;
    const int width = first.pixels_per_line;
    int height = kMaxSide + 1;
    for (const ScannedFrame& f : frames) {
        const SANE_Parameters& p = f.parameters;
        const int channels = p.format == SANE_FRAME_RGB ? 3 : 1;
        if (p.pixels_per_line != width || p.bytes_per_line <= 0 ||
            (p.depth != 1 && p.depth != 8 && p.depth != 16) ||
            std::size_t(p.bytes_per_line) * 8 <
                std::size_t(width) * channels * std::size_t(p.depth))
            return std::nullopt;
        // Lines may be unknown in advance (-1): the data says how many there are.
        const int lines = int(f.bytes.size() / std::size_t(p.bytes_per_line));
        height = std::min(height, p.lines >= 0 ? std::min(p.lines, lines) : lines);
    }
    if (width <= 0 || width > kMaxSide || height <= 0 || height > kMaxSide)
        return std::nullopt;

    RgbImage image;
    image.width = width;
    image.height = height;
    image.rgb.assign(std::size_t(width) * std::size_t(height) * 3, 0);
    for (const ScannedFrame& f : frames) {
        const SANE_Frame format = f.parameters.format;
        for (int y = 0; y < height; ++y) {
            uint8_t* out = &image.rgb[std::size_t(y) * std::size_t(width) * 3];
            for (int x = 0; x < width; ++x, out += 3) {
                switch (format) {
                case SANE_FRAME_GRAY:
                    out[0] = out[1] = out[2] = sample(f, y, x, 0, 1);
                    break;
                case SANE_FRAME_RGB:
                    for (int c = 0; c < 3; ++c)
                        out[c] = sample(f, y, x, c, 3);
                    break;
                case SANE_FRAME_RED:
                    out[0] = sample(f, y, x, 0, 1);
                    break;
                case SANE_FRAME_GREEN:
                    out[1] = sample(f, y, x, 0, 1);
                    break;
                case SANE_FRAME_BLUE:
                    out[2] = sample(f, y, x, 0, 1);
                    break;
                default:
                    return std::nullopt;
                }
            }
        }
    }
    return image;
}

// SANE has one state per process: every source shares it, and it ends with the last user.
int g_saneUsers = 0;

bool saneAcquire() {
    if (g_saneUsers == 0) {
        SANE_Int version = 0;
        if (sane_init(&version, nullptr) != SANE_STATUS_GOOD)
            return false;
    }
    ++g_saneUsers;
    return true;
}

void saneRelease() {
    if (g_saneUsers > 0 && --g_saneUsers == 0)
        sane_exit();
}

} // namespace

SaneSource::SaneSource(SourceChooser chooser) : m_chooser(std::move(chooser)) {}

SaneSource::~SaneSource() {
    m_images.clear();
    closeSession();
}

bool SaneSource::ensureInitialised() {
    if (!m_initialised)
        m_initialised = saneAcquire();
    return m_initialised;
}

std::vector<SourceInfo> SaneSource::sources() {
    std::vector<SourceInfo> list;
    const SANE_Device** devices = nullptr;
    if (!ensureInitialised() || sane_get_devices(&devices, SANE_FALSE) != SANE_STATUS_GOOD ||
        !devices)
        return list;
    for (int i = 0; devices[i]; ++i) {
        auto text = [](SANE_String_Const s) { return std::string(s ? s : ""); };
        list.push_back({text(devices[i]->name), text(devices[i]->vendor), text(devices[i]->model),
                        text(devices[i]->type)});
    }
    return list;
}

uint32_t SaneSource::isAvailable() {
    return ensureInitialised() ? 1 : 0;
}

uint32_t SaneSource::selectSource(void*) {
    const std::vector<SourceInfo> list = sources();
    if (list.empty())
        return 0;
    std::optional<std::size_t> chosen = m_chooser ? m_chooser(list) : std::optional<std::size_t>(0);
    if (!chosen || *chosen >= list.size())
        return 0;
    m_selected = list[*chosen].name;
    return 1;
}

void SaneSource::prepare(uint32_t) {
    ensureInitialised();
}

uint32_t SaneSource::openSource() {
    if (m_handle)
        return 1;
    if (!ensureInitialised())
        return 0;
    std::string device = m_selected;
    if (device.empty()) {
        const std::vector<SourceInfo> list = sources();
        if (list.empty())
            return 0;
        device = list.front().name;
    }
    SANE_Handle handle = nullptr;
    if (sane_open(device.c_str(), &handle) != SANE_STATUS_GOOD || !handle)
        return 0;
    m_handle = handle;
    return 1;
}

std::optional<RgbImage> SaneSource::scan() {
    std::vector<ScannedFrame> frames;
    std::size_t total = 0;
    std::vector<uint8_t> buffer(64 * 1024);
    for (;;) {
        if (sane_start(m_handle) != SANE_STATUS_GOOD)
            break;
        ScannedFrame frame;
        if (sane_get_parameters(m_handle, &frame.parameters) != SANE_STATUS_GOOD)
            break;
        SANE_Status status = SANE_STATUS_GOOD;
        while (status == SANE_STATUS_GOOD) {
            SANE_Int length = 0;
            status = sane_read(m_handle, buffer.data(), SANE_Int(buffer.size()), &length);
            if (status == SANE_STATUS_GOOD && length > 0) {
                total += std::size_t(length);
                if (total > kMaxScanBytes) {
                    status = SANE_STATUS_NO_MEM;
                    break;
                }
                frame.bytes.insert(frame.bytes.end(), buffer.begin(), buffer.begin() + length);
            }
        }
        if (status != SANE_STATUS_EOF) {
            frames.clear();
            break;
        }
        const bool last = frame.parameters.last_frame;
        frames.push_back(std::move(frame));
        if (last || frames.size() >= 3)
            break;
    }
    sane_cancel(m_handle);
    return compose(frames);
}

ImageHandle SaneSource::acquire(void*, uint32_t) {
    if (!m_handle)
        return 0;
    std::optional<RgbImage> image = scan();
    if (!image)
        return 0;
    const ImageHandle handle = m_nextImage++;
    if (m_nextImage == 0)
        m_nextImage = 1;
    m_images[handle] = std::move(*image);
    return handle;
}

uint32_t SaneSource::imageWidth(ImageHandle image) {
    const auto it = m_images.find(image);
    return it == m_images.end() ? 0 : uint32_t(it->second.width);
}

uint32_t SaneSource::imageHeight(ImageHandle image) {
    const auto it = m_images.find(image);
    return it == m_images.end() ? 0 : uint32_t(it->second.height);
}

uint32_t SaneSource::writeBitmapFile(ImageHandle image, const std::string& fileName) {
    const auto it = m_images.find(image);
    return it != m_images.end() && WriteRgbBitmap(it->second, fileName) ? 1 : 0;
}

void SaneSource::freeImage(ImageHandle image) {
    m_images.erase(image);
}

void SaneSource::closeSource() {
    if (m_handle) {
        sane_close(m_handle);
        m_handle = nullptr;
    }
}

void SaneSource::closeSession() {
    closeSource();
    if (m_initialised) {
        saneRelease();
        m_initialised = false;
    }
}

} // namespace kerris::acquire
