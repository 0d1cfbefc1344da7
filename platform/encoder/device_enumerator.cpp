// The system device enumerator: capture devices as monikers and property bags.
#include "platform/encoder/device_enumerator.h"

#include "platform/encoder/slot_support.h"

#include <string>

namespace kerris::encoder {

HRESULT DeviceEnumerator::CreateClassEnumerator(const GUID& category, IEnumMoniker** enumerator,
                                                uint32_t) {
    const GUID& iid = ICreateDevEnum::kIid;
    return guardedSlot(iid, [&] {
        if (!enumerator)
            return missingResult(iid);
        std::vector<DeviceInfo> devices;
        if (category == CLSID_VideoInputDeviceCategory)
            devices = listVideoDevices();
        else if (category == CLSID_AudioInputDeviceCategory)
            devices = listAudioDevices();
        else
            return com::fail(com::E_INVALIDARG, iid,
                             "The device category " + com::guidText(category) +
                                 " is neither video nor audio input");
        if (devices.empty()) {
            *enumerator = nullptr;
            return com::S_FALSE;
        }
        auto list = std::make_shared<const std::vector<DeviceInfo>>(std::move(devices));
        *enumerator = new DeviceMonikers(std::move(list), 0);
        return com::S_OK;
    });
}

HRESULT DeviceMonikers::Next(uint32_t count, IMoniker** monikers, uint32_t* fetched) {
    const GUID& iid = IEnumMoniker::kIid;
    return guardedSlot(iid, [&] {
        if (!monikers || (!fetched && count != 1))
            return missingResult(iid);
        std::vector<com::ComPtr<DeviceMoniker>> taken;
        while (taken.size() < count && m_position + taken.size() < m_devices->size())
            taken.push_back(com::ComPtr<DeviceMoniker>::adopt(
                new DeviceMoniker((*m_devices)[m_position + taken.size()])));
        // Only now, with nothing left to fail, do the out-parameters get written.
        m_position += taken.size();
        for (size_t i = 0; i < taken.size(); ++i)
            monikers[i] = taken[i].detach();
        if (fetched)
            *fetched = uint32_t(taken.size());
        return taken.size() == count ? com::S_OK : com::S_FALSE;
    });
}

HRESULT DeviceMonikers::Skip(uint32_t count) {
    const size_t left = m_devices->size() - m_position;
    if (count > left) {
        m_position = m_devices->size();
        return com::S_FALSE;
    }
    m_position += count;
    return com::S_OK;
}

HRESULT DeviceMonikers::Reset() {
    m_position = 0;
    return com::S_OK;
}

HRESULT DeviceMonikers::Clone(IEnumMoniker** copy) {
    return guardedSlot(IEnumMoniker::kIid, [&] {
        if (!copy)
            return missingResult(IEnumMoniker::kIid);
        *copy = new DeviceMonikers(m_devices, m_position);
        return com::S_OK;
    });
}

HRESULT DeviceMoniker::BindToStorage(IUnknown*, IMoniker*, const GUID& iid, void** object) {
    return guardedSlot(IMoniker::kIid, [&] {
        if (!object)
            return missingResult(IMoniker::kIid);
        *object = nullptr;
        if (!(iid == IPropertyBag::kIid) && !(iid == IUnknown::kIid))
            return com::fail(com::E_NOINTERFACE, IMoniker::kIid,
                             "A capture device's storage is a property bag");
        auto bag = com::ComPtr<DeviceProperties>::adopt(new DeviceProperties(m_device));
        return bag->QueryInterface(iid, object);
    });
}

HRESULT DeviceProperties::Read(const char16_t* name, VARIANT* value, IUnknown*) {
    const GUID& iid = IPropertyBag::kIid;
    return guardedSlot(iid, [&] {
        if (!name || !value)
            return missingResult(iid);
        if (value->vt != com::VT_EMPTY && value->vt != com::VT_BSTR)
            return com::fail(com::E_INVALIDARG, iid,
                             "A capture device's properties are texts (VT_BSTR)");
        const std::string property = com::utf8FromUtf16(name);
        std::string text;
        if (property == "FriendlyName")
            text = m_device.friendlyName;
        else if (property == "DevicePath")
            text = "device://" + m_device.friendlyName;
        else
            return com::fail(com::E_INVALIDARG, iid,
                             "A capture device has no property \"" + property + "\"");
        com::Bstr made = com::Bstr::fromUtf8(text);
        value->vt = com::VT_BSTR;
        value->bstrVal = made.detach();
        return com::S_OK;
    });
}

HRESULT DeviceProperties::Write(const char16_t*, VARIANT*) {
    return com::fail(com::E_NOTIMPL, IPropertyBag::kIid,
                     "A capture device's properties cannot be changed");
}

} // namespace kerris::encoder
