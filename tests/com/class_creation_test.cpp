// CoCreateInstance through a registry folder of the test's own and the tests' component
// library: every way a creation can fail, the one reference of a success, and when the
// runtime lets a component library go.
#include "platform/com/com_object.h"
#include "platform/registry/hive_store.h"
#include "platform/registry/registry.h"
#include "tests/com/com_test_support.h"
#include "tests/com/test_component.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using namespace kerris::com;
using namespace kerris::comtest;
namespace registry = kerris::registry;

void* const kSentinel = reinterpret_cast<void*>(uintptr_t(0xDEADBEEF));

std::filesystem::path componentFolder() {
    const char* dir = std::getenv("KERRIS_TEST_COMPONENT_DIR");
    return dir ? dir : ".";
}
std::filesystem::path componentPath() {
    return componentFolder() / "libkerristestcom.so";
}

bool isLoaded(const std::filesystem::path& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

// The component's live objects; -1 when it is not loaded.
long liveObjects() {
    void* handle = dlopen(componentPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return -1;
    auto live =
        reinterpret_cast<TestComponentLiveFunction>(dlsym(handle, "TestComponent_LiveObjects"));
    long n = live ? live() : -2;
    dlclose(handle);
    return n;
}

class ClassCreation : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = kerris::comtest::makeTemporaryFolder("kerris-com");
        ASSERT_FALSE(m_root.empty());
        setenv("KERRIS_REGISTRY_DIR", m_root.c_str(), 1);
        setenv("KERRIS_MODULE_PATH", componentFolder().c_str(), 1);
        setenv("KERRIS_MODULE_PATH_ONLY", "1", 1);
        registry::detail::clearHiveCache();
    }
    void TearDown() override {
        unsetenv("KERRIS_MODULE_PATH");
        unsetenv("KERRIS_MODULE_PATH_ONLY");
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }
    static void registerClass(const std::string& clsidText, const std::string& library) {
        auto key = registry::Key::create(registry::Hive::ClassesRoot,
                                         "CLSID\\" + clsidText + "\\InprocServer32");
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->writeString("", library));
    }
    static void registerClass(const GUID& clsid, const std::string& library) {
        registerClass(guidText(clsid), library);
    }
    static HRESULT create(const GUID& clsid, const GUID& iid, void** object,
                          uint32_t context = CLSCTX_INPROC_SERVER) {
        return CoCreateInstance(&clsid, nullptr, context, &iid, object);
    }

    std::filesystem::path m_root;
};

TEST_F(ClassCreation, UnregisteredClassIsNotRegistered) {
    void* object = kSentinel;
    EXPECT_EQ(create(CLSID_TestThing, ITestThing::kIid, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, kSentinel);
}

struct BadRegistration {
    const char* name;
    const char* library; // null: the key without a default value
    HRESULT expected;
};
void PrintTo(const BadRegistration& c, std::ostream* os) {
    *os << c.name;
}

class ClassCreationBadRegistration : public ClassCreation,
                                     public ::testing::WithParamInterface<BadRegistration> {};

TEST_P(ClassCreationBadRegistration, FailsWithoutAnObject) {
    const auto& c = GetParam();
    if (c.library) {
        registerClass(CLSID_TestThing, c.library);
    } else {
        auto key =
            registry::Key::create(registry::Hive::ClassesRoot,
                                  "CLSID\\" + guidText(CLSID_TestThing) + "\\InprocServer32");
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->writeDword("", 7)); // a default value of the wrong type
    }
    void* object = kSentinel;
    EXPECT_EQ(create(CLSID_TestThing, ITestThing::kIid, &object), c.expected);
    EXPECT_EQ(object, kSentinel);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassCreationBadRegistration,
    ::testing::Values(BadRegistration{"LibraryMissing", "kerrisabsent.dll", REGDB_E_CLASSNOTREG},
                      BadRegistration{"EmptyLibraryName", "", REGDB_E_CLASSNOTREG},
                      BadRegistration{"DefaultValueNotText", nullptr, REGDB_E_CLASSNOTREG},
                      BadRegistration{"LibraryWithoutClassObject", "kerrisnoentry.dll",
                                      CLASS_E_CLASSNOTAVAILABLE}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(ClassCreation, LibraryWithoutClassObjectIsLetGo) {
    registerClass(CLSID_TestThing, "kerrisnoentry.dll");
    void* object = kSentinel;
    ASSERT_EQ(create(CLSID_TestThing, ITestThing::kIid, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_FALSE(isLoaded(componentFolder() / "libkerrisnoentry.so"));
}

TEST_F(ClassCreation, FactoryNotServingTheClass) {
    registerClass(CLSID_TestUnserved, "kerristestcom.dll");
    void* object = kSentinel;
    EXPECT_EQ(create(CLSID_TestUnserved, ITestThing::kIid, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, kSentinel);
}

TEST_F(ClassCreation, ClassObjectClaimingSuccessWithoutFactoryFails) {
    registerClass(CLSID_TestNoFactory, "kerristestcom.dll");
    void* object = kSentinel;
    EXPECT_EQ(create(CLSID_TestNoFactory, ITestThing::kIid, &object), E_FAIL);
    EXPECT_EQ(object, kSentinel);
}

TEST_F(ClassCreation, WrongInterfaceLeavesNothingAlive) {
    registerClass(CLSID_TestThing, "kerristestcom.dll");
    void* object = kSentinel;
    EXPECT_EQ(create(CLSID_TestThing, IErrorInfo::kIid, &object), E_NOINTERFACE);
    EXPECT_EQ(object, kSentinel);
    EXPECT_EQ(liveObjects(), 0); // neither the object nor the factory
}

TEST_F(ClassCreation, MisuseIsRefused) {
    registerClass(CLSID_TestThing, "kerristestcom.dll");
    void* object = kSentinel;
    EXPECT_EQ(create(CLSID_TestThing, ITestThing::kIid, nullptr), E_POINTER);
    EXPECT_EQ(CoCreateInstance(nullptr, nullptr, CLSCTX_INPROC_SERVER, &ITestThing::kIid, &object),
              E_INVALIDARG);
    EXPECT_EQ(CoCreateInstance(&CLSID_TestThing, nullptr, CLSCTX_INPROC_SERVER, nullptr, &object),
              E_INVALIDARG);
    int outer = 0;
    EXPECT_EQ(CoCreateInstance(&CLSID_TestThing, &outer, CLSCTX_INPROC_SERVER, &ITestThing::kIid,
                               &object),
              CLASS_E_NOAGGREGATION);
    // Only in-process servers exist here: a local-server context finds no registration.
    EXPECT_EQ(create(CLSID_TestThing, ITestThing::kIid, &object, 4), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, kSentinel);
}

TEST_F(ClassCreation, SuccessHandsOutOneReference) {
    registerClass(CLSID_TestThing, "kerristestcom.dll");
    void* object = kSentinel;
    ASSERT_EQ(create(CLSID_TestThing, ITestThing::kIid, &object), S_OK);
    ASSERT_NE(object, kSentinel);
    ASSERT_NE(object, nullptr);
    auto* thing = static_cast<ITestThing*>(object);
    EXPECT_EQ(thing->Value(), 42);
    EXPECT_EQ(liveObjects(), 1); // the factory is gone already
    EXPECT_EQ(thing->AddRef(), 2u);
    EXPECT_EQ(thing->Release(), 1u);
    EXPECT_EQ(thing->Release(), 0u);
    EXPECT_EQ(liveObjects(), 0);
}

TEST_F(ClassCreation, RegistrationInLowerCaseIsFound) {
    std::string text = guidText(CLSID_TestThing);
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    registerClass(text, "kerristestcom.dll");
    ComPtr<ITestThing> thing;
    ASSERT_EQ(create(CLSID_TestThing, ITestThing::kIid, thing.putVoid()), S_OK);
    EXPECT_EQ(thing->Value(), 42);
}

TEST_F(ClassCreation, PreparationCountsPerThread) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    CoUninitialize(); // one too many does nothing
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

// Unloading a library whose objects live would be a crash; once they are gone, the last
// CoUninitialize lets it go.
TEST_F(ClassCreation, LibraryStaysWhileItsObjectsLive) {
    registerClass(CLSID_TestThing, "kerristestcom.dll");
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ComPtr<ITestThing> thing;
    ASSERT_EQ(create(CLSID_TestThing, ITestThing::kIid, thing.putVoid()), S_OK);
    CoUninitialize();
    ASSERT_TRUE(isLoaded(componentPath()));
    EXPECT_EQ(thing->Value(), 42);
    thing.reset();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
    EXPECT_FALSE(isLoaded(componentPath()));
    // And it comes back on the next creation.
    ASSERT_EQ(create(CLSID_TestThing, ITestThing::kIid, thing.putVoid()), S_OK);
    EXPECT_EQ(thing->Value(), 42);
}

} // namespace
