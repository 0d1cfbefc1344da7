// The transport and colour bindings from the inside: slots resolved on first use and looked
// up again after a miss, calls without an active binding, and what releasing clears.
#include "camera/colour_binding.h"
#include "camera/cpi.h"
#include "camera/transport_binding.h"
#include "tests/fakes/fake_control.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace kerris::camera {
namespace {

// A resolver that finds nothing until told to, and counts how often it was asked per name.
std::map<std::string, int> g_lookups;
bool g_getVersionAvailable = false;

uint32_t fakeGetVersion(uint32_t, uint32_t* version) {
    *version = 0x1234;
    return 0;
}

void* scriptedResolver(module::Handle, const char* name) {
    ++g_lookups[name];
    if (std::strcmp(name, "CtiGetVersion") == 0 && g_getVersionAvailable)
        return reinterpret_cast<void*>(&fakeGetVersion);
    return nullptr;
}

class TransportBindingTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_lookups.clear();
        g_getVersionAvailable = false;
        // A real library handle, so that releasing the binding has something to free.
        library = module::load(fakes::fakePath("libkerrisu.so").string());
        ASSERT_NE(library, nullptr);
    }
    void TearDown() override {
        setActiveTransport(nullptr);
        setLastOpenedTransport(nullptr);
    }
    module::Handle library = nullptr;
};

TEST_F(TransportBindingTest, MissingEntryFailsOnlyItsCallAndIsLookedUpAgain) {
    auto* binding = new TransportBinding(library, &scriptedResolver);
    setActiveTransport(binding);
    uint32_t version = 0;
    EXPECT_EQ(cti::getVersion(1, &version), uint32_t(kCpiNoTransport));
    EXPECT_EQ(cti::getVersion(1, &version), uint32_t(kCpiNoTransport));
    EXPECT_EQ(g_lookups["CtiGetVersion"], 2);
    g_getVersionAvailable = true;
    EXPECT_EQ(cti::getVersion(1, &version), uint32_t(kCpiOk));
    EXPECT_EQ(version, 0x1234u);
    EXPECT_EQ(cti::getVersion(1, &version), uint32_t(kCpiOk));
    EXPECT_EQ(g_lookups["CtiGetVersion"], 3);        // found once, then kept
    EXPECT_EQ(g_lookups.count("CtiHandleOpen"), 0u); // nothing is resolved ahead of use
    TransportBinding::release(binding);
    EXPECT_EQ(activeTransport(), nullptr);
}

TEST_F(TransportBindingTest, EveryCallWithoutAnActiveBindingIs3003) {
    module::release(library);
    ASSERT_EQ(activeTransport(), nullptr);
    uint8_t number = 0, count = 0;
    uint32_t handle = 0, version = 0, delivered = 0;
    CtiTask task = nullptr;
    CtiCommandRecord record{};
    char text[8];
    uint8_t data[4];
    const uint32_t results[] = {
        cti::handleOpen(0, 0, &number, &handle),
        cti::handleClose(0),
        cti::handleLockThread(0, 1),
        cti::handleUnLock(0),
        cti::command(0, &record, nullptr),
        cti::taskWaitComplete(&task, 50),
        cti::taskAbort(&task),
        cti::dataRead(0, data, 4, &delivered, 0),
        cti::resetTransport(0),
        cti::getVersion(0, &version),
        cti::cameraEnum(0, 0, 4, data, &count),
        cti::cameraNameGet(0, 0, text),
        cti::cameraNameSet(0, 0, text),
        cti::getErrorText(0, 0, text, sizeof text),
    };
    for (size_t i = 0; i < std::size(results); ++i)
        EXPECT_EQ(results[i], uint32_t(kCpiNoTransport)) << ctiEntryName(CtiEntry(i));
}

TEST_F(TransportBindingTest, ReleasingClearsActiveAndLastOpenedAndRestoreBringsBackTheLast) {
    auto* opened = new TransportBinding(library, &scriptedResolver);
    setLastOpenedTransport(opened);
    setActiveTransport(nullptr);
    restoreLastOpenedTransport();
    EXPECT_EQ(activeTransport(), opened);
    TransportBinding::release(opened);
    EXPECT_EQ(activeTransport(), nullptr);
    EXPECT_EQ(lastOpenedTransport(), nullptr);
    restoreLastOpenedTransport();
    EXPECT_EQ(activeTransport(), nullptr);
    TransportBinding::release(nullptr); // harmless
}

TEST_F(TransportBindingTest, LoadingMakesTheBindingActiveAndAMissingLibraryLoadsNothing) {
    module::release(library);
    fakes::ModuleFolder modules({"libkerrisu.so"});
    TransportBinding* usb = TransportBinding::load(kUsbTransportName);
    ASSERT_NE(usb, nullptr);
    EXPECT_EQ(activeTransport(), usb);
    EXPECT_EQ(TransportBinding::load(kSerialTransportName), nullptr);
    EXPECT_EQ(activeTransport(), usb);
    EXPECT_EQ(TransportBinding::load(nullptr), nullptr); // "nodefault.dll" is nowhere
    TransportBinding::release(usb);
    EXPECT_FALSE(fakes::isLoaded(fakes::fakePath("libkerrisu.so")));
}

TEST(EntryNames, TablesNameEveryEntryPoint) {
    EXPECT_STREQ(ctiEntryName(CtiEntry::HandleOpen), "CtiHandleOpen");
    EXPECT_STREQ(ctiEntryName(CtiEntry::GetErrorText), "CtiGetErrorText");
    EXPECT_STREQ(ctiEntryName(CtiEntry::Count), "");
    EXPECT_STREQ(kercEntryName(KercEntry::Open), "KERC_Open");
    EXPECT_STREQ(kercEntryName(KercEntry::Colour), "KERC_Colour");
    EXPECT_STREQ(kercEntryName(KercEntry::Count), "");
}

// ---- Module search confined to KERRIS_MODULE_PATH -----------------------------------------

TEST(ModuleSearch, PathOnlySwitchHidesLibrariesFoundElsewhere) {
    // The system's default search finds the C maths library; the switch must stop it.
    module::Handle system = module::load("libm.so.6");
    ASSERT_NE(system, nullptr);
    module::release(system);
    {
        fakes::ModuleFolder modules({"libkerrissl.so"});
        EXPECT_EQ(module::load("libm.so.6"), nullptr);
        EXPECT_EQ(module::load(kUsbTransportName), nullptr);
        module::Handle serial = module::load(kSerialTransportName);
        EXPECT_NE(serial, nullptr);
        module::release(serial);
    }
    system = module::load("libm.so.6");
    EXPECT_NE(system, nullptr);
    module::release(system);
}

// ---- Colour binding -----------------------------------------------------------------------

TEST(ColourBindingTest, EveryCallWithoutTheLibraryAnswersOneAndOpenGivesNoHandle) {
    ASSERT_FALSE(ColourBinding::isLoaded());
    uint8_t frame[16] = {};
    float matrix[9] = {};
    EXPECT_EQ(kerc::open(), 0u);
    EXPECT_EQ(kerc::close(5), kKercUnavailable);
    EXPECT_EQ(kerc::loadDeviceDefaults(5), kKercUnavailable);
    EXPECT_EQ(kerc::setParameter(5, 11, matrix, sizeof matrix), kKercUnavailable);
    EXPECT_EQ(kerc::queryParameter(5, 11, matrix, sizeof matrix), kKercUnavailable);
    EXPECT_EQ(kerc::bunchedToBayer(5, frame, frame, 4, 4), kKercUnavailable);
    EXPECT_EQ(kerc::colour(5, frame, frame, 4, 4), kKercUnavailable);
    ColourBinding::release(); // nothing to release
    EXPECT_FALSE(ColourBinding::isLoaded());
}

TEST(ColourBindingTest, EachLoadIsOneReference) {
    fakes::ModuleFolder modules({"libkercol.so"});
    ASSERT_TRUE(ColourBinding::load());
    ASSERT_TRUE(ColourBinding::load());
    ColourBinding::release();
    EXPECT_TRUE(ColourBinding::isLoaded());
    EXPECT_NE(kerc::open(), 0u);
    ColourBinding::release();
    EXPECT_FALSE(ColourBinding::isLoaded());
    EXPECT_FALSE(fakes::isLoaded(fakes::fakePath("libkercol.so")));
}

TEST(ColourBindingTest, MissingLibraryLoadsNothing) {
    fakes::ModuleFolder modules({"libkerrisu.so"});
    EXPECT_FALSE(ColourBinding::load());
    EXPECT_FALSE(ColourBinding::isLoaded());
}

} // namespace
} // namespace kerris::camera
