// `kerris list`: the cameras on both transports, their information and picture counts.
#include <cinttypes>

#include "tools/kerris/commands.h"

namespace kerris::tool {

namespace {

constexpr std::uint8_t kCapacity = 32;

const char* transportName(std::uint16_t id) {
    switch (id & 0xFF00) {
    case kCpiUsbIdBase:
        return "USB";
    case kCpiSerialIdBase:
        return "serial link";
    default:
        return "unknown";
    }
}

const char* formatName(std::uint32_t format) {
    switch (format) {
    case kCpiFormatCif:
        return "352 x 288";
    case kCpiFormatVga:
        return "640 x 480";
    case kCpiFormatQcif:
        return "176 x 144";
    case kCpiFormatQvga:
        return "320 x 240";
    default:
        return "unknown";
    }
}

// Prints one camera; false when it could not be opened or queried.
bool listCamera(Environment& env, std::uint16_t id) {
    const CameraApi& api = env.api;
    std::FILE* out = env.out;
    std::fprintf(out, "camera 0x%04X\n", id);
    std::fprintf(out, "  transport          %s, camera number %u\n", transportName(id), id & 0xFFu);
    char name[64] = {};
    const std::uint32_t nameStatus = api.CpiCameraNameGet(id, sizeof name - 1, name);
    std::fprintf(out, "  name               %s\n",
                 nameStatus == 0 ? (name[0] ? name : "(none)") : "(not available)");

    CpiConnection* raw = nullptr;
    const std::uint32_t status = api.CpiCameraOpen(id & 0xFF00, id & 0xFFu, &raw, nullptr);
    OpenCamera camera(api, raw);
    if (status != 0) {
        std::fprintf(env.err, "kerris: camera 0x%04X could not be opened: %s\n", id,
                     describeStatus(api, raw, status).c_str());
        return false;
    }
    CpiCameraInfo info{};
    const std::uint32_t infoStatus = api.CpiGetCameraInfo(camera.get(), &info);
    if (infoStatus != 0) {
        std::fprintf(env.err, "kerris: camera 0x%04X: no camera information: %s\n", id,
                     describeStatus(api, camera.get(), infoStatus).c_str());
        return false;
    }
    const std::uint32_t version = info.cameraVersion;
    const bool extended = (version >> 24) != 0 || ((version >> 16) & 0xFF) >= 0x61;
    std::fprintf(out, "  camera version     0x%08" PRIX32 " (%s command set)\n", version,
                 extended ? "extended" : "older");
    std::fprintf(out, "  interface versions transport 0x%04X, library 0x%04X\n",
                 unsigned(info.interfaceVersions >> 16), unsigned(info.interfaceVersions & 0xFFFF));
    std::fprintf(out, "  sensor id          0x%04X\n", info.sensorId);
    std::fprintf(out, "  thumbnails stored  %s\n", info.thumbnailsStored ? "yes" : "no");
    std::fprintf(out, "  settle wait        %s\n", info.capabilityBit0 ? "yes" : "no");
    std::fprintf(out, "  capability bits    1=%u 2=%u 4=%u 5=%u\n", unsigned(info.capabilityBit1),
                 unsigned(info.capabilityBit2), unsigned(info.capabilityBit4),
                 unsigned(info.capabilityBit5));
    std::fprintf(out, "  camera words       0x%04X 0x%04X, long 0x%08" PRIX32 "\n",
                 info.cameraWord1, info.cameraWord2, info.cameraLong);

    CpiCameraStateInfo state{};
    const std::uint32_t stateStatus = api.CpiGetCameraStateInfo(camera.get(), &state);
    if (stateStatus != 0) {
        std::fprintf(env.err, "kerris: camera 0x%04X: no camera state: %s\n", id,
                     describeStatus(api, camera.get(), stateStatus).c_str());
        return false;
    }
    std::fprintf(out, "  pictures           %u%s\n", unsigned(state.ImageCount),
                 state.busy == 1 ? " (camera busy)" : "");
    if (state.ImageCount > 0) {
        std::uint32_t format = 0;
        if (api.CpiGetImageFormatEx(camera.get(), 0, &format, nullptr) == 0)
            std::fprintf(out, "  first picture      %s\n", formatName(format));
    }
    return true;
}

} // namespace

int runList(const std::vector<std::string>& arguments, Environment& env) {
    if (!arguments.empty()) {
        std::fprintf(env.err, "kerris: list takes no arguments\n");
        return kExitUsage;
    }
    std::uint16_t ids[kCapacity] = {};
    std::uint8_t count = 0;
    const std::uint32_t status = env.api.CpiCameraEnum(0, 0, kCapacity, ids, &count);
    if (status != 0) {
        std::fprintf(env.err, "kerris: the cameras could not be listed: %s\n",
                     describeStatus(env.api, nullptr, status).c_str());
        return kExitFailed;
    }
    if (count == 0) {
        std::fprintf(env.err, "kerris: no cameras found\n");
        return kExitOk;
    }
    bool allListed = true;
    const unsigned listed = count < kCapacity ? count : kCapacity;
    for (unsigned i = 0; i < listed; ++i) {
        if (i > 0)
            std::fputc('\n', env.out);
        allListed = listCamera(env, ids[i]) && allListed;
    }
    if (count > kCapacity)
        std::fprintf(env.err, "kerris: %u cameras found, the first %u listed\n", unsigned(count),
                     unsigned(kCapacity));
    return allListed ? kExitOk : kExitFailed;
}

} // namespace kerris::tool
