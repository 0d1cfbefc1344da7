// The view as the program binds it: added to the video source's preview collection, given the
// handle of a window, started; it then shows the run's live video scaled to fit that window,
// with or without a recording, and follows StartView / StopView. Also the fitting on its own.
#include "tests/encoder/objects_support.h"

#include "platform/encoder/encoder_interfaces.h"
#include "platform/encoder/view_surface.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QPalette>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace kerris::encoder::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// With KERRIS_SCREENSHOT_DIR set, the pictures the view showed are kept for a person to look at.
void saveScreenshot(const QImage& image, const std::string& name) {
    if (const char* dir = std::getenv("KERRIS_SCREENSHOT_DIR"))
        image.save(QString::fromStdString(std::string(dir) + "/view-" + name + ".png"));
}

struct Fit {
    int pictureWidth, pictureHeight;
    QRect area, expected;
};

TEST(ViewFitting, KeepsTheProportionsAndCentres) {
    const Fit cases[] = {
        {320, 240, {0, 0, 320, 240}, {0, 0, 320, 240}},
        {320, 240, {0, 0, 640, 480}, {0, 0, 640, 480}},
        {320, 240, {0, 0, 500, 300}, {50, 0, 400, 300}},  // bars left and right
        {320, 240, {0, 0, 300, 500}, {0, 137, 300, 225}}, // bars above and below
        {640, 480, {10, 20, 160, 120}, {10, 20, 160, 120}},
        {176, 144, {0, 0, 1, 1}, {0, 0, 1, 1}},
        {320, 240, {0, 0, 321, 240}, {0, 0, 320, 240}}, // rounded, centred to the left
        {320, 240, {0, 0, 1, 100}, {0, 49, 1, 1}},      // a pixel at least
        {0, 240, {0, 0, 320, 240}, {}},
        {320, 0, {0, 0, 320, 240}, {}},
        {320, 240, {}, {}},
        {32767, 1, {0, 0, 32767, 32767}, {0, 16383, 32767, 1}}, // no overflow on the way
    };
    for (const Fit& f : cases)
        EXPECT_EQ(fittedRect(f.pictureWidth, f.pictureHeight, f.area), f.expected)
            << f.pictureWidth << "x" << f.pictureHeight << " in " << f.area.width() << "x"
            << f.area.height();
}

class Views : public ComponentTest {
protected:
    static void SetUpTestSuite() {
        if (!QApplication::instance()) {
            static int argc = 1;
            static char name[] = "encoder_objects_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
    }
    void SetUp() override {
        ComponentTest::SetUp();
        window = std::make_unique<QWidget>();
        // A window colour of its own, so a test sees what the view paints and what it left.
        QPalette palette;
        palette.setColor(QPalette::Window, QColor(kWindowColour));
        window->setPalette(palette);
        window->setAutoFillBackground(true);
        window->resize(500, 300);
        window->show();
    }
    void TearDown() override {
        window.reset();
        ComponentTest::TearDown();
    }

    // The program's SetupPreview and StartEncoder: a view in the video source's preview, bound
    // to the window, encoder started, view started. False with the failing step's error.
    bool bind(const SlotObject& encoder) {
        SlotObject source = encoder.out(slot::kSourceGroupCollection)
                                .out(slot::kActiveGroup)
                                .out(slot::kSource, kSourceTypeVideo, 0);
        previews = source.out(slot::kPreviewCollection);
        if (!previews || previews(slot::kPreviewRemoveAll) != com::S_OK)
            return false;
        view = create(CLSID_View, IView::kIid);
        if (!view || previews(slot::kPreviewAdd, view.get(), &cookie) != com::S_OK)
            return false;
        com::HWND handle = KerrisWindowHandle(window.get());
        return encoder(slot::kPrepareToEncode, 1) == com::S_OK &&
               view(slot::kSetViewProperties, cookie, uint32_t(4), &handle) == com::S_OK &&
               encoder(slot::kStart) == com::S_OK && view(slot::kStartView, cookie) == com::S_OK;
    }
    static bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            QApplication::processEvents();
            if (condition())
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return condition();
    }
    void pump(std::chrono::milliseconds time) {
        waitFor([] { return false; }, time);
    }
    QImage shown() { return window->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // How many pixels of a region have that colour; lit: how many are not black.
    static int pixels(const QImage& image, const QRect& region, QRgb colour) {
        int n = 0;
        for (int y = region.top(); y <= region.bottom(); ++y)
            for (int x = region.left(); x <= region.right(); ++x)
                n += (image.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
        return n;
    }
    static int lit(const QImage& image, const QRect& region) {
        return region.width() * region.height() - pixels(image, region, 0);
    }
    static constexpr QRgb kWindowColour = 0xff203080;

    std::unique_ptr<QWidget> window;
    SlotObject previews, view;
    int32_t cookie = -1;
};

TEST_F(Views, ShowTheLiveSceneScaledToFitTheWindowDuringARecordingToo) {
    for (const std::string& output : {std::string(), (folder / "VideoRec.wmv").string()}) {
        SlotObject encoder = readyEncoder(output);
        ASSERT_TRUE(encoder);
        ASSERT_TRUE(bind(encoder)) << takeErrorDescription();
        EXPECT_GE(cookie, 1);
        // 320 x 240 in 500 x 300: the picture is 400 x 300 at x = 50, black bars beside it.
        const QRect picture(50, 0, 400, 300);
        ASSERT_TRUE(
            waitFor([&] { return lit(shown(), picture.adjusted(20, 20, -20, -20)) > 1000; }, 5s))
            << "no picture within 5 s";
        QImage first = shown();
        EXPECT_EQ(pixels(first, first.rect(), kWindowColour), 0) << "the view covers the window";
        EXPECT_EQ(lit(first, QRect(0, 0, 48, 300)), 0) << "the bars are black";
        EXPECT_EQ(lit(first, QRect(452, 0, 48, 300)), 0);
        // The scene moves.
        EXPECT_TRUE(waitFor([&] { return shown() != first; }, 2s)) << "the picture does not change";
        pump(300ms); // past the white picture of the second, to the scene itself
        saveScreenshot(shown(), output.empty() ? "preview" : "recording");

        // A window that grows takes the picture with it.
        window->resize(640, 480);
        EXPECT_TRUE(waitFor([&] { return lit(shown(), QRect(600, 440, 30, 30)) > 0; }, 2s));
        window->resize(500, 300);

        // Stopped, the view keeps the last picture and stops changing.
        ASSERT_EQ(view(slot::kStopView, cookie), com::S_OK);
        pump(100ms);
        const QImage still = shown();
        pump(400ms);
        EXPECT_EQ(shown(), still);
        ASSERT_EQ(view(slot::kStartView, cookie), com::S_OK);
        EXPECT_TRUE(waitFor([&] { return shown() != still; }, 2s)) << "started again, it moves";

        ASSERT_EQ(view(slot::kStopView, cookie), com::S_OK);
        ASSERT_EQ(encoder(slot::kStop), com::S_OK);
        ASSERT_EQ(previews(slot::kPreviewRemoveAll), com::S_OK);
        EXPECT_EQ(view(slot::kStartView, cookie), com::E_INVALIDARG)
            << "removed from the preview, the view forgets the cookie";
        takeErrorDescription();
        pump(50ms);
        EXPECT_EQ(pixels(shown(), window->rect(), kWindowColour), 500 * 300)
            << "and its picture leaves the window";
        if (!output.empty()) {
            const Probe p = probe(output);
            EXPECT_TRUE(p.readable);
            EXPECT_GT(p.videoFrames, 0);
        }
    }
}

TEST_F(Views, WrongPropertiesUnknownCookiesAndGoneWindowsAreRefused) {
    SlotObject encoder = readyEncoder("");
    ASSERT_TRUE(encoder);
    ASSERT_TRUE(bind(encoder)) << takeErrorDescription();
    com::HWND handle = KerrisWindowHandle(window.get());
    struct Case {
        const char* name;
        int32_t cookie;
        uint32_t size;
        void* data;
    };
    com::HWND unknown = 0x7ffffff0;
    for (const Case& c :
         {Case{"size 8", cookie, 8, &handle}, Case{"size 0", cookie, 0, &handle},
          Case{"no data", cookie, 4, nullptr}, Case{"unknown handle", cookie, 4, &unknown},
          Case{"unknown cookie", cookie + 1, 4, &handle}}) {
        EXPECT_EQ(view(slot::kSetViewProperties, c.cookie, c.size, c.data), com::E_INVALIDARG)
            << c.name;
        EXPECT_NE(takeErrorDescription(), "") << c.name;
    }
    EXPECT_EQ(view(slot::kStartView, cookie + 1), com::E_INVALIDARG);
    EXPECT_EQ(view(slot::kStopView, -1), com::E_INVALIDARG);
    EXPECT_NE(takeErrorDescription(), "");
    EXPECT_FALSE(com::failed(view(slot::kStartView, cookie))) << "the bound view still runs";

    // The window goes before the view: the view lets go of it quietly.
    window.reset();
    pump(100ms);
    EXPECT_EQ(view(slot::kStopView, cookie), com::S_OK);
    EXPECT_EQ(view(slot::kSetViewProperties, cookie, uint32_t(4), &handle), com::E_INVALIDARG);
    EXPECT_NE(takeErrorDescription(), "");
    view.reset();
    EXPECT_EQ(encoder(slot::kStop), com::S_OK);
}

// The view in a second encoder's preview (the first not yet released) keeps its first binding.
TEST_F(Views, OneViewInTwoPreviewsKeepsBothBindings) {
    SlotObject first = readyEncoder("");
    ASSERT_TRUE(first);
    ASSERT_TRUE(bind(first)) << takeErrorDescription();
    SlotObject second = readyEncoder("");
    ASSERT_TRUE(second);
    SlotObject other = second.out(slot::kSourceGroupCollection)
                           .out(slot::kActiveGroup)
                           .out(slot::kSource, kSourceTypeVideo, 0)
                           .out(slot::kPreviewCollection);
    int32_t again = -1;
    ASSERT_EQ(other(slot::kPreviewAdd, view.get(), &again), com::S_OK);
    EXPECT_NE(again, cookie);
    ASSERT_EQ(other(slot::kPreviewRemoveAll), com::S_OK);
    EXPECT_EQ(view(slot::kStopView, cookie), com::S_OK) << "the first binding is still there";
    EXPECT_EQ(view(slot::kStartView, cookie), com::S_OK);
    EXPECT_EQ(view(slot::kStopView, cookie), com::S_OK);
    EXPECT_EQ(first(slot::kStop), com::S_OK);
}

TEST_F(Views, OnlyViewsOfThisComponentGoIntoAPreview) {
    SlotObject encoder = readyEncoder("");
    SlotObject source = encoder.out(slot::kSourceGroupCollection)
                            .out(slot::kActiveGroup)
                            .out(slot::kSource, kSourceTypeVideo, 0);
    SlotObject collection = source.out(slot::kPreviewCollection);
    ASSERT_TRUE(collection);
    int32_t given = -5;
    EXPECT_EQ(collection(slot::kPreviewAdd, encoder.get(), &given), com::E_INVALIDARG);
    EXPECT_EQ(given, -5);
    EXPECT_NE(takeErrorDescription(), "");
    EXPECT_EQ(collection(slot::kPreviewAdd, static_cast<void*>(nullptr), &given),
              com::E_INVALIDARG);
    SlotObject a = create(CLSID_View, IView::kIid), b = create(CLSID_View, IView::kIid);
    int32_t first = 0, second = 0;
    ASSERT_EQ(collection(slot::kPreviewAdd, a.get(), &first), com::S_OK);
    ASSERT_EQ(collection(slot::kPreviewAdd, b.get(), &second), com::S_OK);
    EXPECT_NE(first, second);
    int32_t n = 0;
    EXPECT_EQ(collection(slot::kPreviewCount, &n), com::S_OK);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(collection(slot::kPreviewRemove, first), com::S_OK);
    EXPECT_EQ(collection(slot::kPreviewRemove, first), com::E_INVALIDARG);
    EXPECT_NE(takeErrorDescription(), "");
    EXPECT_EQ(collection(slot::kPreviewCount, &n), com::S_OK);
    EXPECT_EQ(n, 1);
}

} // namespace
} // namespace kerris::encoder::testing
