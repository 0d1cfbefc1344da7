// The property pages in their host, created by class identifier as the configuration dialog
// creates them: the host shows the four pages as tabs over the encoder it was given, and a
// change of the video source or of the profile reaches the encoder at Apply, not before.
#include "tests/encoder/objects_support.h"

#include "platform/encoder/encoder_interfaces.h"

#include <QApplication>
#include <QListWidget>
#include <QTabWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace kerris::encoder::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kAddPage = 7, kPageCount = 8, kPutObject = 10, kApply = 12, kCurrentPage = 17;
constexpr int kAttach = 3;

class Pages : public ComponentTest {
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
        window->resize(480, 360);
        window->show();
    }
    void TearDown() override {
        host.reset();
        window.reset();
        QApplication::processEvents();
        ComponentTest::TearDown();
    }
    // The configuration dialog's set-up: the host, the encoder, the four pages, the window.
    void openPages(const SlotObject& encoder) {
        host = create(CLSID_PropertyPageHost, IPropertyPageHost::kIid);
        ASSERT_TRUE(host) << takeErrorDescription();
        ASSERT_EQ(host(kPutObject, encoder.get()), com::S_OK) << takeErrorDescription();
        for (const GUID& clsid : {CLSID_Page1, CLSID_Page2, CLSID_Page3, CLSID_Page4}) {
            SlotObject page = create(clsid, com::IUnknown::kIid);
            ASSERT_TRUE(page);
            ASSERT_EQ(host(kAddPage, page.get()), com::S_OK) << takeErrorDescription();
        }
        SlotObject site = host.query(IControlSite::kIid);
        ASSERT_TRUE(site);
        com::HWND handle = KerrisWindowHandle(window.get());
        ASSERT_EQ(site(kAttach, handle, static_cast<const uint8_t*>(nullptr), uint32_t(0)),
                  com::S_OK);
        QApplication::processEvents();
        tabs = window->findChild<QTabWidget*>();
        ASSERT_NE(tabs, nullptr);
    }
    // The list of the page on that tab.
    QListWidget* list(int tab, const char* name) {
        QWidget* page = tabs ? tabs->widget(tab) : nullptr;
        return page ? page->findChild<QListWidget*>(name) : nullptr;
    }
    static bool choose(QListWidget* list, const QString& text) {
        for (int i = 0; list && i < list->count(); ++i)
            if (list->item(i)->text() == text) {
                list->setCurrentRow(i);
                return true;
            }
        return false;
    }
    static std::string groupProfile(const SlotObject& encoder) {
        com::BSTR name = nullptr;
        SlotObject group = encoder.out(slot::kSourceGroupCollection).out(slot::kActiveGroup);
        EXPECT_EQ(group.out(slot::kProfile)(slot::kProfileName, &name), com::S_OK);
        return takeText(name);
    }
    static std::string videoInput(const SlotObject& encoder) {
        SlotObject source = encoder.out(slot::kSourceGroupCollection)
                                .out(slot::kActiveGroup)
                                .out(slot::kSource, kSourceTypeVideo, 0);
        com::BSTR a = nullptr, b = nullptr, c = nullptr;
        EXPECT_EQ(source(slot::kGetInput, &a, &b, &c), com::S_OK);
        takeText(b), takeText(c);
        return takeText(a);
    }

    std::unique_ptr<QWidget> window;
    SlotObject host;
    QTabWidget* tabs = nullptr;
};

TEST_F(Pages, TheHostShowsTheFourPagesAsTabsInTheWindow) {
    SlotObject encoder = readyEncoder("");
    ASSERT_TRUE(encoder);
    openPages(encoder);
    int32_t count = 0;
    EXPECT_EQ(host(kPageCount, &count), com::S_OK);
    EXPECT_EQ(count, 4);
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_TRUE(tabs->isVisible());
    int32_t current = -2;
    EXPECT_EQ(host(kCurrentPage, &current), com::S_OK);
    EXPECT_EQ(current, 0);
    // The source pages list the devices by friendly name, the one in use chosen.
    QListWidget* video = list(0, "devices");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(video->currentItem(), nullptr);
    EXPECT_EQ(video->currentItem()->text(), "Kerris Camera");
    QListWidget* audio = list(1, "devices");
    ASSERT_NE(audio, nullptr);
    ASSERT_NE(audio->currentItem(), nullptr);
    EXPECT_EQ(audio->currentItem()->text(), "Kerris Camera Microphone");
    QListWidget* profiles = list(2, "profiles");
    ASSERT_NE(profiles, nullptr);
    ASSERT_NE(profiles->currentItem(), nullptr);
    EXPECT_EQ(profiles->currentItem()->text(), "Murvane");
    if (const char* dir = std::getenv("KERRIS_SCREENSHOT_DIR")) {
        tabs->setCurrentIndex(2);
        QApplication::processEvents();
        window->grab().save(QString(dir) + "/pages-profile.png");
    }
}

TEST_F(Pages, AnotherProfileTakesEffectAtApplyAndTheNextRecordingHasItsSize) {
    const fs::path output = folder / "VideoRec.wmv";
    SlotObject encoder = readyEncoder(output.string());
    ASSERT_TRUE(encoder);
    openPages(encoder);
    ASSERT_TRUE(choose(list(2, "profiles"), "Video for LAN (640 x 480, 30 fps)"));
    EXPECT_EQ(groupProfile(encoder), "Murvane") << "nothing changes before Apply";
    ASSERT_EQ(host(kApply), com::S_OK) << takeErrorDescription();
    EXPECT_EQ(groupProfile(encoder), "Video for LAN (640 x 480, 30 fps)");

    ASSERT_EQ(encoder(slot::kStart), com::S_OK) << takeErrorDescription();
    std::this_thread::sleep_for(1500ms);
    ASSERT_EQ(encoder(slot::kStop), com::S_OK);
    const Probe p = probe(output);
    ASSERT_TRUE(p.readable);
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.height, 480);
    EXPECT_DOUBLE_EQ(p.frameRate, 30);
    EXPECT_EQ(p.audioChannels, 2);
}

TEST_F(Pages, AnotherVideoSourceTakesEffectAtApply) {
    // The group records from a camera that is gone: the page offers it, marked, beside the
    // camera that is there.
    SlotObject encoder = readyEncoder("", "Murvane", "device://Old Camera");
    ASSERT_TRUE(encoder);
    EXPECT_TRUE(com::failed(encoder(slot::kStart)));
    EXPECT_NE(takeErrorDescription().find("Old Camera"), std::string::npos);
    openPages(encoder);
    QListWidget* video = list(0, "devices");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(video->currentItem(), nullptr);
    EXPECT_EQ(video->currentItem()->text(), "Old Camera (not connected)");
    ASSERT_TRUE(choose(video, "Kerris Camera"));
    EXPECT_EQ(videoInput(encoder), "device://Old Camera") << "nothing changes before Apply";
    ASSERT_EQ(host(kApply), com::S_OK) << takeErrorDescription();
    EXPECT_EQ(videoInput(encoder), "device://Kerris Camera");
    EXPECT_EQ(encoder(slot::kStart), com::S_OK) << takeErrorDescription();
    EXPECT_EQ(encoder(slot::kStop), com::S_OK);
}

} // namespace
} // namespace kerris::encoder::testing
