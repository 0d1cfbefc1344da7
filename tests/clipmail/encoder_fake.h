// The fake encoder component as the clip mail tests drive it: registered under the real
// class identifiers in the test's registry folder, scripted per object and slot, and a log of
// every call with its arguments.
//
// Objects are named by their role: "encoder", "view", "details" (the profile details
// service), "host" (the property-page host's shell interface), "site" (its control site),
// "groups", "group", "source" (video or audio), "previews", "profiles", "profile",
// "broadcast", "file", "statistics", "stream", "devenum", "moniker", "bag".
#pragma once

#include "platform/com/com_object.h"
#include "platform/encoder/encoder_interfaces.h"
#include "tests/clipmail/app_support.h"
#include "tests/fakes/fake_encoder_control.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kerris::clipmail::test {

struct EncoderCall {
    std::string object;
    int slot = 0;
    // The arguments as texts: numbers in decimal, texts as they are.
    std::vector<std::string> args;
};

class FakeEncoder {
public:
    // Registers every class of the component in the current registry folder ($KERRIS_REGISTRY_DIR)
    // and resets the fake's script and log.
    FakeEncoder();
    ~FakeEncoder();
    FakeEncoder(const FakeEncoder&) = delete;
    FakeEncoder& operator=(const FakeEncoder&) = delete;

    // Forgets the script and the log, and registers every class again.
    void reset();

    // Every later call of object's slot fails with E_FAIL; with a description the thread's
    // error information is set to it, with an empty one there is none.
    void fail(const std::string& object, int slot, const std::string& description);
    // Only the n-th (1-based) call from now on fails.
    void failOnce(const std::string& object, int slot, int nth, const std::string& description);
    // The details text of every profile.
    void setDetails(const std::string& text);
    // The profiles of the profile collection, by name.
    void setProfiles(const std::vector<std::string>& names);
    // The capture devices the device enumerator lists.
    void setDevices(const std::vector<std::string>& video, const std::vector<std::string>& audio);
    // The encoder's run state (slot 35) until it is started or stopped again.
    void setRunState(int32_t state);
    // The host's current page index.
    void setCurrentPage(int32_t index);
    // What the statistics report.
    void setStatistics(int64_t milliseconds, int64_t videoBytes, int64_t audioBytes);
    // Takes a class's registration away (it cannot be created afterwards).
    void unregister(const com::GUID& clsid);

    // Writes a settings file that the fake loads: one group on the default devices, "Murvane".
    void writeSettings(const std::string& path) const;

    std::vector<EncoderCall> calls() const;
    // The calls of one object's slot.
    std::vector<EncoderCall> callsOf(const std::string& object, int slot) const;
    void clearLog();

    // The fake's own control, for what the tests here need no place name for.
    const fakes::FakeEncoder& control() const { return m_control; }

private:
    fakes::FakeEncoder m_control;
    std::unique_ptr<fakes::FakeEncoderRegistration> m_registration;
};

// A test with the fake registered in a registry folder of its own and one encoder object
// made through the runtime, its creation left out of the log.
class FakeEncoderTest : public ::testing::Test {
protected:
    void SetUp() override;
    PrivateRegistry registryFolder;
    FakeEncoder fake;
    com::ComPtr<encoder::IEncoder> encoderObject;
};

} // namespace kerris::clipmail::test
