// Shared parts of the encoder component's tests.
#include "tests/encoder/objects_support.h"

#include "platform/encoder/encoder_interfaces.h"
#include "platform/registry/registry.h"
#include "tests/encoder/engine_media_probe.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace kerris::encoder::testing {

namespace fs = std::filesystem;

SlotObject create(const GUID& clsid, const GUID& iid, HRESULT* hr) {
    void* object = nullptr;
    HRESULT result = CoCreateInstance(&clsid, nullptr, com::CLSCTX_INPROC_SERVER, &iid, &object);
    if (hr)
        *hr = result;
    return SlotObject(com::succeeded(result) ? object : nullptr);
}

std::string takeText(com::BSTR text) {
    return com::Bstr::adopt(text).utf8();
}

std::string takeErrorDescription() {
    com::IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != com::S_OK || !info)
        return {};
    com::BSTR description = nullptr;
    std::string result;
    if (com::succeeded(info->GetDescription(&description)))
        result = takeText(description);
    info->Release();
    return result;
}

void ComponentTest::SetUp() {
    // A parameterised test's name holds a slash ("Name/0"): one folder, not a folder in another
    // that TearDown would leave behind.
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    folder =
        fs::temp_directory_path() / ("kerrisenc-test-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder / "registry");
    setenv("KERRIS_REGISTRY_DIR", (folder / "registry").c_str(), 1);
    // The virtual devices' exclusive-use locks live in the runtime folder: one of the test's
    // own, so tests running side by side do not take each other's camera.
    fs::create_directories(folder / "run");
    setenv("XDG_RUNTIME_DIR", (folder / "run").c_str(), 1);
    // No capture hardware of this machine takes part: only the camera's virtual devices.
    fs::create_directories(folder / "dev");
    setenv("KERRIS_VIDEO_DEVICE_DIR", (folder / "dev").c_str(), 1);
    ASSERT_EQ(runSetup(), 0);
    ASSERT_TRUE(com::succeeded(CoInitialize(nullptr)));
    takeErrorDescription(); // nothing left over from another test
}

void ComponentTest::TearDown() {
    CoUninitialize();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

int ComponentTest::runSetup(const std::string& arguments) {
    const char* exe = std::getenv("KERRISENC_SETUP");
    if (!exe)
        return -1;
    const int status = std::system((std::string(exe) + " " + arguments).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ComponentTest::setVirtualCameraValue(const std::string& name, uint32_t value) {
    auto key =
        registry::Key::create(registry::Hive::LocalMachine, "SOFTWARE\\Kerris\\VirtualCamera");
    ASSERT_TRUE(key && key->writeDword(name, value));
}

SlotObject readyEncoder(const std::string& outputFile, const std::string& profile,
                        const std::string& video, const std::string& audio) {
    SlotObject encoder = create(CLSID_Encoder, IEncoder::kIid);
    if (!encoder)
        return {};
    SlotObject groups = encoder.out(slot::kSourceGroupCollection);
    Text name = text("Kerris Camera");
    SlotObject group = groups.out(slot::kGroupAdd, name.get());
    SlotObject videoSource = group.out(slot::kAddSource, kSourceTypeVideo);
    SlotObject audioSource = group.out(slot::kAddSource, kSourceTypeAudio);
    if (!videoSource || !audioSource)
        return {};
    Text videoInput = text(video), audioInput = text(audio), empty = text("");
    if (videoSource(slot::kSetInput, videoInput.get(), empty.get(), empty.get()) != com::S_OK ||
        audioSource(slot::kSetInput, audioInput.get(), empty.get(), empty.get()) != com::S_OK)
        return {};
    SlotObject profiles = encoder.out(slot::kProfileCollection);
    int32_t count = 0;
    profiles(slot::kProfileCount, &count);
    bool selected = false;
    for (int32_t i = 0; i < count && !selected; ++i) {
        SlotObject p = profiles.out(slot::kProfileItem, i);
        com::BSTR n = nullptr;
        if (!p || p(slot::kProfileName, &n) != com::S_OK || takeText(n) != profile)
            continue;
        com::VARIANT v{};
        v.vt = com::VT_DISPATCH;
        v.pdispVal = static_cast<com::IDispatch*>(p.get());
        selected = group(slot::kPutProfile, v) == com::S_OK;
    }
    if (!selected)
        return {};
    if (!outputFile.empty()) {
        SlotObject file = encoder.out(slot::kFile);
        Text path = text(outputFile);
        if (file(slot::kPutFileName, path.get()) != com::S_OK)
            return {};
    }
    return encoder;
}

Probe probe(const fs::path& file) {
    Probe p;
    const test::ProbedFile probed = test::probeFile(file.string());
    const test::ProbedStream* video = probed.stream("video");
    if (!probed.ok || !video)
        return p;
    p.readable = true;
    p.format = probed.format;
    p.duration = probed.duration;
    p.videoCodec = video->codecName;
    p.width = video->width;
    p.height = video->height;
    p.frameRate = video->frameRate;
    p.videoFrames = video->frames;
    if (const test::ProbedStream* audio = probed.stream("audio")) {
        p.audioCodec = audio->codecName;
        p.audioSampleRate = audio->sampleRate;
        p.audioChannels = audio->channels;
    }
    const test::AsfLayout layout = test::readAsfLayout(file.string());
    p.finished = layout.ok && layout.seekable && layout.indexed;
    return p;
}

} // namespace kerris::encoder::testing
