// Error information: one slot per thread, taken by the reader, references counted.
#include "platform/com/com_object.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace kerris::com;

IErrorInfo* const kSentinel = reinterpret_cast<IErrorInfo*>(uintptr_t(0xDEADBEEF));

std::atomic<int> g_liveInfos{0};

// An error information object of the test's own, counting its lives.
class CountedInfo final : public ComObject<IErrorInfo> {
public:
    CountedInfo() { ++g_liveInfos; }
    ~CountedInfo() override { --g_liveInfos; }
    HRESULT GetGUID(GUID*) override { return E_NOTIMPL; }
    HRESULT GetSource(BSTR*) override { return E_NOTIMPL; }
    HRESULT GetDescription(BSTR*) override { return E_NOTIMPL; }
    HRESULT GetHelpFile(BSTR*) override { return E_NOTIMPL; }
    HRESULT GetHelpContext(uint32_t*) override { return E_NOTIMPL; }
};

std::string descriptionOf(IErrorInfo* info) {
    Bstr text;
    if (info->GetDescription(text.put()) != S_OK)
        return "<failed>";
    return text.utf8();
}

class ErrorInfoSlot : public ::testing::Test {
protected:
    void SetUp() override { SetErrorInfo(0, nullptr); }
    void TearDown() override { SetErrorInfo(0, nullptr); }
};

TEST_F(ErrorInfoSlot, EmptySlotGivesFalseAndNull) {
    IErrorInfo* info = kSentinel;
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_POINTER);
}

TEST_F(ErrorInfoSlot, ReadingTakesTheDescription) {
    const GUID iid = IClassFactory::kIid;
    ASSERT_EQ(KerrisSetErrorDescription(&iid, "Kerris encoder",
                                        "The video device \"Kerris Kamera\xE2\x84\xA2\" is in use"),
              S_OK);
    IErrorInfo* raw = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
    auto info = ComPtr<IErrorInfo>::adopt(raw);
    EXPECT_EQ(descriptionOf(info.get()),
              "The video device \"Kerris Kamera\xE2\x84\xA2\" is in use");
    Bstr source;
    ASSERT_EQ(info->GetSource(source.put()), S_OK);
    EXPECT_EQ(source.utf8(), "Kerris encoder");
    GUID guid{};
    ASSERT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_TRUE(guid == iid);
    EXPECT_EQ(info->GetDescription(nullptr), E_POINTER);

    IErrorInfo* again = kSentinel;
    EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
    EXPECT_EQ(again, nullptr);
}

TEST_F(ErrorInfoSlot, NullTextsReadAsEmpty) {
    ASSERT_EQ(KerrisSetErrorDescription(nullptr, nullptr, nullptr), S_OK);
    IErrorInfo* raw = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
    auto info = ComPtr<IErrorInfo>::adopt(raw);
    EXPECT_EQ(descriptionOf(info.get()), "");
    GUID guid = IUnknown::kIid;
    ASSERT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_TRUE(guid == GUID{});
}

TEST_F(ErrorInfoSlot, FailHelperSetsAndReturns) {
    EXPECT_EQ(fail(E_INVALIDARG, IUnknown::kIid, "No audio device named \"X\" is connected"),
              E_INVALIDARG);
    IErrorInfo* raw = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
    auto info = ComPtr<IErrorInfo>::adopt(raw);
    EXPECT_EQ(descriptionOf(info.get()), "No audio device named \"X\" is connected");
}

TEST_F(ErrorInfoSlot, NewerInformationReplacesAndReleasesTheOlder) {
    auto* first = new CountedInfo;
    ASSERT_EQ(SetErrorInfo(0, first), S_OK);
    first->Release(); // the slot holds the only reference now
    EXPECT_EQ(g_liveInfos, 1);
    KerrisSetErrorDescription(nullptr, nullptr, "second");
    EXPECT_EQ(g_liveInfos, 0);
    IErrorInfo* raw = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
    auto info = ComPtr<IErrorInfo>::adopt(raw);
    EXPECT_EQ(descriptionOf(info.get()), "second");
}

TEST_F(ErrorInfoSlot, ReaderGetsTheSlotsReference) {
    auto* mine = new CountedInfo;
    ASSERT_EQ(SetErrorInfo(0, mine), S_OK);
    EXPECT_EQ(mine->AddRef(), 3u); // the creator's, the slot's, this one
    mine->Release();
    IErrorInfo* raw = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
    EXPECT_EQ(raw, mine);
    EXPECT_EQ(raw->Release(), 1u);
    EXPECT_EQ(mine->Release(), 0u);
    EXPECT_EQ(g_liveInfos, 0);
}

TEST_F(ErrorInfoSlot, NullClearsTheSlot) {
    KerrisSetErrorDescription(nullptr, nullptr, "stale");
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    IErrorInfo* info = kSentinel;
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
    EXPECT_EQ(info, nullptr);
}

TEST_F(ErrorInfoSlot, EachThreadHasItsOwn) {
    KerrisSetErrorDescription(nullptr, nullptr, "main thread");
    HRESULT otherSawBefore = S_OK;
    std::string otherOwn;
    std::thread other([&] {
        IErrorInfo* info = kSentinel;
        otherSawBefore = GetErrorInfo(0, &info);
        KerrisSetErrorDescription(nullptr, nullptr, "other thread");
        IErrorInfo* raw = nullptr;
        if (GetErrorInfo(0, &raw) == S_OK) {
            otherOwn = descriptionOf(raw);
            raw->Release();
        }
    });
    other.join();
    EXPECT_EQ(otherSawBefore, S_FALSE);
    EXPECT_EQ(otherOwn, "other thread");
    IErrorInfo* raw = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
    auto info = ComPtr<IErrorInfo>::adopt(raw);
    EXPECT_EQ(descriptionOf(info.get()), "main thread");
}

TEST_F(ErrorInfoSlot, ThreadEndReleasesWhatItLeft) {
    std::thread other([] {
        auto* left = new CountedInfo;
        SetErrorInfo(0, left);
        left->Release();
    });
    other.join();
    EXPECT_EQ(g_liveInfos, 0);
}

} // namespace
