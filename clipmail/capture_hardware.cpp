// Capture devices through the system device enumerator, and the source group of the first run.
#include "clipmail/capture_hardware.h"

#include "clipmail/com_calls.h"

#include <QString>

namespace kerris::clipmail {

using com::ComPtr;
using com::failed;
using namespace encoder;

namespace {

// Frees what a property bag wrote into a VARIANT.
void clearVariant(com::VARIANT& value) {
    if (value.vt == com::VT_BSTR)
        SysFreeString(value.bstrVal);
    else if ((value.vt == com::VT_DISPATCH || value.vt == com::VT_UNKNOWN) && value.punkVal)
        value.punkVal->Release();
    value.vt = com::VT_EMPTY;
}

std::vector<std::string> devicesOf(const GUID& category) {
    std::vector<std::string> names;
    ComPtr<IEnumMoniker> monikers;
    {
        ComPtr<ICreateDevEnum> devices = createObject<ICreateDevEnum>(CLSID_SystemDeviceEnum);
        // A category without devices answers S_FALSE and no enumerator.
        if (!devices || failed(devices->CreateClassEnumerator(category, monikers.put(), 0)) ||
            !monikers) {
            discardErrorInfo();
            return names;
        }
    }
    monikers->Reset();
    for (;;) {
        IMoniker* raw = nullptr;
        uint32_t fetched = 0;
        if (monikers->Next(1, &raw, &fetched) != com::S_OK || fetched != 1 || !raw)
            break;
        ComPtr<IMoniker> moniker = ComPtr<IMoniker>::adopt(raw);
        ComPtr<IPropertyBag> bag;
        if (failed(moniker->BindToStorage(nullptr, nullptr, IPropertyBag::kIid, bag.putVoid())) ||
            !bag)
            continue;
        com::VARIANT value{};
        value.vt = com::VT_EMPTY;
        if (!failed(bag->Read(u"FriendlyName", &value, nullptr)) && value.vt == com::VT_BSTR &&
            value.bstrVal)
            names.push_back(com::utf8FromUtf16(
                std::u16string_view(value.bstrVal, SysStringLen(value.bstrVal))));
        clearVariant(value);
    }
    discardErrorInfo();
    return names;
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
    return QString::fromStdString(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

// Builds the first run's source group; each step only when the one before it worked.
void buildSourceGroup(IEncoder* encoder, const std::string& videoDevice,
                      const std::string& audioDevice) {
    ComPtr<ISourceGroupCollection> groups;
    ComPtr<ISourceGroup> group;
    if (failed(encoder->get_SourceGroupCollection(groups.put())) ||
        failed(groups->Add(com::Bstr::fromUtf8(videoDevice).get(), group.put())))
        return;
    ComPtr<ISource> videoSource;
    ComPtr<ISource> audioSource;
    if (failed(group->AddSource(kSourceTypeVideo, videoSource.put())) ||
        failed(group->AddSource(kSourceTypeAudio, audioSource.put())))
        return;
    ComPtr<IVideoSource> video = videoSource.as<IVideoSource>();
    if (!video)
        return;
    const com::Bstr empty = com::Bstr::fromUtf8("");
    if (failed(video->SetInput(com::Bstr::fromUtf8(kDeviceInputPrefix + videoDevice).get(),
                               empty.get(), empty.get())) ||
        failed(audioSource->SetInput(com::Bstr::fromUtf8(kDeviceInputPrefix + audioDevice).get(),
                                     empty.get(), empty.get())))
        return;
    ComPtr<IProfileCollection> profiles;
    int32_t count = 0;
    if (failed(encoder->get_ProfileCollection(profiles.put())) ||
        failed(profiles->get_Count(&count)))
        return;
    for (int32_t i = 0; i < count; ++i) {
        ComPtr<IProfile> profile;
        com::Bstr name;
        if (failed(profiles->Item(i, profile.put())))
            return;
        if (failed(profile->get_Name(name.put())))
            return;
        if (equalsIgnoringCase(name.utf8(), kProfileName)) {
            com::VARIANT value{};
            value.vt = com::VT_DISPATCH;
            value.pdispVal = profile.get();
            group->put_Profile(value);
            return;
        }
    }
}

} // namespace

void EnumerateCaptureDevices(std::vector<std::string>& video, std::vector<std::string>& audio) {
    video = devicesOf(CLSID_VideoInputDeviceCategory);
    audio = devicesOf(CLSID_AudioInputDeviceCategory);
}

bool CheckCaptureHardware(IEncoder* encoder, const std::function<void(const std::string&)>& show) {
    std::vector<std::string> video;
    std::vector<std::string> audio;
    EnumerateCaptureDevices(video, audio);
    if (audio.empty()) {
        show(video.empty() ? kNoCaptureHardware : kNoAudioCaptureHardware);
        return false;
    }
    if (video.empty()) {
        show(kNoVideoCaptureHardware);
        return false;
    }
    if (encoder)
        buildSourceGroup(encoder, video.front(), audio.front());
    // Failures here are silent: the configuration lets the user set the sources.
    discardErrorInfo();
    return true;
}

} // namespace kerris::clipmail
