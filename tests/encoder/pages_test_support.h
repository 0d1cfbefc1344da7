// The page tests' fixture: one offscreen QApplication, device lists and a help window that
// only records what it was asked to show, and a host attached to a window of the test.
#pragma once

#include "platform/encoder/pages/pages.h"
#include "tests/encoder/pages_test_encoder.h"

#include <QApplication>
#include <QListWidget>
#include <QTabWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace pagetest {

namespace pages = kerris::encoder::pages;

struct HelpShown {
    QWidget* near;
    std::string title;
    std::string text;
};

inline std::string errorDescription() {
    ComPtr<com::IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != com::S_OK || !info)
        return "";
    BSTR text = nullptr;
    if (com::failed(info->GetDescription(&text)))
        return "";
    return Bstr::adopt(text).utf8();
}

class PagesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!QApplication::instance()) {
            static int argc = 1;
            static char name[] = "pages_test";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv); // lives for the process
        }
    }

    void SetUp() override {
        script = std::make_shared<Script>();
        encoder = ComPtr<TestEncoder>::adopt(new TestEncoder(script));
        pages::setDeviceLister([this](int32_t type) {
            return type == kSourceTypeVideo ? videoDevices : audioDevices;
        });
        pages::setHelpPresenter(
            [this](QWidget* near, const std::string& title, const std::string& text) {
                helpShown.push_back({near, title, text});
            });
        window = std::make_unique<QWidget>();
        window->resize(480, 360);
    }

    void TearDown() override {
        host.reset();
        window.reset();
        encoder.reset();
        pages::setDeviceLister({});
        pages::setHelpPresenter({});
    }

    // A host attached to `window` (or not attached), with the encoder and these pages.
    void makeHost(const std::vector<GUID>& classes, bool attach = true) {
        host = ComPtr<IPropertyPageHost>::adopt(
            static_cast<IPropertyPageHost*>(pages::createPropertyPageHost()));
        ASSERT_TRUE(host);
        if (attach) {
            auto site = host.as<IControlSite>();
            ASSERT_TRUE(site);
            const uint8_t initData[34] = {};
            ASSERT_EQ(site->Attach(KerrisWindowHandle(window.get()), initData, 34), com::S_OK);
        }
        ASSERT_EQ(host->put_Object(static_cast<IEncoder*>(encoder.get())), com::S_OK);
        for (const GUID& clsid : classes) {
            auto page = ComPtr<IUnknown>::adopt(pages::createPage(clsid));
            ASSERT_TRUE(page);
            ASSERT_EQ(host->AddPage(page.get()), com::S_OK) << errorDescription();
        }
    }

    QTabWidget* tabs() const { return window->findChild<QTabWidget*>(); }
    // The list of the page at that tab.
    QListWidget* listOn(int tab, const char* name) const {
        return tabs() ? tabs()->widget(tab)->findChild<QListWidget*>(name) : nullptr;
    }
    static std::vector<std::string> texts(const QListWidget* list) {
        std::vector<std::string> out;
        for (int i = 0; list && i < list->count(); ++i)
            out.push_back(list->item(i)->text().toStdString());
        return out;
    }

    ScriptPtr script;
    ComPtr<TestEncoder> encoder;
    ComPtr<IPropertyPageHost> host;
    std::unique_ptr<QWidget> window;
    std::vector<kerris::encoder::DeviceInfo> videoDevices{{"USB Camera", "v4l2", "/dev/video0"},
                                                          {"Kerris Camera", "virtual", "camera"}};
    std::vector<kerris::encoder::DeviceInfo> audioDevices{
        {"Built-in Microphone", "pulse", "alsa_input.pci"},
        {"Kerris Camera Microphone", "virtual", "camera"}};
    std::vector<HelpShown> helpShown;
};

} // namespace pagetest
