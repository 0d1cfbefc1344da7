// Shared parts of the encoder component's tests.
#include "tests/encoder/objects_support.h"

#include "platform/encoder/encoder_interfaces.h"
#include "platform/registry/registry.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

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
    folder = fs::temp_directory_path() /
             ("kerrisenc-test-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
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

namespace {

std::string quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// key=value lines of one ffprobe run.
std::map<std::string, std::string> ffprobe(const std::string& arguments, const fs::path& file) {
    std::map<std::string, std::string> values;
    const std::string command = "ffprobe -v error " + arguments +
                                " -of default=noprint_wrappers=1 " + quoted(file.string()) +
                                " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return values;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        const size_t eq = text.find('=');
        if (eq != std::string::npos)
            values.emplace(text.substr(0, eq), text.substr(eq + 1));
    }
    if (::pclose(pipe) != 0)
        values.clear();
    return values;
}

int number(const std::map<std::string, std::string>& values, const std::string& key) {
    auto it = values.find(key);
    return it == values.end() ? 0 : std::atoi(it->second.c_str());
}

} // namespace

Probe probe(const fs::path& file) {
    Probe p;
    auto format = ffprobe("-show_entries format=format_name,duration", file);
    auto video = ffprobe("-select_streams v:0 -count_frames -show_entries "
                         "stream=codec_name,width,height,r_frame_rate,nb_read_frames",
                         file);
    auto audio =
        ffprobe("-select_streams a:0 -show_entries stream=codec_name,sample_rate,channels", file);
    if (format.empty() || video.empty())
        return p;
    p.readable = true;
    p.format = format["format_name"];
    p.duration = std::atof(format["duration"].c_str());
    p.videoCodec = video["codec_name"];
    p.width = number(video, "width");
    p.height = number(video, "height");
    p.frameRate = video["r_frame_rate"];
    p.videoFrames = std::atoll(video["nb_read_frames"].c_str());
    p.audioCodec = audio["codec_name"];
    p.audioSampleRate = number(audio, "sample_rate");
    p.audioChannels = number(audio, "channels");
    return p;
}

} // namespace kerris::encoder::testing
