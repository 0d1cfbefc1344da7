// The page classes and the replaceable services of pages.h, inside the library.
#pragma once

#include "platform/encoder/capture_session.h"
#include "platform/encoder/encoder_interfaces.h"

#include <string>
#include <vector>

class QWidget;

namespace kerris::encoder::pages {

// Each returns a new page with one reference, as IEncoderPage.
IEncoderPage* newVideoSourcePage();
IEncoderPage* newAudioSourcePage();
IEncoderPage* newProfilePage();
IEncoderPage* newOutputPage();
IEncoderPage* newSessionPage();

// The devices of that source type, through the lister in use.
std::vector<DeviceInfo> devicesOf(int32_t sourceType);
// Shows a page's help through the presenter in use.
void presentHelp(QWidget* near, const std::string& title, const std::string& text);

} // namespace kerris::encoder::pages
