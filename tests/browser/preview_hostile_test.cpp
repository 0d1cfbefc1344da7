// The preview against files a hostile or careless user leaves in a folder: pictures whose
// headers claim more than any screen shows, files cut short while they are decoded, and FIFOs
// with a picture's name. Memory is measured in a child process held under an address-space
// limit, so a runaway allocation ends the child, not the test machine.
#include "browser/preview.h"
#include "tests/browser/test_support.h"
#include "tests/platform/fifo_watch.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace lumicart {
namespace {

// A JPEG of a small picture, written by Qt's JPEG writer.
QByteArray smallJpeg(int w, int h, bool progressive = false) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 13) & 255, (y * 7) & 255, ((x + y) * 3) & 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    writer.setQuality(90);
    EXPECT_TRUE(writer.write(image));
    return bytes;
}

// The same file with the frame header claiming another size: a few kilobytes that ask for as
// much memory as the header says.
QByteArray withClaimedSize(QByteArray jpeg, int w, int h) {
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        const auto marker = static_cast<uint8_t>(jpeg[i + 1]);
        if (static_cast<uint8_t>(jpeg[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            jpeg[i + 5] = static_cast<char>(h >> 8);
            jpeg[i + 6] = static_cast<char>(h & 0xFF);
            jpeg[i + 7] = static_cast<char>(w >> 8);
            jpeg[i + 8] = static_cast<char>(w & 0xFF);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A line of /proc/self/status in kilobytes ("VmRSS", "VmHWM", "VmSize").
long statusKb(const char* field) {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long value = -1;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            value = std::strtol(line + length + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return value;
}

// What a child process reported, or how it ended.
struct ChildReport {
    bool reported = false; // false: the child died (signal, or the limit hit inside the runtime)
    int outcome = -1;      // what the work returned
    long growthKb = 0;     // peak resident memory above the child's start
    int signal = 0;
    int exitStatus = 0; // of a child that ended without reporting (the sanitizer's own exit)
};

// Runs `work` in a child process whose address space may grow by at most `extraBytes`. The
// child reports what `work` returned and how far its resident memory rose above its start.
ChildReport runLimited(size_t extraBytes, const std::function<int()>& work) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        const long startKb = statusKb("VmRSS");
        const long sizeKb = statusKb("VmSize");
        const rlim_t limit = static_cast<rlim_t>(sizeKb) * 1024 + extraBytes;
        const rlimit cap{limit, limit};
        if (startKb < 0 || sizeKb < 0 || ::setrlimit(RLIMIT_AS, &cap) != 0)
            ::_exit(3);
        ChildReport report;
        report.reported = true;
        report.outcome = work();
        report.growthKb = statusKb("VmHWM") - startKb;
        const bool sent = ::write(pipeFds[1], &report, sizeof report) == sizeof report;
        ::_exit(sent ? 0 : 4);
    }
    ::close(pipeFds[1]);
    ChildReport report;
    if (pid > 0) {
        if (::read(pipeFds[0], &report, sizeof report) != sizeof report)
            report = ChildReport{};
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (WIFSIGNALED(status))
            report.signal = WTERMSIG(status);
        else if (WIFEXITED(status))
            report.exitStatus = WEXITSTATUS(status);
    }
    ::close(pipeFds[0]);
    return report;
}

constexpr size_t kMiB = size_t(1) << 20;
// The address space a child may add: room for the largest preview the budget allows, and far
// below what the forged headers below would take.
constexpr size_t kChildAddressSpace = 1024 * kMiB;
// What a refused picture may add to the peak: the compressed file and libjpeg's tables.
constexpr long kRefusalPeakKb = 48 * 1024;

class PreviewHostileTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication();
        ASSERT_TRUE(m_dir.isValid());
    }
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir m_dir;
};

struct ForgedCase {
    const char* name;
    int claimedWidth, claimedHeight;
    bool progressive;
    bool shownReduced; // within every budget once reduced for a 300 x 225 panel
};

class PreviewForgedSize : public PreviewHostileTest,
                          public ::testing::WithParamInterface<ForgedCase> {};

// Regression: a 77 KB file claiming 30000 x 30000 took 6 GB and 21 s; the decoder allocated
// what the header said before reading a single row.
TEST_P(PreviewForgedSize, IsRefusedBeforeAnythingOfItsSizeIsAllocated) {
    const ForgedCase& c = GetParam();
    const QString file = path("forged.jpg");
    writeFile(file,
              withClaimedSize(smallJpeg(64, 48, c.progressive), c.claimedWidth, c.claimedHeight));
    const ChildReport report = runLimited(
        kChildAddressSpace, [&] { return loadPreviewPicture(file).has_value() ? 1 : 0; });
    ASSERT_TRUE(report.reported) << c.name << ": the child died, signal " << report.signal
                                 << ", exit status " << report.exitStatus;
    EXPECT_EQ(report.outcome, 0) << c.name << ": a picture came back";
    EXPECT_LT(report.growthKb, kRefusalPeakKb) << c.name << ": peak above the start";
}

// For a panel the same files are decoded reduced when that fits the budget, refused when not;
// either way the peak stays far below what the header claims.
TEST_P(PreviewForgedSize, ForAPanelCostsNoMoreThanTheReducedPicture) {
    const ForgedCase& c = GetParam();
    const QString file = path("forged.jpg");
    writeFile(file,
              withClaimedSize(smallJpeg(64, 48, c.progressive), c.claimedWidth, c.claimedHeight));
    const ChildReport report = runLimited(kChildAddressSpace, [&] {
        const std::optional<PreviewPicture> picture = decodePreview(file, QSize(300, 225));
        if (!picture)
            return 0;
        // Reduced to 1/8, with the picture's own size kept for the fitting.
        const bool reduced = picture->size == QSize(c.claimedWidth, c.claimedHeight) &&
                             picture->image.width() == (c.claimedWidth + 7) / 8 &&
                             picture->image.height() == (c.claimedHeight + 7) / 8;
        return reduced ? 1 : 2;
    });
    ASSERT_TRUE(report.reported) << c.name << ": the child died, signal " << report.signal
                                 << ", exit status " << report.exitStatus;
    EXPECT_EQ(report.outcome, c.shownReduced ? 1 : 0) << c.name;
    // The reduced picture itself: at most 2048 x 2048 x 3 bytes.
    EXPECT_LT(report.growthKb, kRefusalPeakKb + 12 * 1024) << c.name << ": peak above the start";
}

INSTANTIATE_TEST_SUITE_P(
    Headers, PreviewForgedSize,
    ::testing::Values(ForgedCase{"s16000", 16000, 16000, false, true},
                      ForgedCase{"s30000", 30000, 30000, false, false},
                      ForgedCase{"s65500", 65500, 65500, false, false},
                      ForgedCase{"wide65500x3000", 65500, 3000, false, true},
                      ForgedCase{"progressive16000", 16000, 16000, true, false},
                      ForgedCase{"progressive30000", 30000, 30000, true, false}),
    [](const auto& p) { return std::string(p.param.name); });

// A progressive file whose last scan is repeated: every copy passes over the whole picture
// again, so a few kilobytes of them can keep a decoder busy for minutes.
QByteArray withLastScanRepeated(const QByteArray& jpeg, int copies) {
    const qsizetype lastScan = jpeg.lastIndexOf(QByteArray("\xFF\xDA", 2));
    const qsizetype end = jpeg.lastIndexOf(QByteArray("\xFF\xD9", 2));
    if (lastScan < 0 || end < lastScan) {
        ADD_FAILURE() << "no scan";
        return jpeg;
    }
    QByteArray bomb = jpeg.left(end);
    const QByteArray scan = jpeg.mid(lastScan, end - lastScan);
    for (int i = 0; i < copies; ++i)
        bomb += scan;
    return bomb + QByteArray("\xFF\xD9", 2);
}

// Regression guard: a file of many scans is refused once it passes what any real file has.
TEST_F(PreviewHostileTest, ProgressiveFileOfEndlessScansIsRefused) {
    const QByteArray progressive = smallJpeg(64, 48, true);
    struct Case {
        int copies;
        bool shown;
    };
    for (const Case c : {Case{0, true}, Case{450, true}, Case{600, false}, Case{5000, false}}) {
        const QByteArray bytes = withLastScanRepeated(progressive, c.copies);
        writeFile(path("scans.jpg"), bytes);
        EXPECT_EQ(decodeJpegFile(path("scans.jpg")).has_value(), c.shown) << c.copies;
        EXPECT_EQ(decodeJpeg(reinterpret_cast<const uint8_t*>(bytes.constData()),
                             static_cast<size_t>(bytes.size()))
                      .has_value(),
                  c.shown)
            << c.copies;
    }
}

// A photo-like picture large enough that its decode takes a while.
QByteArray largeJpeg() {
    QImage image(2400, 1800, QImage::Format_RGB32);
    uint32_t noise = 12345;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            noise = noise * 1103515245u + 12345u;
            const int n = static_cast<int>((noise >> 16) & 63);
            row[x] = qRgb((x / 10 + n) & 255, (y / 8 + n) & 255, ((x + y) / 20) & 255);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPG", 95));
    return bytes;
}

// Regression: the decoder read a mapping of the file, and a file cut short by another program
// during the decode ended the browser with SIGBUS. Now a file that changes gives a picture of
// what was read, or none, and the program goes on.
TEST_F(PreviewHostileTest, FileCutShortDuringTheDecodeEndsNothing) {
    const QString file = path("changing.jpg");
    const QByteArray bytes = largeJpeg();
    writeFile(file, bytes);
    const std::string name = QFile::encodeName(file).toStdString();
    const ChildReport report = runLimited(size_t(2048) * kMiB, [&] {
        std::atomic<bool> stop{false};
        std::thread cutter([&] {
            const int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd < 0)
                return;
            while (!stop) {
                // Cut to nothing, then write it back part by part: every length passes by.
                if (::ftruncate(fd, 0) != 0)
                    break;
                for (qsizetype at = 0; at < bytes.size() && !stop; at += 64 * 1024) {
                    const size_t n =
                        static_cast<size_t>(std::min<qsizetype>(64 * 1024, bytes.size() - at));
                    if (::pwrite(fd, bytes.constData() + at, n, at) != static_cast<ssize_t>(n))
                        break;
                }
            }
            ::close(fd);
        });
        int decoded = 0;
        for (int i = 0; i < 60; ++i)
            decoded += decodeJpegFile(file).has_value() ? 1 : 0;
        for (int i = 0; i < 20; ++i)
            decoded += loadPreviewPicture(file).has_value() ? 1 : 0;
        stop = true;
        cutter.join();
        return decoded;
    });
    ASSERT_TRUE(report.reported) << "the decoder died, signal " << report.signal << ", exit status "
                                 << report.exitStatus;
    EXPECT_GE(report.outcome, 0);
}

// Regression: a FIFO named x.bmp in the browsed folder held the window in open() until killed.
TEST_F(PreviewHostileTest, FifoWithAPictureNameIsNeverWaitedOn) {
    for (const char* name : {"x.bmp", "y.jpg"}) {
        const QString fifo = path(name);
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const std::string fifoName = QFile::encodeName(fifo).toStdString();
        {
            kerris::test::FifoWatch watch(fifoName);
            EXPECT_FALSE(loadPreviewPicture(fifo)) << name;
            EXPECT_TRUE(watch.finish()) << name << ": the preview waited on the FIFO";
        }
        {
            kerris::test::FifoWatch watch(fifoName);
            EXPECT_FALSE(loadBitmapFile(fifo)) << name;
            EXPECT_TRUE(watch.finish()) << name << ": the bitmap reader waited on the FIFO";
        }
        {
            kerris::test::FifoWatch watch(fifoName);
            EXPECT_FALSE(decodeJpegFile(fifo)) << name;
            EXPECT_TRUE(watch.finish()) << name << ": the JPEG reader waited on the FIFO";
        }
    }
}

TEST_F(PreviewHostileTest, FoldersAndDevicesAreNoPictures) {
    test::makeFolder(path("folder.jpg"));
    ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(path("zero.bmp")).constData()), 0);
    for (const char* name : {"folder.jpg", "zero.bmp"}) {
        EXPECT_FALSE(loadPreviewPicture(path(name))) << name;
        EXPECT_FALSE(decodeJpegFile(path(name))) << name;
    }
}

} // namespace
} // namespace lumicart
