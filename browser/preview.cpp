// The preview: decoding a picture file (bitmap first, then JPEG) and fitting it into its panel.
#include "browser/preview.h"

#include "platform/fs/regular_file.h"

#include <QFile>
#include <QImageReader>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace lumicart {

namespace {

// A descriptor closed when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

FileDescriptor openPicture(const QString& path) {
    return FileDescriptor(
        kerris::fs::openRegularFileForReading(QFile::encodeName(path).toStdString()));
}

// The bitmap decoder on an open file, which it reads from its start and leaves open.
std::optional<QImage> readBitmap(int fd) {
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return std::nullopt;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    QImageReader reader(&file, "bmp");
    reader.setDecideFormatFromContent(false);
    reader.setAllocationLimit(static_cast<int>(kMaxDecodedBytes >> 20));
    // The header's size is checked before the reader allocates anything for it.
    const QSize size = reader.size();
    if (!size.isValid() || int64_t(size.width()) * size.height() * 4 > kMaxDecodedBytes)
        return std::nullopt;
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return std::nullopt;
    return image;
}

// libjpeg reports fatal errors through error_exit, which must not return: we jump back to
// the decoder's frame instead of letting the library end the process.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

extern "C" void jpegErrorExit(j_common_ptr info) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
    longjmp(manager->jump, 1);
}

extern "C" void jpegSilentMessage(j_common_ptr) {}

// A progressive file may hold any number of scans, each of which passes over the whole picture:
// a few kilobytes of them could keep the preview busy for minutes. Real files have about ten.
constexpr int kMaxJpegScans = 500;

extern "C" void jpegProgress(j_common_ptr info) {
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(info);
    if (cinfo->is_decompressor && cinfo->input_scan_number > kMaxJpegScans)
        ERREXIT(cinfo, JERR_BAD_SCAN_SCRIPT);
}

// A JPEG source that reads an open file in large pieces. The file is read, not mapped: a file
// that another program cuts short meanwhile reads as a truncated picture, which libjpeg pads,
// instead of ending the process with SIGBUS.
struct FileSource {
    jpeg_source_mgr pub;
    int fd;
    JOCTET* buffer;
    size_t capacity;
    bool started;
};

constexpr size_t kReadChunk = size_t(128) << 10;

extern "C" void fileSourceInit(j_decompress_ptr cinfo) {
    reinterpret_cast<FileSource*>(cinfo->src)->started = false;
}

extern "C" boolean fileSourceFill(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<FileSource*>(cinfo->src);
    ssize_t n;
    do {
        n = ::read(source->fd, source->buffer, source->capacity);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        if (!source->started)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // The end came early (or the read failed): an end marker lets libjpeg finish what it has.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        n = 2;
    }
    source->started = true;
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = static_cast<size_t>(n);
    return TRUE;
}

extern "C" void fileSourceSkip(j_decompress_ptr cinfo, long count) {
    if (count <= 0)
        return;
    jpeg_source_mgr* source = cinfo->src;
    while (count > static_cast<long>(source->bytes_in_buffer)) {
        count -= static_cast<long>(source->bytes_in_buffer);
        source->bytes_in_buffer = 0;
        (void)(*source->fill_input_buffer)(cinfo);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

extern "C" void fileSourceTerm(j_decompress_ptr) {}

// Where the compressed data comes from: bytes in memory, or an open file.
struct JpegInput {
    const uint8_t* data = nullptr;
    size_t size = 0;
    int fd = -1;
};

// CMYK as Adobe writes it (inverted) to RGB.
void convertCmykRow(const uint8_t* cmyk, QRgb* out, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x) {
        int c = cmyk[4 * x], m = cmyk[4 * x + 1], y = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

// The memory a decode of the header just read asks for beyond its output rows: a file of
// several scans keeps the coefficients of the whole picture.
int64_t jpegWorkingBytes(const jpeg_decompress_struct& cinfo) {
    if (!jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&cinfo)))
        return 0;
    int64_t bytes = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& component = cinfo.comp_info[c];
        const auto roundUp = [](int64_t v, int64_t m) { return m > 0 ? (v + m - 1) / m * m : v; };
        bytes += roundUp(component.width_in_blocks, component.h_samp_factor) *
                 roundUp(component.height_in_blocks, component.v_samp_factor) *
                 int64_t(sizeof(JBLOCK));
    }
    return bytes;
}

// The decoding proper; everything it allocates lives in objects that are safe to abandon
// by longjmp (the picture and the buffers are created before setjmp and only filled after it).
bool decodeInto(jpeg_decompress_struct& cinfo, JpegErrorManager& errors, const JpegInput& input,
                QSize panel, QImage& image, std::vector<uint8_t>& row, FileSource& fileSource,
                jpeg_progress_mgr& progress, QSize& pictureSize, int& eighths) {
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress;
    // A second line behind the budget below: libjpeg refuses larger whole-picture buffers.
    cinfo.mem->max_memory_to_use = static_cast<long>(kMaxJpegWorkingBytes);
    if (input.fd >= 0) {
        fileSource.pub.init_source = fileSourceInit;
        fileSource.pub.fill_input_buffer = fileSourceFill;
        fileSource.pub.skip_input_data = fileSourceSkip;
        fileSource.pub.resync_to_restart = jpeg_resync_to_restart;
        fileSource.pub.term_source = fileSourceTerm;
        fileSource.pub.bytes_in_buffer = 0;
        fileSource.pub.next_input_byte = nullptr;
        cinfo.src = &fileSource.pub;
    } else {
        jpeg_mem_src(&cinfo, input.data, static_cast<unsigned long>(input.size));
    }
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    const QSize whole(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height));
    if (int64_t(cinfo.image_width) * cinfo.image_height > kMaxPicturePixels)
        return false;
    const int scale = jpegScaleEighths(whole, panel);
    cinfo.scale_num = static_cast<unsigned>(scale);
    cinfo.scale_denom = 8;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    // A 24-bit picture, as the bitmap behind the preview holds it; Qt's RGB888 is the byte
    // order libjpeg writes for JCS_RGB, so rows go straight into the picture.
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_calc_output_dimensions(&cinfo);
    const QSize outputSize(static_cast<int>(cinfo.output_width),
                           static_cast<int>(cinfo.output_height));
    const QImage::Format format = cmyk ? QImage::Format_RGB32 : QImage::Format_RGB888;
    const int64_t rowBytes = (int64_t(cinfo.output_width) * (cmyk ? 4 : 3) + 3) / 4 * 4;
    if (rowBytes * cinfo.output_height > kMaxDecodedBytes ||
        jpegWorkingBytes(cinfo) > kMaxJpegWorkingBytes)
        return false;
    jpeg_start_decompress(&cinfo);
    // A picture of the same size and format that nobody else holds is written over: the
    // pictures of one camera all have one size, and a fresh buffer of tens of megabytes
    // costs more in page faults than the decoding of many of its rows. Otherwise the old one
    // goes before the new one is made, so that two are never held at once.
    if (image.size() != outputSize || image.format() != format || !image.isDetached()) {
        image = QImage();
        image = QImage(outputSize, format);
    }
    if (image.isNull())
        return false;
    if (cmyk)
        row.resize(static_cast<size_t>(cinfo.output_width) * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        uchar* line = image.scanLine(static_cast<int>(cinfo.output_scanline));
        JSAMPROW target = cmyk ? row.data() : line;
        if (jpeg_read_scanlines(&cinfo, &target, 1) != 1)
            return false;
        if (cmyk)
            convertCmykRow(row.data(), reinterpret_cast<QRgb*>(line), cinfo.output_width,
                           cinfo.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&cinfo);
    pictureSize = whole;
    eighths = scale;
    return true;
}

std::optional<QImage> decodeJpegInput(const JpegInput& input, QImage recycled, QSize panel,
                                      QSize* pictureSize = nullptr, int* eighths = nullptr) {
    jpeg_decompress_struct cinfo{};
    JpegErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jpegErrorExit;
    errors.pub.output_message = jpegSilentMessage;
    QImage image = std::move(recycled);
    std::vector<uint8_t> row;
    std::vector<JOCTET> buffer(input.fd >= 0 ? kReadChunk : 0);
    FileSource fileSource{};
    fileSource.fd = input.fd;
    fileSource.buffer = buffer.data();
    fileSource.capacity = buffer.size();
    jpeg_progress_mgr progress{};
    progress.progress_monitor = jpegProgress;
    QSize whole;
    int scale = 8;
    const bool ok =
        decodeInto(cinfo, errors, input, panel, image, row, fileSource, progress, whole, scale);
    jpeg_destroy_decompress(&cinfo);
    if (!ok)
        return std::nullopt;
    if (pictureSize)
        *pictureSize = whole;
    if (eighths)
        *eighths = scale;
    return image;
}

std::optional<QImage> decodeJpegFd(int fd, QImage recycled, QSize panel, QSize* pictureSize,
                                   int* eighths) {
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return std::nullopt;
    JpegInput input;
    input.fd = fd;
    return decodeJpegInput(input, std::move(recycled), panel, pictureSize, eighths);
}

} // namespace

std::optional<QImage> loadBitmapFile(const QString& path) {
    const FileDescriptor fd = openPicture(path);
    if (!fd.valid())
        return std::nullopt;
    return readBitmap(fd.get());
}

int jpegScaleEighths(QSize picture, QSize panel) {
    if (panel.isEmpty() || picture.isEmpty() ||
        int64_t(picture.width()) * picture.height() <= kWholeDecodePixels)
        return 8;
    const PreviewGeometry shown =
        fitPreview(panel.width(), panel.height(), picture.width(), picture.height());
    if (!shown.stretch)
        return 8;
    // libjpeg's reduced sizes are the picture's times M/8, rounded up.
    const auto scaled = [](int side, int eighths) { return (int64_t(side) * eighths + 7) / 8; };
    for (int eighths = 1; eighths < 8; ++eighths) {
        if (scaled(picture.width(), eighths) >= shown.width &&
            scaled(picture.height(), eighths) >= shown.height)
            return eighths;
    }
    return 8;
}

std::optional<QImage> decodeJpeg(const uint8_t* data, size_t size, QImage recycled, QSize panel) {
    if (!data || size == 0)
        return std::nullopt;
    JpegInput input;
    input.data = data;
    input.size = size;
    return decodeJpegInput(input, std::move(recycled), panel);
}

std::optional<QImage> decodeJpegFile(const QString& path, QImage recycled, QSize panel) {
    const FileDescriptor fd = openPicture(path);
    if (!fd.valid())
        return std::nullopt;
    return decodeJpegFd(fd.get(), std::move(recycled), panel, nullptr, nullptr);
}

std::optional<PreviewPicture> decodePreview(const QString& path, QSize panel, QImage recycled) {
    const FileDescriptor fd = openPicture(path);
    if (!fd.valid())
        return std::nullopt;
    if (std::optional<QImage> bitmap = readBitmap(fd.get())) {
        const QSize size = bitmap->size();
        return PreviewPicture{std::move(*bitmap), size, QSizeF(size)};
    }
    QSize size;
    int eighths = 8;
    std::optional<QImage> jpeg =
        decodeJpegFd(fd.get(), std::move(recycled), panel, &size, &eighths);
    if (!jpeg)
        return std::nullopt;
    // A reduced side is the picture's times eighths/8, which libjpeg rounds up to whole pixels.
    const QSizeF extent(size.width() * eighths / 8.0, size.height() * eighths / 8.0);
    return PreviewPicture{std::move(*jpeg), size, extent};
}

std::optional<QImage> loadPreviewPicture(const QString& path, QImage recycled, QSize panel) {
    std::optional<PreviewPicture> picture = decodePreview(path, panel, std::move(recycled));
    if (!picture)
        return std::nullopt;
    return std::move(picture->image);
}

namespace {

// The source pixels one output pixel of an axis gathers, with their weights (summing to 1).
struct Taps {
    std::vector<int> first;     // the first source pixel of each output pixel
    std::vector<int> count;     // how many follow it
    std::vector<int> offset;    // where its weights start in `weights`
    std::vector<float> weights; //
};

// An output pixel covers 1/length of the extent; it averages the source over that span when
// shrinking, and over one source pixel's width around its centre when enlarging, which is
// linear interpolation between the pixel centres. The span is cut at the ends of the extent,
// and the last source pixel counts only up to the extent.
Taps axisTaps(int pixels, double extent, int length) {
    Taps taps;
    taps.first.resize(static_cast<size_t>(length));
    taps.count.resize(static_cast<size_t>(length));
    taps.offset.resize(static_cast<size_t>(length));
    const double step = extent / length;
    const double half = std::max(step, 1.0) / 2;
    for (int i = 0; i < length; ++i) {
        const double centre = (i + 0.5) * step;
        const double from = std::max(0.0, centre - half), to = std::min(extent, centre + half);
        const int first = std::min(pixels - 1, static_cast<int>(from));
        const int last = std::clamp(static_cast<int>(std::ceil(to)) - 1, first, pixels - 1);
        taps.first[size_t(i)] = first;
        taps.offset[size_t(i)] = static_cast<int>(taps.weights.size());
        double sum = 0;
        for (int j = first; j <= last; ++j) {
            const double w = std::min<double>(to, j + 1) - std::max<double>(from, j);
            taps.weights.push_back(static_cast<float>(std::max(w, 0.0)));
            sum += std::max(w, 0.0);
        }
        if (sum <= 0) { // a span too thin to weigh: the pixel under it alone
            taps.weights.resize(size_t(taps.offset[size_t(i)]));
            taps.weights.push_back(1.0f);
            sum = 1;
        }
        taps.count[size_t(i)] = static_cast<int>(taps.weights.size()) - taps.offset[size_t(i)];
        for (size_t k = size_t(taps.offset[size_t(i)]); k < taps.weights.size(); ++k)
            taps.weights[k] = static_cast<float>(taps.weights[k] / sum);
    }
    return taps;
}

// Each output row: the weighted sum of its source rows (every byte on its own, so any layout
// of 8-bit channels), then of the columns of that sum, `Channels` bytes to a pixel.
template <int Channels>
void resampleRows(const QImage& source, const Taps& columns, const Taps& rows, QImage& out) {
    const int sourceBytes = source.width() * Channels;
    std::vector<float> sum(static_cast<size_t>(sourceBytes));
    for (int y = 0; y < out.height(); ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (int k = 0; k < rows.count[size_t(y)]; ++k) {
            const float w = rows.weights[size_t(rows.offset[size_t(y)] + k)];
            const uchar* line = source.constScanLine(rows.first[size_t(y)] + k);
            for (int b = 0; b < sourceBytes; ++b)
                sum[size_t(b)] += w * line[b];
        }
        uchar* target = out.scanLine(y);
        for (int x = 0; x < out.width(); ++x) {
            float pixel[Channels] = {};
            const float* from = sum.data() + size_t(columns.first[size_t(x)]) * Channels;
            const float* weight = columns.weights.data() + columns.offset[size_t(x)];
            for (int k = 0; k < columns.count[size_t(x)]; ++k)
                for (int c = 0; c < Channels; ++c)
                    pixel[c] += weight[k] * from[k * Channels + c];
            for (int c = 0; c < Channels; ++c)
                target[x * Channels + c] =
                    static_cast<uchar>(std::clamp(pixel[c] + 0.5f, 0.0f, 255.0f));
        }
    }
}

} // namespace

QImage resamplePicture(const QImage& image, QSizeF extent, QSize area) {
    if (image.isNull() || area.isEmpty())
        return QImage();
    const bool inside = extent.width() > 0 && extent.height() > 0 &&
                        extent.width() <= image.width() && extent.height() <= image.height();
    if (!inside)
        extent = QSizeF(image.size());
    if (area == image.size() && extent == QSizeF(image.size()))
        return image;
    QImage source = image;
    if (source.format() != QImage::Format_RGB888 && source.format() != QImage::Format_RGB32)
        source = source.convertToFormat(
            source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    QImage out(area, source.format());
    if (source.isNull() || out.isNull())
        return QImage();
    const Taps columns = axisTaps(source.width(), extent.width(), area.width());
    const Taps rows = axisTaps(source.height(), extent.height(), area.height());
    if (source.format() == QImage::Format_RGB888)
        resampleRows<3>(source, columns, rows, out);
    else
        resampleRows<4>(source, columns, rows, out);
    return out;
}

QImage previewDrawing(const PreviewPicture& picture, QSize area, bool stretch) {
    const QSize natural = picture.size.isEmpty() ? picture.image.size() : picture.size;
    if (!stretch && picture.image.size() == natural)
        return picture.image;
    return resamplePicture(picture.image, picture.extent, stretch ? area : natural);
}

PreviewGeometry fitPreview(int panelWidth, int panelHeight, int w, int h) {
    PreviewGeometry g;
    if (w <= 0 || h <= 0)
        return g;
    const double sx = static_cast<double>(panelWidth) / w;
    const double sy = static_cast<double>(panelHeight) / h;
    const double s = sx < sy ? sx : sy;
    g.width = static_cast<int>(w * s);
    g.height = static_cast<int>(h * s);
    g.left = std::max(0, static_cast<int>((panelWidth - g.width) * 0.5));
    g.top = std::max(0, static_cast<int>((panelHeight - g.height) * 0.5));
    g.stretch = s < 1.0;
    return g;
}

} // namespace lumicart
