// The system device enumerator (CLSID_SystemDeviceEnum): the capture devices of one category
// as monikers whose property bags give their friendly names.
#pragma once

#include "platform/encoder/capture_session.h"
#include "platform/encoder/encoder_interfaces.h"

#include "platform/com/com_object.h"

#include <memory>
#include <vector>

namespace kerris::encoder {

class DeviceEnumerator final : public com::ComObject<ICreateDevEnum> {
public:
    // The video or audio input devices in the order listVideoDevices() / listAudioDevices()
    // give them; S_FALSE and a null enumerator when there is none.
    HRESULT CreateClassEnumerator(const GUID& category, IEnumMoniker** enumerator,
                                  uint32_t flags) override;
};

class DeviceMonikers final : public com::ComObject<IEnumMoniker> {
public:
    DeviceMonikers(std::shared_ptr<const std::vector<DeviceInfo>> devices, size_t position)
        : m_devices(std::move(devices)), m_position(position) {}

    HRESULT Next(uint32_t count, IMoniker** monikers, uint32_t* fetched) override;
    HRESULT Skip(uint32_t count) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumMoniker** copy) override;

private:
    std::shared_ptr<const std::vector<DeviceInfo>> m_devices;
    size_t m_position;
};

class DeviceMoniker final : public com::ComObject<IMoniker> {
public:
    explicit DeviceMoniker(DeviceInfo device) : m_device(std::move(device)) {}

    HRESULT BindToStorage(IUnknown* bindContext, IMoniker* left, const GUID& iid,
                          void** object) override;

private:
    DeviceInfo m_device;
};

// "FriendlyName" and "DevicePath" ("device://" + the friendly name), read only.
class DeviceProperties final : public com::ComObject<IPropertyBag> {
public:
    explicit DeviceProperties(DeviceInfo device) : m_device(std::move(device)) {}

    HRESULT Read(const char16_t* name, VARIANT* value, IUnknown* errorLog) override;
    HRESULT Write(const char16_t* name, VARIANT* value) override;

private:
    DeviceInfo m_device;
};

} // namespace kerris::encoder
