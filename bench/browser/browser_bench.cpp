// The browser's two hot paths, each beside a command-line tool doing the same work in the same
// run: filling the file list from a folder of 10,000 pictures beside `ls -l` of that folder,
// the preview's JPEG decode of a 12-megapixel photo beside `djpeg` of the same file, and the
// preview of a 24-megapixel photo in a 300 x 225 panel, drawn, beside `djpeg -scale 1/8` of it
// and beside the preview decoded whole.
#include "browser/preview.h"
#include "browser/tformmain.h"
#include "platform/shell/shell.h"
#include "tests/browser/photo_like.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <sys/resource.h>

#include <jpeglib.h>

namespace {

constexpr int kPictureFiles = 10000;

// A user interface that shows nothing: the benchmark has nobody to answer boxes.
class SilentInterface : public lumicart::UserInterface {
public:
    void showError(QWidget*, const QString&) override {}
    bool confirmDelete(QWidget*, const QStringList&) override { return false; }
    void showShellError(QWidget*, const QString&) override {}
    QString getSaveFileName(QWidget*, const lumicart::FileDialogOptions&) override { return {}; }
    QString getOpenFileName(QWidget*, const lumicart::FileDialogOptions&) override { return {}; }
};

struct Fixture {
    QTemporaryDir dir;
    QString pictures; // 10,000 picture files (and a few others the filter drops)
    QString photo;    // one large JPEG
    // 24-megapixel photos: smooth (1.2 MB), and with a sensor's grain (8.8 MB, the size of
    // a camera's file at this quality).
    QString photo24[2];
    SilentInterface ui;
    std::unique_ptr<lumicart::TFormMain> form;
    std::shared_ptr<kerris::shell::Folder> folder;

    Fixture() {
        pictures = dir.path() + "/pictures/";
        QDir().mkpath(pictures);
        const QByteArray body(2048, '\0');
        for (int i = 0; i < kPictureFiles; ++i) {
            const char* extension = i % 10 == 9 ? "BMP" : (i % 10 == 8 ? "jpeg" : "JPG");
            QFile file(pictures + QString::asprintf("IMG_%05d.%s", i, extension));
            if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size())
                std::abort();
        }
        for (int i = 0; i < 100; ++i) {
            QFile other(pictures + QString::asprintf("note_%03d.txt", i));
            if (!other.open(QIODevice::WriteOnly))
                std::abort();
        }

        // A photo-like picture: gradients and shapes, so the entropy coder has work to do.
        QImage image(4000, 3000, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient gradient(0, 0, 4000, 3000);
        gradient.setColorAt(0, Qt::darkBlue);
        gradient.setColorAt(0.5, Qt::yellow);
        gradient.setColorAt(1, Qt::darkRed);
        painter.fillRect(image.rect(), gradient);
        for (int i = 0; i < 400; ++i) {
            painter.setBrush(QColor::fromHsv((i * 37) % 360, 180, 200));
            painter.drawEllipse((i * 997) % 4000, (i * 613) % 3000, 40 + i % 200, 30 + i % 150);
        }
        painter.end();
        photo = dir.path() + "/photo.jpg";
        if (!image.save(photo, "JPG", 90))
            std::abort();
        for (int grainy = 0; grainy < 2; ++grainy) {
            photo24[grainy] = dir.path() + QString::asprintf("/photo24-%d.jpg", grainy);
            if (!lumicart::test::photoLikePicture(6000, 4000, grainy ? 32 : 0)
                     .save(photo24[grainy], "JPG", 90))
                std::abort();
        }

        kerris::shell::setVolumes(std::vector<QString>{dir.path()});
        kerris::shell::setHomeFolder(QString());
        qputenv("KERRIS_REGISTRY_DIR", dir.path().toLocal8Bit());
        form = std::make_unique<lumicart::TFormMain>(
            ui, lumicart::TFormMain::Options{dir.path() + "/app/Lumicart"});
        // The picture folder, bound through the namespace as the tree binds it.
        auto desktop = kerris::shell::desktopFolder();
        auto roots = desktop->enumerate(kerris::shell::kEnumFolders).value();
        auto computer = desktop->bindToFolder(roots.at(0));
        auto volumes = computer->enumerate(kerris::shell::kEnumFolders).value();
        folder = computer->bindToFolder(volumes.at(0))->bindToFolder({"pictures"});
        if (!folder)
            std::abort();
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// CPU seconds (user + system) of this process, all threads.
double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU seconds (user + system) of the waited-for children so far.
double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& v) {
        return static_cast<double>(v.tv_sec) + static_cast<double>(v.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// On a busy machine the wall clock mostly measures the wait for a core; the CPU time spent
// is reported beside it as cpu_ms (this process) or child_cpu_ms (the command), per run.
void runCommand(benchmark::State& state, const QString& command) {
    const QByteArray line = command.toLocal8Bit();
    const double before = childCpuSeconds();
    for (auto _ : state) {
        if (std::system(line.constData()) != 0) {
            state.SkipWithError("command failed");
            return;
        }
    }
    state.counters["child_cpu_ms"] =
        (childCpuSeconds() - before) * 1000.0 / static_cast<double>(state.iterations());
}

// The list's refresh: clear, enumerate, filter, look up, name types, place icons, sort.
void BM_FillFileList(benchmark::State& state) {
    Fixture& f = fixture();
    const double before = processCpuSeconds();
    for (auto _ : state) {
        f.form->ImageListListViewSmall.clear();
        f.form->ImageListListViewLarge.clear();
        f.form->ClearFileList();
        f.form->FillFileList(f.folder);
    }
    if (f.form->ListView1->topLevelItemCount() != kPictureFiles)
        state.SkipWithError("wrong item count");
    state.counters["items"] = f.form->ListView1->topLevelItemCount();
    state.counters["cpu_ms"] =
        (processCpuSeconds() - before) * 1000.0 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FillFileList)->Unit(benchmark::kMillisecond)->UseRealTime();

// `ls -l` of the same folder, its output thrown away (process start included).
void BM_LsLong(benchmark::State& state) {
    runCommand(state, "ls -l '" + fixture().pictures + "' > /dev/null");
}
BENCHMARK(BM_LsLong)->Unit(benchmark::kMillisecond)->UseRealTime();

// The start of a process alone, to read the two above fairly.
void BM_ProcessStart(benchmark::State& state) {
    runCommand(state, "true");
}
BENCHMARK(BM_ProcessStart)->Unit(benchmark::kMillisecond)->UseRealTime();

// The preview's decode: the bitmap attempt, then the JPEG through libjpeg into a picture.
void BM_LoadPreviewPicture(benchmark::State& state) {
    const QString photo = fixture().photo;
    const bool recycle = state.range(0) != 0;
    QImage previous;
    const double before = processCpuSeconds();
    for (auto _ : state) {
        std::optional<QImage> image =
            lumicart::loadPreviewPicture(photo, recycle ? std::move(previous) : QImage());
        if (!image) {
            state.SkipWithError("decode failed");
            return;
        }
        benchmark::DoNotOptimize(image->constBits());
        previous = std::move(*image);
    }
    state.counters["cpu_ms"] =
        (processCpuSeconds() - before) * 1000.0 / static_cast<double>(state.iterations());
}
// Argument 0: a fresh picture each time (the first preview); 1: the previous picture's
// buffer reused (the next preview of a same-sized photo, as LoadPreview does).
BENCHMARK(BM_LoadPreviewPicture)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// `djpeg` of the same file, its output thrown away (process start included).
void BM_Djpeg(benchmark::State& state) {
    runCommand(state, "djpeg -outfile /dev/null '" + fixture().photo + "'");
}
BENCHMARK(BM_Djpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

// The preview of a 24-megapixel photo in a 300 x 225 panel, from the file to the pixels in the
// panel. First argument: 0 as the preview was before it averaged (decoded whole, the whole held
// as a pixmap and sampled bilinearly into the panel); 1 decoded whole, reduced to the panel by
// averaging and drawn (what a picture decoded whole costs now); 2 decoded reduced for the panel
// (at 1/8) and drawn the same way, as LoadPreview and Image1 do it now. Second argument: 0 the
// smooth photo, 1 the grainy one. The last kind also reports how close its panel is to the whole
// decode's, averaged (psnr_db) and bilinear (psnr_bilinear_db).
QImage preview24(const QString& photo, int kind, QImage previous, QImage* drawnOut = nullptr) {
    const QSize panel(300, 225);
    std::optional<lumicart::PreviewPicture> picture =
        lumicart::decodePreview(photo, kind == 2 ? panel : QSize(), std::move(previous));
    if (!picture || picture->size != QSize(6000, 4000))
        return QImage();
    const lumicart::PreviewGeometry g =
        lumicart::fitPreview(panel.width(), panel.height(), 6000, 4000);
    QImage shown(panel, QImage::Format_RGB32);
    QPainter painter(&shown);
    if (kind == 0) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(QRect(g.left, g.top, g.width, g.height),
                           QPixmap::fromImage(picture->image));
    } else {
        const QImage drawn = lumicart::previewDrawing(*picture, {g.width, g.height}, g.stretch);
        painter.drawPixmap(g.left, g.top, QPixmap::fromImage(drawn));
        if (drawnOut)
            *drawnOut = drawn;
    }
    painter.end();
    if (drawnOut && kind == 0)
        *drawnOut = shown.copy(g.left, g.top, g.width, g.height);
    return std::move(picture->image);
}

void BM_Preview24Megapixels(benchmark::State& state) {
    const QString photo = fixture().photo24[state.range(1)];
    const int kind = static_cast<int>(state.range(0));
    QImage previous;
    const double before = processCpuSeconds();
    for (auto _ : state) {
        QImage decoded = preview24(photo, kind, std::move(previous));
        if (decoded.isNull()) {
            state.SkipWithError("decode failed");
            return;
        }
        state.counters["decoded_width"] = decoded.width();
        previous = std::move(decoded);
    }
    state.counters["cpu_ms"] =
        (processCpuSeconds() - before) * 1000.0 / static_cast<double>(state.iterations());
    if (kind == 2) {
        QImage reduced, averaged, bilinear;
        preview24(photo, 2, QImage(), &reduced);
        preview24(photo, 1, QImage(), &averaged);
        preview24(photo, 0, QImage(), &bilinear);
        state.counters["psnr_db"] = lumicart::test::psnr(averaged, reduced);
        state.counters["psnr_bilinear_db"] = lumicart::test::psnr(bilinear, reduced);
    }
}
BENCHMARK(BM_Preview24Megapixels)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// `djpeg` of the same files (process start included): 0 whole, 1 `-scale 1/8`, 2 `-scale 1/8`
// with the fast integer transform and without smooth upsampling, libjpeg's cheapest decode.
void BM_Djpeg24Megapixels(benchmark::State& state) {
    static const char* const kOptions[] = {"", "-scale 1/8 ", "-scale 1/8 -dct fast -nosmooth "};
    runCommand(state, QStringLiteral("djpeg ") + QLatin1String(kOptions[state.range(0)]) +
                          "-outfile /dev/null '" + fixture().photo24[state.range(1)] + "'");
}
BENCHMARK(BM_Djpeg24Megapixels)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The floor of any decode of the same files: libjpeg reading every coefficient (the entropy
// decoding, which a 1/8 picture made of the DC coefficients alone cannot skip) and nothing else.
void BM_EntropyDecode24Megapixels(benchmark::State& state) {
    const QByteArray name = QFile::encodeName(fixture().photo24[state.range(0)]);
    for (auto _ : state) {
        FILE* file = std::fopen(name.constData(), "rb");
        if (!file) {
            state.SkipWithError("open failed");
            return;
        }
        jpeg_decompress_struct cinfo{};
        jpeg_error_mgr errors{};
        cinfo.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&cinfo);
        jpeg_stdio_src(&cinfo, file);
        jpeg_read_header(&cinfo, TRUE);
        benchmark::DoNotOptimize(jpeg_read_coefficients(&cinfo));
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        std::fclose(file);
    }
}
BENCHMARK(BM_EntropyDecode24Megapixels)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    fixture();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
