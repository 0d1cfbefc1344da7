// The pages: device and profile lists, what each shows as current, what Apply writes, and a
// page given an encoder without a source group.
#include "tests/encoder/pages_test_support.h"

#include <QLabel>
#include <QSpinBox>

#include "platform/registry/hive_store.h"
#include "platform/registry/registry.h"

#include <filesystem>

using namespace pagetest;

namespace {

// The two source pages share a shape: a device list, a source type, a log prefix.
struct SourcePageCase {
    const char* name;
    GUID clsid;
    int32_t type;
    const char* otherInput; // what the group records from on the other source type
};

const SourcePageCase kSourcePages[] = {
    {"video", CLSID_Page1, kSourceTypeVideo, "device://Built-in Microphone"},
    {"audio", CLSID_Page2, kSourceTypeAudio, "device://USB Camera"},
};

class SourcePageTest : public PagesTest, public ::testing::WithParamInterface<SourcePageCase> {
protected:
    const std::vector<kerris::encoder::DeviceInfo>& devices() const {
        return GetParam().type == kSourceTypeVideo ? videoDevices : audioDevices;
    }
    std::string deviceInput(size_t i) const { return "device://" + devices()[i].friendlyName; }
    std::string setInputEntry(size_t i) const {
        return "Source" + std::to_string(GetParam().type) + ".SetInput(" + deviceInput(i) + ",,)";
    }
    void makeGroup(const std::string& input) {
        const bool video = GetParam().type == kSourceTypeVideo;
        encoder->addGroup("Group", video ? input : GetParam().otherInput,
                          video ? GetParam().otherInput : input);
    }
    QLabel* state() const { return tabs()->widget(0)->findChild<QLabel*>("state"); }
};

TEST_P(SourcePageTest, ListsTheDevicesAndSelectsTheOneInUse) {
    makeGroup(deviceInput(1));
    ASSERT_NO_FATAL_FAILURE(makeHost({GetParam().clsid}));
    QListWidget* list = listOn(0, "devices");
    ASSERT_TRUE(list);
    EXPECT_EQ(texts(list),
              (std::vector<std::string>{devices()[0].friendlyName, devices()[1].friendlyName}));
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_NE(state()->text().toStdString().find(devices()[1].friendlyName), std::string::npos);
}

TEST_P(SourcePageTest, ApplySetsTheChosenDevice) {
    makeGroup(deviceInput(1));
    ASSERT_NO_FATAL_FAILURE(makeHost({GetParam().clsid}));
    listOn(0, "devices")->setCurrentRow(0);
    ASSERT_EQ(host->Apply(), com::S_OK) << errorDescription();
    EXPECT_EQ(script->log, (std::vector<std::string>{setInputEntry(0)}));
    EXPECT_EQ(encoder->groups->active()->sources(GetParam().type)[0]->input(), deviceInput(0));
    script->log.clear();
    ASSERT_EQ(host->Apply(), com::S_OK) << "a second apply has nothing to change";
    EXPECT_TRUE(script->log.empty());
}

TEST_P(SourcePageTest, ApplyWithoutAChangeWritesNothing) {
    makeGroup(deviceInput(0));
    ASSERT_NO_FATAL_FAILURE(makeHost({GetParam().clsid}));
    ASSERT_EQ(host->Apply(), com::S_OK);
    EXPECT_TRUE(script->log.empty());
}

TEST_P(SourcePageTest, EncoderWithoutAGroupGetsOne) {
    ASSERT_NO_FATAL_FAILURE(makeHost({GetParam().clsid}));
    EXPECT_EQ(listOn(0, "devices")->currentRow(), -1);
    ASSERT_EQ(host->Apply(), com::S_OK) << "nothing chosen: nothing made";
    EXPECT_TRUE(script->log.empty());
    listOn(0, "devices")->setCurrentRow(1);
    ASSERT_EQ(host->Apply(), com::S_OK) << errorDescription();
    EXPECT_EQ(script->log,
              (std::vector<std::string>{"Groups.Add(" + devices()[1].friendlyName + ")",
                                        "Group.AddSource(" + std::to_string(GetParam().type) + ")",
                                        setInputEntry(1)}));
}

TEST_P(SourcePageTest, GroupWithoutThatSourceGetsIt) {
    const bool video = GetParam().type == kSourceTypeVideo;
    encoder->addGroup("Group", video ? "" : "device://USB Camera",
                      video ? "device://Built-in Microphone" : "");
    ASSERT_NO_FATAL_FAILURE(makeHost({GetParam().clsid}));
    listOn(0, "devices")->setCurrentRow(0);
    ASSERT_EQ(host->Apply(), com::S_OK) << errorDescription();
    EXPECT_EQ(script->log,
              (std::vector<std::string>{"Group.AddSource(" + std::to_string(GetParam().type) + ")",
                                        setInputEntry(0)}));
}

TEST_P(SourcePageTest, DeviceInUseButNotConnectedIsShownAndKept) {
    makeGroup("device://Gone Device");
    ASSERT_NO_FATAL_FAILURE(makeHost({GetParam().clsid}));
    QListWidget* list = listOn(0, "devices");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->currentRow(), 2);
    EXPECT_EQ(list->item(2)->text().toStdString(), "Gone Device (not connected)");
    ASSERT_EQ(host->Apply(), com::S_OK);
    EXPECT_TRUE(script->log.empty()) << "keeping the device writes nothing";
}

TEST_P(SourcePageTest, InputThatIsNotADeviceSelectsNothing) {
    makeGroup("file:///home/user/clip.avi");
    ASSERT_NO_FATAL_FAILURE(makeHost({GetParam().clsid}));
    EXPECT_EQ(listOn(0, "devices")->currentRow(), -1);
    EXPECT_EQ(listOn(0, "devices")->count(), 2);
    listOn(0, "devices")->setCurrentRow(0);
    ASSERT_EQ(host->Apply(), com::S_OK);
    EXPECT_EQ(script->log, (std::vector<std::string>{setInputEntry(0)}));
}

TEST_P(SourcePageTest, NoDevicesSaysSo) {
    videoDevices.clear();
    audioDevices.clear();
    ASSERT_NO_FATAL_FAILURE(makeHost({GetParam().clsid}));
    EXPECT_EQ(listOn(0, "devices")->count(), 0);
    EXPECT_NE(state()->text().indexOf("connected"), -1) << state()->text().toStdString();
    EXPECT_EQ(host->Apply(), com::S_OK);
}

TEST_P(SourcePageTest, FailuresOfTheEncoderReachTheCaller) {
    // Each step of making the source can fail; the encoder's own text comes through.
    for (const char* step :
         {"Groups.Add", "Group.AddSource",
          GetParam().type == kSourceTypeVideo ? "Source2.SetInput" : "Source1.SetInput"}) {
        SCOPED_TRACE(step);
        script->failures.clear();
        script->failures[step] = {com::E_FAIL, std::string("refused by ") + step};
        encoder = ComPtr<TestEncoder>::adopt(new TestEncoder(script));
        ASSERT_NO_FATAL_FAILURE(makeHost({GetParam().clsid}));
        listOn(0, "devices")->setCurrentRow(0);
        EXPECT_EQ(host->Apply(), com::E_FAIL);
        EXPECT_EQ(errorDescription(), std::string("refused by ") + step);
        host.reset();
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SourcePageTest, ::testing::ValuesIn(kSourcePages),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(PagesTest, ProfilePageListsProfilesAndSelectsTheOneInUse) {
    encoder->addProfile("Small", "176 x 144 for slow links");
    auto murvane = encoder->addProfile("Murvane", "320 x 240, 15 frames/s, mono");
    encoder->addProfile("Large", "640 x 480, 30 frames/s");
    encoder->addGroup("G", "device://USB Camera", "")->setProfile(murvane);
    ASSERT_NO_FATAL_FAILURE(makeHost({CLSID_Page3}));
    QListWidget* list = listOn(0, "profiles");
    ASSERT_TRUE(list);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"Small", "Murvane", "Large"}));
    EXPECT_EQ(list->currentRow(), 1);
    auto* description = tabs()->widget(0)->findChild<QLabel*>("description");
    EXPECT_EQ(description->text().toStdString(), "320 x 240, 15 frames/s, mono");
    list->setCurrentRow(2);
    EXPECT_EQ(description->text().toStdString(), "640 x 480, 30 frames/s");
    ASSERT_EQ(host->Apply(), com::S_OK) << errorDescription();
    EXPECT_EQ(script->log, (std::vector<std::string>{"Group.put_Profile(9,Large)"}));
    EXPECT_EQ(encoder->groups->active()->profile().get(), encoder->profiles[2].get());
}

TEST_F(PagesTest, ProfilePageMakesAGroupWhenThereIsNone) {
    encoder->addProfile("Murvane", "");
    ASSERT_NO_FATAL_FAILURE(makeHost({CLSID_Page3}));
    EXPECT_EQ(listOn(0, "profiles")->currentRow(), -1);
    listOn(0, "profiles")->setCurrentRow(0);
    ASSERT_EQ(host->Apply(), com::S_OK) << errorDescription();
    EXPECT_EQ(script->log,
              (std::vector<std::string>{"Groups.Add(Default)", "Group.put_Profile(9,Murvane)"}));
}

TEST_F(PagesTest, ProfilePageWithoutProfilesSaysSo) {
    ASSERT_NO_FATAL_FAILURE(makeHost({CLSID_Page3}));
    EXPECT_EQ(listOn(0, "profiles")->count(), 0);
    auto* description = tabs()->widget(0)->findChild<QLabel*>("description");
    EXPECT_FALSE(description->text().isEmpty());
    EXPECT_EQ(host->Apply(), com::S_OK);
    EXPECT_TRUE(script->log.empty());
}

TEST_F(PagesTest, OutputPageShowsPortAndFileAndAppliesThePort) {
    encoder->file->m_path = "/home/user/clip.wmv";
    encoder->broadcast->m_port = 8080;
    ASSERT_NO_FATAL_FAILURE(makeHost({CLSID_Page4}));
    auto* port = tabs()->widget(0)->findChild<QSpinBox*>("port");
    auto* file = tabs()->widget(0)->findChild<QLabel*>("file");
    ASSERT_TRUE(port && file);
    EXPECT_EQ(port->value(), 8080);
    EXPECT_EQ(file->text().toStdString(), "/home/user/clip.wmv");
    ASSERT_EQ(host->Apply(), com::S_OK);
    EXPECT_TRUE(script->log.empty());
    port->setValue(9090);
    ASSERT_EQ(host->Apply(), com::S_OK);
    EXPECT_EQ(script->log, (std::vector<std::string>{"Broadcast.put_PortNumber(1,9090)"}));
}

TEST_F(PagesTest, SessionPageShowsWhatTheEncoderRecords) {
    auto murvane = encoder->addProfile("Murvane", "");
    encoder
        ->addGroup("Kerris Camera", "device://Kerris Camera", "device://Kerris Camera Microphone")
        ->setProfile(murvane);
    ASSERT_NO_FATAL_FAILURE(makeHost({CLSID_PageMain}));
    auto text = [&](const char* name) {
        auto* label = tabs()->widget(0)->findChild<QLabel*>(name);
        return label ? label->text().toStdString() : std::string("(missing)");
    };
    EXPECT_EQ(text("group"), "Kerris Camera");
    EXPECT_EQ(text("video"), "Kerris Camera");
    EXPECT_EQ(text("audio"), "Kerris Camera Microphone");
    EXPECT_EQ(text("profile"), "Murvane");
    EXPECT_EQ(host->Apply(), com::S_OK);
    EXPECT_TRUE(script->log.empty());
}

TEST_F(PagesTest, PageOnItsOwn) {
    auto page = ComPtr<IUnknown>::adopt(pages::createPage(CLSID_Page1)).as<IEncoderPage>();
    ASSERT_TRUE(page);
    EXPECT_EQ(page->get_Title(nullptr), com::E_POINTER);
    EXPECT_EQ(page->get_HelpText(nullptr), com::E_POINTER);
    EXPECT_EQ(page->Apply(), com::S_OK) << "not active: nothing to apply";
    EXPECT_EQ(page->Activate(0, nullptr), com::E_INVALIDARG);
    EXPECT_FALSE(errorDescription().empty());
    QWidget other;
    EXPECT_EQ(page->Activate(KerrisWindowHandle(&other), static_cast<IUnknown*>(page.get())),
              com::E_NOINTERFACE)
        << "a page is not an encoder";
    // Without an encoder the page shows the devices, and applying a choice says why it fails.
    ASSERT_EQ(page->Activate(KerrisWindowHandle(&other), nullptr), com::S_OK);
    auto* list = other.findChild<QListWidget*>("devices");
    ASSERT_TRUE(list);
    list->setCurrentRow(0);
    EXPECT_TRUE(com::failed(page->Apply()));
    EXPECT_FALSE(errorDescription().empty());
    ASSERT_EQ(page->Deactivate(), com::S_OK);
    EXPECT_FALSE(other.findChild<QListWidget*>("devices"));
    EXPECT_EQ(page->Apply(), com::S_OK);
}

} // namespace

namespace {

// Without a lister of the test's own the pages ask the recording engine, which lists the
// camera's virtual devices once the install step has registered them.
TEST_F(PagesTest, SourcePagesListTheEnginesDevices) {
    char folder[] = "/tmp/kerris-pages-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    setenv("KERRIS_REGISTRY_DIR", folder, 1);
    kerris::registry::detail::clearHiveCache();
    {
        auto key = kerris::registry::Key::create(kerris::registry::Hive::LocalMachine,
                                                 "SOFTWARE\\Kerris\\Encoder\\Devices");
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->writeString("Kerris Camera", "video"));
        ASSERT_TRUE(key->writeString("Kerris Camera Microphone", "audio"));
    }
    pages::setDeviceLister({});
    ASSERT_NO_FATAL_FAILURE(makeHost({CLSID_Page1, CLSID_Page2}));
    const auto video = texts(listOn(0, "devices"));
    const auto audio = texts(listOn(1, "devices"));
    ASSERT_FALSE(video.empty());
    ASSERT_FALSE(audio.empty());
    EXPECT_EQ(video.back(), "Kerris Camera") << "the virtual device comes after the others";
    EXPECT_EQ(audio.back(), "Kerris Camera Microphone");
    host.reset();
    std::filesystem::remove_all(folder);
}

} // namespace
