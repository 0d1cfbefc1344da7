// The fake encoder component as the clip mail tests meet it: created through the registry,
// called by slot, every reference accounted for, scripts that hit exactly the call they name.
#include "platform/com/com_object.h"
#include "platform/encoder/encoder_interfaces.h"
#include "platform/registry/hive_store.h"
#include "tests/fakes/fake_encoder_control.h"

#include "tests/com/com_test_support.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace kerris::com;
using namespace kerris::encoder;
using kerris::fakes::FakeEncoder;
using kerris::fakes::FakeEncoderRegistration;

std::string errorDescription() {
    IErrorInfo* raw = nullptr;
    if (GetErrorInfo(0, &raw) != S_OK)
        return "<none>";
    auto info = ComPtr<IErrorInfo>::adopt(raw);
    Bstr text;
    info->GetDescription(text.put());
    return text.utf8();
}

template <class I> ComPtr<I> create(const GUID& clsid) {
    ComPtr<I> object;
    EXPECT_EQ(CoCreateInstance(&clsid, nullptr, CLSCTX_INPROC_SERVER, &I::kIid, object.putVoid()),
              S_OK);
    return object;
}

class FakeEncoderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { kerris::comtest::ensureApplication(); }
    void SetUp() override {
        m_root = kerris::comtest::makeTemporaryFolder("kerris-fakeenc");
        ASSERT_FALSE(m_root.empty());
        setenv("KERRIS_REGISTRY_DIR", m_root.c_str(), 1);
        unsetenv("KERRIS_MODULE_PATH_ONLY");
        kerris::registry::detail::clearHiveCache();
        m_registration.emplace();
        m_fake.reset();
        SetErrorInfo(0, nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(m_fake.live(), 0) << "a fake object was not released";
        m_registration.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }

    std::filesystem::path m_root;
    std::optional<FakeEncoderRegistration> m_registration;
    FakeEncoder m_fake;
};

TEST_F(FakeEncoderTest, EveryClassIsServedAndFullyReleased) {
    for (const auto& c : kerris::fakes::encoderClasses()) {
        ComPtr<IUnknown> object;
        ASSERT_EQ(CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, &IUnknown::kIid,
                                   object.putVoid()),
                  S_OK)
            << c.kind;
        EXPECT_EQ(m_fake.live(c.kind), 1) << c.kind;
        object.reset();
        EXPECT_EQ(m_fake.live(), 0) << c.kind;
    }
    // The host is both the control and the property-page shell.
    auto host = create<IUnknown>(CLSID_PropertyPageHost);
    EXPECT_TRUE(host.as<IControlSite>());
    EXPECT_TRUE(host.as<IPropertyPageHost>());
    EXPECT_FALSE(host.as<IEncoder>());
}

// The recording path of the clip mail program, call by call, against the fake's answers.
TEST_F(FakeEncoderTest, RecordingPathAnswersAsTheProgramReliesOn) {
    const auto settings = m_root / "Murvane.wme";
    kerris::fakes::writeSettingsFile(settings, "Kerris Camera", "device://Kerris Camera",
                                     "device://Kerris Camera Microphone", "Murvane");
    auto encoder = create<IEncoder>(CLSID_Encoder);
    auto details = create<IProfileDetailsService>(CLSID_ProfileDetailsService);
    ASSERT_TRUE(encoder && details);
    ASSERT_EQ(encoder->Load(Bstr::fromUtf8(settings.string()).get()), S_OK);

    // The video size.
    ComPtr<IProfileCollection> profiles;
    ASSERT_EQ(encoder->get_ProfileCollection(profiles.put()), S_OK);
    EXPECT_EQ(profiles->Refresh(), S_OK);
    ComPtr<ISourceGroupCollection> groups;
    ASSERT_EQ(encoder->get_SourceGroupCollection(groups.put()), S_OK);
    ComPtr<ISourceGroup> group;
    ASSERT_EQ(groups->get_Active(group.put()), S_OK);
    ComPtr<IProfile> profile;
    ASSERT_EQ(group->get_Profile(profile.put()), S_OK);
    Bstr name;
    ASSERT_EQ(profile->get_Name(name.put()), S_OK);
    EXPECT_EQ(name.utf8(), "Murvane");
    Bstr text;
    ASSERT_EQ(details->GetDetails(name.get(), 0, text.put()), S_OK);
    EXPECT_NE(text.utf8().find("Video] 320 x 240"), std::string::npos);

    // The broadcast port.
    ComPtr<IBroadcast> broadcast;
    ASSERT_EQ(encoder->get_Broadcast(broadcast.put()), S_OK);
    EXPECT_EQ(broadcast->put_PortNumber(1, 8080), S_OK);

    // The preview.
    ComPtr<ISource> source;
    ASSERT_EQ(group->get_Source(kSourceTypeVideo, 0, source.put()), S_OK);
    auto* video = static_cast<IVideoSource*>(source.get()); // handed out as IVideoSource
    ComPtr<IPreviewCollection> previews;
    ASSERT_EQ(video->get_PreviewCollection(previews.put()), S_OK);
    EXPECT_EQ(previews->RemoveAll(), S_OK);
    auto view = create<IView>(CLSID_View);
    int32_t cookie = -1;
    ASSERT_EQ(previews->Add(view.get(), &cookie), S_OK);
    EXPECT_GT(cookie, 0);
    EXPECT_EQ(encoder->PrepareToEncode(1), S_OK);
    QWidget window;
    HWND handle = KerrisWindowHandle(&window);
    EXPECT_EQ(view->SetViewProperties(cookie, 4, &handle), S_OK);
    EXPECT_EQ(encoder->Start(), S_OK);
    EXPECT_EQ(view->StartView(cookie), S_OK);

    // Record.
    int32_t runState = 0;
    ASSERT_EQ(encoder->get_RunState(&runState), S_OK);
    EXPECT_EQ(runState, kRunStateRunning);
    EXPECT_EQ(view->StopView(cookie), S_OK);
    EXPECT_EQ(encoder->Stop(), S_OK);
    ComPtr<IFile> file;
    ASSERT_EQ(encoder->get_File(file.put()), S_OK);
    const auto clip = m_root / "VideoRec.wmv";
    EXPECT_EQ(file->put_LocalFileName(Bstr::fromUtf8(clip.string()).get()), S_OK);
    EXPECT_EQ(encoder->Start(), S_OK);
    EXPECT_TRUE(std::filesystem::exists(clip));
    ComPtr<IStatistics> statistics;
    ASSERT_EQ(encoder->get_Statistics(statistics.put()), S_OK);
    ComPtr<IUnknown> videoUnknown, audioUnknown;
    ASSERT_EQ(statistics->get_StreamOutputStats(kSourceTypeVideo, 0, 0, videoUnknown.put()), S_OK);
    ASSERT_EQ(statistics->get_StreamOutputStats(kSourceTypeAudio, 0, 0, audioUnknown.put()), S_OK);
    auto videoStats = videoUnknown.as<IStreamStatistics>();
    auto audioStats = audioUnknown.as<IStreamStatistics>();
    ASSERT_TRUE(videoStats && audioStats);
    m_fake.setElapsed(61500);
    m_fake.setByteCount(kSourceTypeVideo, 5000000000LL); // beyond 32 bits
    m_fake.setByteCount(kSourceTypeAudio, 2048);
    int64_t ms = 0, videoBytes = 0, audioBytes = 0;
    ASSERT_EQ(statistics->get_EncodingTime(&ms), S_OK);
    ASSERT_EQ(videoStats->get_ByteCount(&videoBytes), S_OK);
    ASSERT_EQ(audioStats->get_ByteCount(&audioBytes), S_OK);
    EXPECT_EQ(ms, 61500);
    EXPECT_EQ(videoBytes, 5000000000LL);
    EXPECT_EQ(audioBytes, 2048);

    // Every call of the path reached the log with its arguments.
    auto starts = m_fake.calls("IEncoder::Start");
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].args, std::vector<std::string>{""});
    EXPECT_EQ(starts[1].args, std::vector<std::string>{clip.string()});
    auto bound = m_fake.calls("IView::SetViewProperties");
    ASSERT_EQ(bound.size(), 1u);
    EXPECT_EQ(bound[0].args,
              (std::vector<std::string>{std::to_string(cookie), "4", std::to_string(handle)}));
    auto port = m_fake.calls("IBroadcast::put_PortNumber");
    ASSERT_EQ(port.size(), 1u);
    EXPECT_EQ(port[0].args, (std::vector<std::string>{"1", "8080"}));
}

TEST_F(FakeEncoderTest, ScriptsHitExactlyTheCallTheyName) {
    auto encoder = create<IEncoder>(CLSID_Encoder);
    m_fake.setReply("IEncoder::Save", E_FAIL,
                    "The video device \"Kerris Camera\" is in use by another program");
    EXPECT_EQ(encoder->Save(Bstr::fromUtf8((m_root / "x.wme").string()).get()), E_FAIL);
    EXPECT_EQ(errorDescription(),
              "The video device \"Kerris Camera\" is in use by another program");
    EXPECT_FALSE(std::filesystem::exists(m_root / "x.wme"));

    // A failure without a description leaves no older description behind.
    KerrisSetErrorDescription(nullptr, nullptr, "stale");
    m_fake.setReply("IEncoder::Stop", E_FAIL);
    EXPECT_EQ(encoder->Stop(), E_FAIL);
    EXPECT_EQ(errorDescription(), "<none>");

    // The n-th call only, counted from the scripting.
    int32_t state = 0;
    m_fake.setRunStates({kRunStateStarting, kRunStatePaused});
    m_fake.failNth("IEncoder::get_RunState", 2, E_INVALIDARG);
    EXPECT_EQ(encoder->get_RunState(&state), S_OK);
    EXPECT_EQ(state, kRunStateStarting);
    state = 77;
    EXPECT_EQ(encoder->get_RunState(&state), E_INVALIDARG);
    EXPECT_EQ(state, 77); // nothing written on failure
    EXPECT_EQ(encoder->get_RunState(&state), S_OK);
    EXPECT_EQ(state, kRunStatePaused);
    EXPECT_EQ(encoder->get_RunState(&state), S_OK);
    EXPECT_EQ(state, kRunStateStopped);

    // Creation and the program's queries.
    m_fake.setReply("create:View", E_OUTOFMEMORY);
    ComPtr<IView> view;
    EXPECT_EQ(
        CoCreateInstance(&CLSID_View, nullptr, CLSCTX_INPROC_SERVER, &IView::kIid, view.putVoid()),
        E_OUTOFMEMORY);
    ComPtr<ISourceGroupCollection> groups;
    ASSERT_EQ(encoder->get_SourceGroupCollection(groups.put()), S_OK);
    ComPtr<ISourceGroup> group;
    ASSERT_EQ(groups->Add(Bstr::fromUtf8("Kerris Camera").get(), group.put()), S_OK);
    ComPtr<ISource> source;
    ASSERT_EQ(group->AddSource(kSourceTypeVideo, source.put()), S_OK);
    EXPECT_TRUE(source.as<IVideoSource>());
    m_fake.setReply("query:IVideoSource", E_NOINTERFACE);
    EXPECT_FALSE(source.as<IVideoSource>());

    EXPECT_THROW(m_fake.setReply("IEncoder::Begin", E_FAIL), std::invalid_argument);
    EXPECT_THROW(m_fake.failNth("IEncoder::Start", 0, E_FAIL), std::invalid_argument);
}

struct DeviceCase {
    const char* name;
    std::vector<std::string> video;
    std::vector<std::string> audio;
};
void PrintTo(const DeviceCase& c, std::ostream* os) {
    *os << c.name;
}

class FakeEncoderDevices : public FakeEncoderTest,
                           public ::testing::WithParamInterface<DeviceCase> {
protected:
    // The friendly names, enumerated as the hardware check does; "<none>" for no enumerator.
    static std::vector<std::string> enumerate(const GUID& category) {
        auto devices = create<ICreateDevEnum>(CLSID_SystemDeviceEnum);
        ComPtr<IEnumMoniker> monikers;
        HRESULT hr = devices->CreateClassEnumerator(category, monikers.put(), 0);
        if (hr != S_OK) {
            EXPECT_EQ(hr, S_FALSE);
            EXPECT_FALSE(monikers);
            return {"<none>"};
        }
        std::vector<std::string> names;
        EXPECT_EQ(monikers->Reset(), S_OK);
        for (;;) {
            ComPtr<IMoniker> moniker;
            uint32_t fetched = 0;
            if (monikers->Next(1, moniker.put(), &fetched) != S_OK)
                break;
            EXPECT_EQ(fetched, 1u);
            ComPtr<IPropertyBag> bag;
            if (moniker->BindToStorage(nullptr, nullptr, IPropertyBag::kIid, bag.putVoid()) != S_OK)
                continue;
            VARIANT value{};
            if (bag->Read(u"FriendlyName", &value, nullptr) == S_OK) {
                EXPECT_EQ(value.vt, VT_BSTR);
                names.push_back(Bstr::adopt(value.bstrVal).utf8());
            }
        }
        return names;
    }
};

TEST_P(FakeEncoderDevices, EnumeratedInOrder) {
    const auto& c = GetParam();
    m_fake.setDevices(kSourceTypeVideo, c.video);
    m_fake.setDevices(kSourceTypeAudio, c.audio);
    auto expected = [](const std::vector<std::string>& names) {
        return names.empty() ? std::vector<std::string>{"<none>"} : names;
    };
    EXPECT_EQ(enumerate(CLSID_VideoInputDeviceCategory), expected(c.video));
    EXPECT_EQ(enumerate(CLSID_AudioInputDeviceCategory), expected(c.audio));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FakeEncoderDevices,
    ::testing::Values(DeviceCase{"OneOfEach", {"Kerris Camera"}, {"Kerris Camera Microphone"}},
                      DeviceCase{
                          "SeveralVideoNoAudio", {"USB Camera \xC3\xA9", "Kerris Camera"}, {}},
                      DeviceCase{"AudioOnly", {}, {"Line In", "Kerris Camera Microphone"}},
                      DeviceCase{"None", {}, {}}),
    [](const auto& param) { return std::string(param.param.name); });

// The first-run path: the group the hardware check builds survives Save and Load, and Start
// checks the devices the sources name.
TEST_F(FakeEncoderTest, SettingsSurviveSaveAndLoad) {
    const auto path = m_root / "Murvane.wme";
    {
        auto encoder = create<IEncoder>(CLSID_Encoder);
        ComPtr<ISourceGroupCollection> groups;
        ASSERT_EQ(encoder->get_SourceGroupCollection(groups.put()), S_OK);
        ComPtr<ISourceGroup> group;
        ASSERT_EQ(groups->Add(Bstr::fromUtf8("Kerris Camera").get(), group.put()), S_OK);
        ComPtr<ISource> video, audio;
        ASSERT_EQ(group->AddSource(kSourceTypeVideo, video.put()), S_OK);
        ASSERT_EQ(group->AddSource(kSourceTypeAudio, audio.put()), S_OK);
        Bstr empty = Bstr::fromUtf8("");
        ASSERT_EQ(video->SetInput(Bstr::fromUtf8("device://Kerris Camera").get(), empty.get(),
                                  empty.get()),
                  S_OK);
        ASSERT_EQ(audio->SetInput(Bstr::fromUtf8("device://Kerris Camera Microphone").get(),
                                  empty.get(), empty.get()),
                  S_OK);
        ComPtr<IProfileCollection> profiles;
        ASSERT_EQ(encoder->get_ProfileCollection(profiles.put()), S_OK);
        ComPtr<IProfile> chosen;
        ASSERT_EQ(profiles->Item(2, chosen.put()), S_OK);
        VARIANT value{};
        value.vt = VT_DISPATCH;
        value.pdispVal = chosen.get();
        ASSERT_EQ(group->put_Profile(value), S_OK);
        value.vt = VT_I4;
        EXPECT_EQ(group->put_Profile(value), E_INVALIDARG);
        ASSERT_EQ(encoder->Save(Bstr::fromUtf8(path.string()).get()), S_OK);

        m_fake.setDevices(kSourceTypeAudio, {});
        EXPECT_EQ(encoder->Start(), E_FAIL);
        EXPECT_EQ(errorDescription(),
                  "No audio device named \"Kerris Camera Microphone\" is connected");
    }
    auto saved = [&] {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }();
    auto encoder = create<IEncoder>(CLSID_Encoder);
    ASSERT_EQ(encoder->Load(Bstr::fromUtf8(path.string()).get()), S_OK);
    EXPECT_EQ(m_fake.settings(), saved);
    EXPECT_NE(saved.find("profile Murvane\n"), std::string::npos);

    std::ofstream(path, std::ios::trunc) << "not settings\n";
    EXPECT_EQ(encoder->Load(Bstr::fromUtf8(path.string()).get()), E_FAIL);
    EXPECT_NE(errorDescription().find("is damaged"), std::string::npos);
    std::filesystem::remove(path);
    EXPECT_EQ(encoder->Load(Bstr::fromUtf8(path.string()).get()), E_FAIL);
}

// A process that lets the fake go (the last CoUninitialize after every object is released)
// unloads it without leaving its script behind as a leak.
TEST(FakeEncoderUnload, LastUninitializeUnloadsTheFakeCleanly) {
    const auto root = kerris::comtest::makeTemporaryFolder("kerris-fakeenc");
    ASSERT_FALSE(root.empty());
    setenv("KERRIS_REGISTRY_DIR", root.c_str(), 1);
    unsetenv("KERRIS_MODULE_PATH_ONLY");
    kerris::registry::detail::clearHiveCache();
    {
        FakeEncoderRegistration registration;
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        {
            auto encoder = create<IEncoder>(CLSID_Encoder);
            ASSERT_TRUE(encoder);
            EXPECT_EQ(encoder->Start(), E_FAIL); // no source group: leaves error information
            SetErrorInfo(0, nullptr);
        }
        CoUninitialize();
    }
    EXPECT_FALSE(kerris::fakes::isLoaded(kerris::fakes::fakeEncoderFolder() / "libkerrisenc.so"));
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
}

} // namespace
