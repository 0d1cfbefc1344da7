// The component library as the runtime meets it: exactly two exports, every class of the call
// tables registered by the setup program and created by identifier, factories that refuse
// what they cannot do, and the unload answer following the objects alive.
#include "tests/encoder/objects_support.h"
#include "tests/support/exported_names.h"

#include "platform/encoder/encoder_interfaces.h"
#include "platform/module/module.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cstdio>
#include <cstring>
#include <set>

namespace kerris::encoder::testing {
namespace {

namespace fs = std::filesystem;
using registry::Hive;
using registry::Key;

fs::path libraryPath() {
    const char* dir = std::getenv("KERRIS_BUILD_DIR");
    return fs::path(dir ? dir : ".") / "lib" / "libkerrisenc.so";
}

struct ClassCase {
    const char* name;
    GUID clsid;
    GUID iid; // what the program asks the new object for
};
// Cases print as their names, not as bytes.
void PrintTo(const ClassCase& c, std::ostream* os) {
    *os << c.name;
}

const ClassCase kClasses[] = {
    {"Encoder", CLSID_Encoder, IEncoder::kIid},
    {"View", CLSID_View, IView::kIid},
    {"ProfileDetailsService", CLSID_ProfileDetailsService, IProfileDetailsService::kIid},
    {"PropertyPageHost", CLSID_PropertyPageHost, IPropertyPageHost::kIid},
    {"PageMain", CLSID_PageMain, com::IUnknown::kIid},
    {"Page1", CLSID_Page1, com::IUnknown::kIid},
    {"Page2", CLSID_Page2, com::IUnknown::kIid},
    {"Page3", CLSID_Page3, com::IUnknown::kIid},
    {"Page4", CLSID_Page4, com::IUnknown::kIid},
    {"SystemDeviceEnum", CLSID_SystemDeviceEnum, ICreateDevEnum::kIid},
};

class ComponentClass : public ComponentTest, public ::testing::WithParamInterface<ClassCase> {};

TEST_P(ComponentClass, IsRegisteredForTheLibraryAndCreatedByIdentifier) {
    const ClassCase& c = GetParam();
    auto key =
        Key::open(Hive::ClassesRoot, "CLSID\\" + com::guidText(c.clsid) + "\\InprocServer32");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->readString(""), "kerrisenc.dll");
    HRESULT hr = com::E_FAIL;
    SlotObject object = create(c.clsid, c.iid, &hr);
    EXPECT_EQ(hr, com::S_OK) << takeErrorDescription();
    ASSERT_TRUE(object);
    EXPECT_TRUE(object.query(com::IUnknown::kIid));
    // A page is a page; the others answer no page interface.
    const bool isPage = c.iid == com::IUnknown::kIid;
    EXPECT_EQ(bool(object.query(IEncoderPage::kIid)), isPage);
    // Identifiers of the other classes' interfaces are refused.
    EXPECT_FALSE(object.query(c.clsid));
}

INSTANTIATE_TEST_SUITE_P(Classes, ComponentClass, ::testing::ValuesIn(kClasses),
                         [](const auto& test) { return std::string(test.param.name); });

class Library : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        library = module::load("kerrisenc.dll");
        ASSERT_TRUE(library);
        getClassObject = reinterpret_cast<DllGetClassObjectFunction>(
            module::symbol(library, "DllGetClassObject"));
        canUnloadNow =
            reinterpret_cast<DllCanUnloadNowFunction>(module::symbol(library, "DllCanUnloadNow"));
        ASSERT_TRUE(getClassObject && canUnloadNow);
    }
    void TearDown() override {
        module::release(library);
        ComponentTest::TearDown();
    }
    module::Handle library = nullptr;
    DllGetClassObjectFunction getClassObject = nullptr;
    DllCanUnloadNowFunction canUnloadNow = nullptr;
};

TEST_F(Library, ExportsExactlyTheEntryPointsOfAComponent) {
    EXPECT_EQ(kerris::test::exportedNames(libraryPath()),
              (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject"}));
}

TEST_F(Library, ClassesItDoesNotServeAndMissingPointersAreRefused) {
    void* factory = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(getClassObject(&IEncoder::kIid, &com::IClassFactory::kIid, &factory),
              com::CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
    EXPECT_EQ(getClassObject(&CLSID_Encoder, &com::IClassFactory::kIid, nullptr), com::E_POINTER);
    EXPECT_EQ(getClassObject(nullptr, &com::IClassFactory::kIid, &factory), com::E_INVALIDARG);
    EXPECT_EQ(getClassObject(&CLSID_Encoder, &IEncoder::kIid, &factory), com::E_NOINTERFACE)
        << "a factory is asked for as a factory";
}

TEST_F(Library, FactoriesRefuseAggregationAndInterfacesTheObjectLacks) {
    SlotObject factory;
    ASSERT_EQ(getClassObject(&CLSID_Encoder, &com::IClassFactory::kIid, factory.put()), com::S_OK);
    void* object = reinterpret_cast<void*>(0xdeadbeef);
    SlotObject outer = create(CLSID_View, IView::kIid);
    EXPECT_EQ(factory(3, outer.get(), &IEncoder::kIid, &object), com::CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_NE(takeErrorDescription(), "");
    EXPECT_EQ(factory(3, static_cast<void*>(nullptr), &IView::kIid, &object), com::E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_NE(takeErrorDescription(), "");
    EXPECT_EQ(factory(3, static_cast<void*>(nullptr), &IEncoder::kIid, &object), com::S_OK);
    SlotObject made(object);
    EXPECT_TRUE(made);
}

TEST_F(Library, MayBeUnloadedOnlyWhenNoObjectOrLockIsLeft) {
    EXPECT_EQ(canUnloadNow(), com::S_OK);
    {
        SlotObject encoder = readyEncoder("");
        ASSERT_TRUE(encoder);
        SlotObject group = encoder.out(slot::kSourceGroupCollection).out(slot::kActiveGroup);
        encoder.reset();
        EXPECT_EQ(canUnloadNow(), com::S_FALSE) << "the group still lives";
    }
    EXPECT_EQ(canUnloadNow(), com::S_OK);
    SlotObject factory;
    ASSERT_EQ(getClassObject(&CLSID_View, &com::IClassFactory::kIid, factory.put()), com::S_OK);
    EXPECT_EQ(factory(4, 1), com::S_OK);
    factory.reset();
    EXPECT_EQ(canUnloadNow(), com::S_FALSE) << "a locked server stays";
    ASSERT_EQ(getClassObject(&CLSID_View, &com::IClassFactory::kIid, factory.put()), com::S_OK);
    EXPECT_EQ(factory(4, 0), com::S_OK);
    factory.reset();
    EXPECT_EQ(canUnloadNow(), com::S_OK);
}

class Setup : public ComponentTest {};

TEST_F(Setup, RemoveTakesEverythingAwayAndAnotherRunBringsItBack) {
    // A user's own change to the profile survives a second install.
    {
        auto murvane =
            Key::open(Hive::LocalMachine, "SOFTWARE\\Kerris\\Encoder\\Profiles\\Murvane");
        ASSERT_TRUE(murvane);
        EXPECT_EQ(murvane->readDword("Width"), 320u);
        EXPECT_EQ(murvane->readDword("FramesPerSecond"), 15u);
        EXPECT_EQ(murvane->readDword("AudioChannels"), 1u);
        ASSERT_TRUE(murvane->writeDword("VideoBitRate", 200000));
    }
    auto devices = Key::open(Hive::LocalMachine, "SOFTWARE\\Kerris\\Encoder\\Devices");
    ASSERT_TRUE(devices);
    EXPECT_EQ(devices->readString("Kerris Camera"), "video");
    EXPECT_EQ(devices->readString("Kerris Camera Microphone"), "audio");
    ASSERT_EQ(runSetup(), 0);
    EXPECT_EQ(Key::open(Hive::LocalMachine, "SOFTWARE\\Kerris\\Encoder\\Profiles\\Murvane")
                  ->readDword("VideoBitRate"),
              200000u);

    // A class another library serves stays registered to it.
    auto foreign = Key::create(
        Hive::ClassesRoot, "CLSID\\" + com::guidText(CLSID_SystemDeviceEnum) + "\\InprocServer32");
    ASSERT_TRUE(foreign && foreign->writeString("", "other.dll"));
    ASSERT_EQ(runSetup("--remove"), 0);
    HRESULT hr = com::S_OK;
    EXPECT_FALSE(create(CLSID_Encoder, IEncoder::kIid, &hr));
    EXPECT_EQ(hr, com::REGDB_E_CLASSNOTREG);
    for (const GUID& clsid : {CLSID_Encoder, CLSID_View, CLSID_PageMain, CLSID_Page4})
        EXPECT_FALSE(Key::open(Hive::ClassesRoot, "CLSID\\" + com::guidText(clsid)));
    EXPECT_EQ(Key::open(Hive::ClassesRoot,
                        "CLSID\\" + com::guidText(CLSID_SystemDeviceEnum) + "\\InprocServer32")
                  ->readString(""),
              "other.dll");
    EXPECT_FALSE(Key::open(Hive::LocalMachine, "SOFTWARE\\Kerris\\Encoder\\Devices"));
    EXPECT_FALSE(Key::open(Hive::LocalMachine, "SOFTWARE\\Kerris\\Encoder\\Profiles\\Murvane"));
    EXPECT_EQ(runSetup("--remove"), 0) << "removing twice is harmless";

    ASSERT_EQ(runSetup(), 0);
    EXPECT_TRUE(create(CLSID_Encoder, IEncoder::kIid));
    EXPECT_EQ(Key::open(Hive::LocalMachine, "SOFTWARE\\Kerris\\Encoder\\Profiles\\Murvane")
                  ->readDword("VideoBitRate"),
              300000u);
    EXPECT_EQ(runSetup("--bogus"), 2);
    EXPECT_EQ(runSetup("--remove extra"), 2);
}

} // namespace
} // namespace kerris::encoder::testing
