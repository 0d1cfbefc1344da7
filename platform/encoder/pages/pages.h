// The encoder's property pages and the host control that shows them as tabs (Qt widgets), as
// component objects. libkerrisenc.so serves them from its DllGetClassObject through these
// creation functions; everything the pages change goes through the encoder's interfaces
// (encoder_interfaces.h), so they work on any object that implements them.
//
//   host  (CLSID_PropertyPageHost): IPropertyPageHost and IControlSite. Attach places a tab
//         widget filling the parent window; AddPage (7) adds a page as a tab and activates it
//         on the encoder given by put_Object (10); Apply (12) applies every page;
//         get_CurrentPage (17) is the current tab (-1 when none); ShowHelp (30) shows a
//         page's help (E_INVALIDARG for an index without a page). Pages added before Attach
//         wait in a hidden tab widget, so a host that is never shown works all the same.
//   pages (IEncoderPage):
//         CLSID_Page1    "Video source": the video input devices by friendly name;
//         CLSID_Page2    "Audio source": the audio input devices;
//         CLSID_Page3    "Profile": the encoder's profiles with their descriptions;
//         CLSID_Page4    "Output": the broadcast port and the output file;
//         CLSID_PageMain "Session": what the encoder is set to record (read only).
//         The source pages and the profile page write to the group in use, making one
//         (named after the chosen device, or "Default") when the encoder has none.
//
// All of it runs on the GUI thread; a QApplication must exist before a page is activated.
#pragma once

#include "platform/com/com.h"
#include "platform/encoder/capture_session.h"

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace kerris::encoder::pages {

// A new host, as IUnknown with one reference for the caller; null when memory is short.
com::IUnknown* createPropertyPageHost();
// A new page of that class, as IUnknown with one reference; null for a class that is not a page.
com::IUnknown* createPage(const com::GUID& clsid);
// True for the five page classes.
bool isPageClass(const com::GUID& clsid);

// How ShowHelp shows a page's help. The default opens a non-modal message window beside the
// host's window and returns at once; tests set their own (an empty function restores the
// default). `near` is the host's widget (null when it has none).
using HelpPresenter =
    std::function<void(QWidget* near, const std::string& title, const std::string& text)>;
void setHelpPresenter(HelpPresenter presenter);

// Where the source pages get their device lists (kSourceTypeVideo or kSourceTypeAudio). The
// default is listVideoDevices() / listAudioDevices() of the recording engine; tests set their
// own (an empty function restores the default).
using DeviceLister = std::function<std::vector<DeviceInfo>(int32_t sourceType)>;
void setDeviceLister(DeviceLister lister);

} // namespace kerris::encoder::pages
