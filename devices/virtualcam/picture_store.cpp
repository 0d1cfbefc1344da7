// Turning picture files into the camera's stored raw frames, thumbnails and headers.
#include "devices/virtualcam/picture_store.h"

#include "devices/virtualcam/big_endian.h"
#include "devices/virtualcam/bitmap_file.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace kerris::virtualcam {

namespace {

bool isBitmapName(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext == ".bmp";
}

TakenAt takenAtOf(const std::filesystem::path& file) {
    std::error_code ec;
    auto stamp = std::filesystem::last_write_time(file, ec);
    if (ec)
        return TakenAt{};
    const auto system = std::chrono::file_clock::to_sys(stamp);
    return takenAt(std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(system)));
}

uint32_t alignUp(uint32_t v) {
    return (v + 255u) & ~255u;
}

} // namespace

TakenAt takenAt(std::time_t seconds) {
    std::tm local{};
    TakenAt t;
    if (!localtime_r(&seconds, &local))
        return t;
    t.year = uint16_t(local.tm_year + 1900);
    t.month = uint8_t(local.tm_mon + 1);
    t.day = uint8_t(local.tm_mday);
    t.hour = uint8_t(local.tm_hour);
    t.minute = uint8_t(local.tm_min);
    t.second = uint8_t(local.tm_sec);
    return t;
}

PictureStore::PictureStore(const ColourModel& model, uint8_t flags)
    : m_model(model), m_flags(flags), m_memory(kPictureArea, 0) {}

void PictureStore::loadFolder(const std::string& folder, const ImageFormat* forcedFormat) {
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && isBitmapName(it->path()))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.filename() < b.filename(); });
    for (const auto& file : files) {
        auto picture = readBitmapFile(file);
        if (!picture)
            continue;
        const ImageFormat& format =
            forcedFormat ? *forcedFormat : formatForPicture(picture->width, picture->height);
        if (!add(*picture, format, takenAtOf(file), file.filename().string()))
            break;
    }
}

bool PictureStore::place(StoredPicture& stored, const Picture& picture, const ImageFormat& format) {
    const FrameSize frame = rawFrameSize(format);
    const uint32_t frameAddress = alignUp(m_next);
    const uint32_t thumbnailAddress = alignUp(frameAddress + frame.bytes());
    const uint32_t end = thumbnailAddress + kThumbnailFrame.bytes();
    if (end > kMemorySize)
        return false;
    const Picture fitted = fitPicture(picture, format.width, format.height);
    const std::vector<uint8_t> raw = makeRawFrame(fitted, frame.width, frame.height, m_model);
    const Picture small = stretchPicture(fitted, kThumbnailWidth, kThumbnailHeight);
    const std::vector<uint8_t> thumb =
        makeRawFrame(small, kThumbnailFrame.width, kThumbnailFrame.height, m_model);
    if (m_memory.size() < end)
        m_memory.resize(end, 0);
    std::memcpy(&m_memory[frameAddress], raw.data(), raw.size());
    std::memcpy(&m_memory[thumbnailAddress], thumb.data(), thumb.size());
    stored.format = &format;
    stored.frame = frame;
    stored.frameAddress = frameAddress;
    stored.thumbnailAddress = thumbnailAddress;
    m_next = end;
    return true;
}

bool PictureStore::add(const Picture& picture, const ImageFormat& format, const TakenAt& taken,
                       std::string source) {
    if (m_pictures.size() >= kMaxPictures || picture.empty())
        return false;
    StoredPicture stored;
    stored.taken = taken;
    stored.flags = m_flags;
    stored.source = std::move(source);
    if (!place(stored, picture, format))
        return false;
    m_pictures.push_back(std::move(stored));
    writeHeader(m_pictures.size() - 1);
    return true;
}

bool PictureStore::replace(size_t index, const Picture& picture, const ImageFormat& format,
                           const TakenAt& taken) {
    if (index >= m_pictures.size() || picture.empty())
        return false;
    // The old frame's memory is not reused: the camera writes new pictures at the end.
    StoredPicture stored = m_pictures[index];
    stored.taken = taken;
    stored.source.clear();
    if (!place(stored, picture, format))
        return false;
    m_pictures[index] = std::move(stored);
    writeHeader(index);
    return true;
}

void PictureStore::truncate(size_t count) {
    if (count >= m_pictures.size())
        return;
    for (size_t i = count; i < m_pictures.size(); ++i)
        std::memset(&m_memory[kHeaderTable + i * kHeaderSize], 0, kHeaderSize);
    m_pictures.resize(count);
}

void PictureStore::writeHeader(size_t index) {
    const StoredPicture& p = m_pictures[index];
    uint8_t* h = &m_memory[kHeaderTable + index * kHeaderSize];
    putBig32(h, p.frameAddress);
    putBig16(h + 4, p.taken.year);
    putBig16(h + 6, uint16_t(p.taken.month << 8 | p.taken.day));
    h[8] = p.taken.hour;
    h[9] = p.taken.minute;
    h[10] = p.taken.second;
    h[11] = p.flags;
    putBig32(h + 12, p.frame.bytes());
}

bool PictureStore::read(uint32_t address, uint8_t* out, uint32_t length) const {
    if (address > kMemorySize || length > kMemorySize - address)
        return false;
    if (length == 0)
        return true;
    const size_t have = m_memory.size();
    const size_t copied = address < have ? std::min<size_t>(length, have - address) : 0;
    if (copied)
        std::memcpy(out, &m_memory[address], copied);
    if (copied < length)
        std::memset(out + copied, 0, length - copied);
    return true;
}

bool PictureStore::write(uint32_t address, const uint8_t* in, uint32_t length) {
    if (address > kMemorySize || length > kMemorySize - address)
        return false;
    if (length == 0)
        return true;
    if (m_memory.size() < size_t(address) + length)
        m_memory.resize(size_t(address) + length, 0);
    std::memcpy(&m_memory[address], in, length);
    return true;
}

} // namespace kerris::virtualcam
