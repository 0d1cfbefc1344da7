// The system device enumerator as the program's hardware check walks it: class enumerators of
// the two input categories, monikers one at a time, property bags with the friendly name, in
// the order the recording engine lists the devices; an empty category gives S_FALSE.
#include "tests/encoder/objects_support.h"

#include "platform/encoder/capture_session.h"
#include "platform/encoder/encoder_interfaces.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <vector>

namespace kerris::encoder::testing {
namespace {

class DeviceEnumeration : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        enumerator = create(CLSID_SystemDeviceEnum, ICreateDevEnum::kIid);
        ASSERT_TRUE(enumerator);
    }
    SlotObject classEnumerator(const GUID& category, HRESULT* hr = nullptr) {
        void* out = reinterpret_cast<void*>(0xdeadbeef);
        HRESULT result = enumerator(slot::kCreateClassEnumerator, &category, &out, uint32_t(0));
        if (hr)
            *hr = result;
        EXPECT_TRUE(result != com::S_FALSE || out == nullptr) << "S_FALSE gives no enumerator";
        return SlotObject(result == com::S_OK ? out : nullptr);
    }
    // The program's walk: Reset, then Next one at a time, FriendlyName of each property bag.
    std::vector<std::string> friendlyNames(const GUID& category) {
        std::vector<std::string> names;
        SlotObject monikers = classEnumerator(category);
        if (!monikers)
            return names;
        EXPECT_EQ(monikers(slot::kReset), com::S_OK);
        for (;;) {
            SlotObject moniker;
            uint32_t fetched = 7;
            if (monikers(slot::kNext, uint32_t(1), moniker.put(), &fetched) != com::S_OK)
                break;
            EXPECT_EQ(fetched, 1u);
            names.push_back(read(moniker, u"FriendlyName"));
        }
        return names;
    }
    static std::string read(const SlotObject& moniker, const std::u16string& property) {
        SlotObject bag;
        if (moniker(slot::kBindToStorage, static_cast<void*>(nullptr), static_cast<void*>(nullptr),
                    &IPropertyBag::kIid, bag.put()) != com::S_OK)
            return "(no bag)";
        com::VARIANT value{};
        value.vt = com::VT_BSTR;
        if (bag(slot::kRead, property.c_str(), &value, static_cast<void*>(nullptr)) != com::S_OK)
            return "(failed: " + takeErrorDescription() + ")";
        EXPECT_EQ(value.vt, com::VT_BSTR);
        return takeText(value.bstrVal);
    }
    SlotObject enumerator;
};

std::vector<std::string> namesOf(const std::vector<DeviceInfo>& devices) {
    std::vector<std::string> names;
    for (const DeviceInfo& d : devices)
        names.push_back(d.friendlyName);
    return names;
}

TEST_F(DeviceEnumeration, ListsTheInputDevicesInTheEnginesOrderWithTheVirtualOnesLast) {
    const auto video = friendlyNames(CLSID_VideoInputDeviceCategory);
    const auto audio = friendlyNames(CLSID_AudioInputDeviceCategory);
    EXPECT_EQ(video, namesOf(listVideoDevices()));
    EXPECT_EQ(audio, namesOf(listAudioDevices()));
    ASSERT_FALSE(video.empty());
    ASSERT_FALSE(audio.empty());
    EXPECT_EQ(video.back(), "Kerris Camera");
    EXPECT_EQ(audio.back(), "Kerris Camera Microphone");
}

TEST_F(DeviceEnumeration, ACategoryWithoutDevicesGivesSFalseAndNoEnumerator) {
    auto devices =
        registry::Key::open(registry::Hive::LocalMachine, "SOFTWARE\\Kerris\\Encoder\\Devices");
    ASSERT_TRUE(devices);
    devices->removeValue("Kerris Camera");
    HRESULT hr = com::E_FAIL;
    if (!listVideoDevices().empty())
        GTEST_SKIP() << "this machine has a video capture device of its own";
    EXPECT_FALSE(classEnumerator(CLSID_VideoInputDeviceCategory, &hr));
    EXPECT_EQ(hr, com::S_FALSE);
}

TEST_F(DeviceEnumeration, OtherCategoriesAndMissingPointersFailWithADescription) {
    HRESULT hr = com::S_OK;
    EXPECT_FALSE(classEnumerator(CLSID_Encoder, &hr));
    EXPECT_EQ(hr, com::E_INVALIDARG);
    EXPECT_NE(takeErrorDescription(), "");
    EXPECT_EQ(enumerator(slot::kCreateClassEnumerator, &CLSID_VideoInputDeviceCategory,
                         static_cast<void**>(nullptr), uint32_t(0)),
              com::E_POINTER);
    EXPECT_NE(takeErrorDescription(), "");
}

TEST_F(DeviceEnumeration, NextSkipResetAndCloneKeepTheirPlaces) {
    const auto names = namesOf(listAudioDevices());
    const uint32_t n = uint32_t(names.size());
    SlotObject monikers = classEnumerator(CLSID_AudioInputDeviceCategory);
    ASSERT_TRUE(monikers);
    // More than there are: S_FALSE with the ones there were.
    std::vector<void*> taken(n + 2, nullptr);
    uint32_t fetched = 0;
    EXPECT_EQ(monikers(slot::kNext, n + 2, taken.data(), &fetched), com::S_FALSE);
    EXPECT_EQ(fetched, n);
    for (uint32_t i = 0; i < n; ++i) {
        SlotObject moniker(taken[i]);
        EXPECT_EQ(read(moniker, u"FriendlyName"), names[i]);
        EXPECT_EQ(read(moniker, u"DevicePath"), "device://" + names[i]);
    }
    EXPECT_EQ(taken[n], nullptr);
    EXPECT_EQ(monikers(slot::kNext, uint32_t(1), taken.data(), &fetched), com::S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(monikers(slot::kNext, uint32_t(2), taken.data(), static_cast<uint32_t*>(nullptr)),
              com::E_POINTER)
        << "more than one needs the count back";

    EXPECT_EQ(monikers(slot::kReset), com::S_OK);
    EXPECT_EQ(monikers(slot::kSkip, n - 1), com::S_OK);
    SlotObject copy;
    ASSERT_EQ(monikers(slot::kClone, copy.put()), com::S_OK);
    EXPECT_EQ(monikers(slot::kSkip, uint32_t(2)), com::S_FALSE);
    SlotObject last;
    ASSERT_EQ(copy(slot::kNext, uint32_t(1), last.put(), static_cast<uint32_t*>(nullptr)),
              com::S_OK)
        << "the copy stays where the original was";
    EXPECT_EQ(read(last, u"FriendlyName"), names.back());
}

TEST_F(DeviceEnumeration, APropertyBagGivesTextsOnlyAndTakesNothing) {
    SlotObject monikers = classEnumerator(CLSID_VideoInputDeviceCategory);
    ASSERT_TRUE(monikers);
    SlotObject moniker;
    ASSERT_EQ(monikers(slot::kNext, uint32_t(1), moniker.put(), static_cast<uint32_t*>(nullptr)),
              com::S_OK);
    void* out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(moniker(slot::kBindToStorage, static_cast<void*>(nullptr),
                      static_cast<void*>(nullptr), &IEncoder::kIid, &out),
              com::E_NOINTERFACE);
    EXPECT_NE(takeErrorDescription(), "");
    EXPECT_EQ(read(moniker, u"CLSID").rfind("(failed: ", 0), 0u);
    SlotObject bag;
    ASSERT_EQ(moniker(slot::kBindToStorage, static_cast<void*>(nullptr),
                      static_cast<void*>(nullptr), &IPropertyBag::kIid, bag.put()),
              com::S_OK);
    com::VARIANT value{};
    value.vt = com::VT_I4;
    EXPECT_EQ(bag(slot::kRead, u"FriendlyName", &value, static_cast<void*>(nullptr)),
              com::E_INVALIDARG);
    EXPECT_EQ(value.vt, com::VT_I4) << "untouched on failure";
    EXPECT_NE(takeErrorDescription(), "");
    value.vt = com::VT_EMPTY;
    EXPECT_EQ(bag(slot::kRead, u"FriendlyName", &value, static_cast<void*>(nullptr)), com::S_OK);
    EXPECT_EQ(takeText(value.bstrVal), "Kerris Camera");
    EXPECT_TRUE(com::failed(bag(slot::kWrite, u"FriendlyName", &value)));
    EXPECT_NE(takeErrorDescription(), "");
}

} // namespace
} // namespace kerris::encoder::testing
