// The page classes by identifier, and the replaceable help window and device lists.
#include "platform/encoder/pages/pages.h"

#include "platform/encoder/pages/page_classes.h"

#include <QMessageBox>
#include <QWidget>

#include <new>

namespace kerris::encoder::pages {

namespace {

HelpPresenter& helpPresenter() {
    static HelpPresenter presenter;
    return presenter;
}

DeviceLister& deviceLister() {
    static DeviceLister lister;
    return lister;
}

struct PageClass {
    const GUID& clsid;
    IEncoderPage* (*create)();
};

const PageClass kPageClasses[] = {
    {CLSID_PageMain, newSessionPage},  {CLSID_Page1, newVideoSourcePage},
    {CLSID_Page2, newAudioSourcePage}, {CLSID_Page3, newProfilePage},
    {CLSID_Page4, newOutputPage},
};

// A non-modal window: the caller goes on at once, the window closes itself.
void showHelpWindow(QWidget* near, const std::string& title, const std::string& text) {
    auto* box = new QMessageBox(QMessageBox::Information, QString::fromStdString(title),
                                QString::fromStdString(text), QMessageBox::Ok,
                                near ? near->window() : nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

} // namespace

bool isPageClass(const GUID& clsid) {
    for (const PageClass& c : kPageClasses)
        if (c.clsid == clsid)
            return true;
    return false;
}

com::IUnknown* createPage(const GUID& clsid) {
    for (const PageClass& c : kPageClasses)
        if (c.clsid == clsid) {
            try {
                return c.create();
            } catch (const std::bad_alloc&) {
                return nullptr;
            }
        }
    return nullptr;
}

void setHelpPresenter(HelpPresenter presenter) {
    helpPresenter() = std::move(presenter);
}

void setDeviceLister(DeviceLister lister) {
    deviceLister() = std::move(lister);
}

void presentHelp(QWidget* near, const std::string& title, const std::string& text) {
    if (helpPresenter())
        helpPresenter()(near, title, text);
    else
        showHelpWindow(near, title, text);
}

std::vector<DeviceInfo> devicesOf(int32_t sourceType) {
    if (deviceLister())
        return deviceLister()(sourceType);
    return sourceType == kSourceTypeVideo ? listVideoDevices() : listAudioDevices();
}

} // namespace kerris::encoder::pages
