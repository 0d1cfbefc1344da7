// The clip mail tests' handle on the fake encoder component: its registration in the test's
// registry folder, and its FakeEnc_ control functions by object and slot.
#include "tests/clipmail/encoder_fake.h"

#include "platform/com/com_object.h"
#include "platform/encoder/encoder_interfaces.h"
#include "platform/registry/registry.h"

#include <map>
#include <stdexcept>

namespace kerris::clipmail::test {
namespace {

using namespace kerris::encoder;

// The interface whose methods an object's slots are, and the methods the program calls.
const std::map<std::pair<std::string, int>, std::string>& methods() {
    static const std::map<std::pair<std::string, int>, std::string> table = {
        {{"encoder", 8}, "IEncoder::Load"},
        {{"encoder", 9}, "IEncoder::Save"},
        {{"encoder", 10}, "IEncoder::Start"},
        {{"encoder", 11}, "IEncoder::Stop"},
        {{"encoder", 15}, "IEncoder::PrepareToEncode"},
        {{"encoder", 26}, "IEncoder::get_SourceGroupCollection"},
        {{"encoder", 31}, "IEncoder::get_Broadcast"},
        {{"encoder", 32}, "IEncoder::get_File"},
        {{"encoder", 33}, "IEncoder::get_Statistics"},
        {{"encoder", 34}, "IEncoder::get_ProfileCollection"},
        {{"encoder", 35}, "IEncoder::get_RunState"},
        {{"groups", 11}, "ISourceGroupCollection::Add"},
        {{"groups", 14}, "ISourceGroupCollection::get_Active"},
        {{"group", 10}, "ISourceGroup::get_Source"},
        {{"group", 11}, "ISourceGroup::AddSource"},
        {{"group", 13}, "ISourceGroup::get_Profile"},
        {{"group", 14}, "ISourceGroup::put_Profile"},
        {{"source", 8}, "ISource::SetInput"},
        {{"source", 19}, "IVideoSource::get_PreviewCollection"},
        {{"previews", 10}, "IPreviewCollection::Add"},
        {{"previews", 12}, "IPreviewCollection::RemoveAll"},
        {{"view", 3}, "IView::SetViewProperties"},
        {{"view", 9}, "IView::StartView"},
        {{"view", 10}, "IView::StopView"},
        {{"profiles", 8}, "IProfileCollection::get_Count"},
        {{"profiles", 12}, "IProfileCollection::Item"},
        {{"profiles", 13}, "IProfileCollection::Refresh"},
        {{"profile", 7}, "IProfile::get_Name"},
        {{"details", 10}, "IProfileDetailsService::GetDetails"},
        {{"broadcast", 8}, "IBroadcast::put_PortNumber"},
        {{"file", 8}, "IFile::put_LocalFileName"},
        {{"statistics", 7}, "IStatistics::get_EncodingTime"},
        {{"statistics", 9}, "IStatistics::get_StreamOutputStats"},
        {{"stream", 8}, "IStreamStatistics::get_ByteCount"},
        {{"site", 3}, "IControlSite::Attach"},
        {{"site", 4}, "IControlSite::Detach"},
        {{"host", 7}, "IPropertyPageHost::AddPage"},
        {{"host", 10}, "IPropertyPageHost::put_Object"},
        {{"host", 12}, "IPropertyPageHost::Apply"},
        {{"host", 17}, "IPropertyPageHost::get_CurrentPage"},
        {{"host", 30}, "IPropertyPageHost::ShowHelp"},
        {{"devenum", 3}, "ICreateDevEnum::CreateClassEnumerator"},
        {{"moniker", 9}, "IMoniker::BindToStorage"},
        {{"bag", 3}, "IPropertyBag::Read"},
    };
    return table;
}

std::string methodOf(const std::string& object, int slot) {
    const auto found = methods().find({object, slot});
    if (found == methods().end())
        throw std::invalid_argument("no method known for " + object + "." + std::to_string(slot));
    return found->second;
}

} // namespace

FakeEncoder::FakeEncoder() : m_registration(std::make_unique<fakes::FakeEncoderRegistration>()) {
    m_control.reset();
}

FakeEncoder::~FakeEncoder() {
    m_control.reset();
}

void FakeEncoder::reset() {
    m_control.reset();
    // Registers every class again, also one taken away.
    m_registration.reset();
    m_registration = std::make_unique<fakes::FakeEncoderRegistration>();
}

void FakeEncoder::fail(const std::string& object, int slot, const std::string& description) {
    m_control.setReply(methodOf(object, slot), com::E_FAIL,
                       description.empty() ? std::nullopt
                                           : std::optional<std::string>(description));
}

void FakeEncoder::failOnce(const std::string& object, int slot, int nth,
                           const std::string& description) {
    m_control.failNth(methodOf(object, slot), uint32_t(nth), com::E_FAIL,
                      description.empty() ? std::nullopt : std::optional<std::string>(description));
}

void FakeEncoder::setDetails(const std::string& text) {
    m_control.setDetails(text);
}

void FakeEncoder::setProfiles(const std::vector<std::string>& names) {
    m_control.setProfiles(names);
}

void FakeEncoder::setDevices(const std::vector<std::string>& video,
                             const std::vector<std::string>& audio) {
    m_control.setDevices(kSourceTypeVideo, video);
    m_control.setDevices(kSourceTypeAudio, audio);
}

void FakeEncoder::setRunState(int32_t runState) {
    m_control.setRunStates({runState});
}

void FakeEncoder::setCurrentPage(int32_t index) {
    m_control.setCurrentPage(index);
}

void FakeEncoder::setStatistics(int64_t milliseconds, int64_t videoBytes, int64_t audioBytes) {
    m_control.setElapsed(milliseconds);
    m_control.setByteCount(kSourceTypeVideo, videoBytes);
    m_control.setByteCount(kSourceTypeAudio, audioBytes);
}

void FakeEncoder::unregister(const com::GUID& clsid) {
    registry::Key::remove(registry::Hive::ClassesRoot, "CLSID\\" + com::guidText(clsid));
}

void FakeEncoder::writeSettings(const std::string& path) const {
    fakes::writeSettingsFile(path, "Kerris Camera", "device://Kerris Camera",
                             "device://Kerris Camera Microphone", "Murvane");
}

std::vector<EncoderCall> FakeEncoder::calls() const {
    std::map<std::string, std::pair<std::string, int>> byMethod;
    for (const auto& [place, method] : methods())
        byMethod.emplace(method, place);
    std::vector<EncoderCall> out;
    for (fakes::EncoderCall& logged : m_control.log()) {
        EncoderCall call;
        const auto place = byMethod.find(logged.method);
        call.object = place == byMethod.end() ? logged.method : place->second.first;
        call.slot = place == byMethod.end() ? -1 : place->second.second;
        call.args = std::move(logged.args);
        out.push_back(std::move(call));
    }
    return out;
}

std::vector<EncoderCall> FakeEncoder::callsOf(const std::string& object, int slot) const {
    const std::string method = methodOf(object, slot); // a misspelt place is the test's fault
    std::vector<EncoderCall> out;
    for (fakes::EncoderCall& logged : m_control.calls(method))
        out.push_back(EncoderCall{object, slot, std::move(logged.args)});
    return out;
}

void FakeEncoder::clearLog() {
    m_control.clearLog();
}

void FakeEncoderTest::SetUp() {
    ensureApplication();
    CoCreateInstance(&CLSID_Encoder, nullptr, com::CLSCTX_INPROC_SERVER, &IEncoder::kIid,
                     encoderObject.putVoid());
    ASSERT_TRUE(encoderObject);
    fake.clearLog();
}

} // namespace kerris::clipmail::test
