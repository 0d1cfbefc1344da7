// Reading the virtual camera's settings from the registry, and the colour model they imply.
#include "devices/virtualcam/camera_config.h"

#include "devices/kercol/colour_data.h"
#include "platform/registry/registry.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace kerris::virtualcam {

using registry::Hive;
using registry::Key;

namespace {

// The version a camera of each generation reports unless "CameraVersion" says otherwise:
// bits 16-23 at 0x61 or above mark the extended command set.
constexpr uint32_t kExtendedVersion = 0x00620110;
constexpr uint32_t kOlderVersion = 0x00600105;
// Capability byte: bit 0 settle wait and addressed block reads, bit 3 stored thumbnails.
// Older cameras by default skip bit 0, whose settle wait would cost two seconds per open.
constexpr uint8_t kExtendedCapabilities = 0x09;
constexpr uint8_t kOlderCapabilities = 0x08;

std::string subKeyPath(TransportKind kind) {
    return std::string(kSettingsKey) + "\\" + transportSubKey(kind);
}

// Looks a value up in the transport's sub-key first, then in the key itself.
class Settings {
public:
    explicit Settings(TransportKind kind)
        : m_transport(Key::open(Hive::LocalMachine, subKeyPath(kind))),
          m_common(Key::open(Hive::LocalMachine, kSettingsKey)) {}

    std::optional<uint32_t> dword(const char* name) const { return lookup(&Key::readDword, name); }
    std::optional<std::string> text(const char* name) const {
        return lookup(&Key::readString, name);
    }
    std::optional<std::vector<uint8_t>> binary(const char* name) const {
        return lookup(&Key::readBinary, name);
    }
    template <typename T> void get(const char* name, T& field) const {
        if (auto v = dword(name))
            field = T(*v);
    }

private:
    template <typename T>
    std::optional<T> lookup(std::optional<T> (Key::*read)(std::string_view) const,
                            const char* name) const {
        if (m_transport)
            if (auto v = ((*m_transport).*read)(name))
                return v;
        if (m_common)
            return ((*m_common).*read)(name);
        return std::nullopt;
    }

    std::optional<Key> m_transport;
    std::optional<Key> m_common;
};

// Built-in sensor matrices of the camera library, which it uses when a camera serves no
// colour data.
constexpr std::array<float, 9> kSensorA{2.135f,  -1.193f, 0.058f,  -0.376f, 1.741f,
                                        -0.365f, 0.018f,  -1.188f, 2.17f};
constexpr std::array<float, 9> kSensorB{2.035f,  -0.965f, -0.069f, -0.189f, 1.435f,
                                        -0.247f, -0.114f, -0.415f, 1.529f};
constexpr const char* kSensorSettingsRoot = "SOFTWARE\\Brantor\\OVIK_SDK";

std::optional<uint32_t> readFourBytes(const Key& key, const std::string& name) {
    auto value = key.read(name);
    if (!value || value->data.size() < 4)
        return std::nullopt;
    const auto& d = value->data;
    return uint32_t(d[0]) | uint32_t(d[1]) << 8 | uint32_t(d[2]) << 16 | uint32_t(d[3]) << 24;
}

// What the camera library configures from the sensor id: the built-in matrix with the
// registry's replacements, black offset and gamma switch; the colour library's neutral
// defaults for sensors it does not know.
ColourModel sensorColourModel(uint16_t sensorId) {
    ColourModel model;
    if (sensorId < 0x1940 || sensorId > 0x194F)
        return model;
    const char* sensor = (sensorId & 0xF) > 3 ? "SB" : "SA";
    model.matrix = (sensorId & 0xF) > 3 ? kSensorB : kSensorA;
    const std::string base = std::string(kSensorSettingsRoot) + "\\" + sensor;
    if (auto key = Key::open(Hive::LocalMachine, base + "\\ColourMatrix")) {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                char name[8];
                std::snprintf(name, sizeof name, "M%d%d", r, c);
                if (auto v = readFourBytes(*key, name)) {
                    const float magnitude = float(*v & 0x7FFFFFFF) * 0.0001f;
                    model.matrix[size_t(r * 3 + c)] = (*v & 0x80000000u) ? -magnitude : magnitude;
                }
            }
    }
    if (auto key = Key::open(Hive::LocalMachine, base)) {
        if (auto v = readFourBytes(*key, "BlackOffset"))
            model.blackOffset = uint16_t(*v);
        if (auto v = readFourBytes(*key, "EnableGammaCorrection"); v && *v <= 1)
            model.gammaOn = *v == 1;
    }
    return model;
}

} // namespace

const char* transportSubKey(TransportKind kind) {
    return kind == TransportKind::Usb ? "USB" : "Serial";
}

uint32_t readCameraCount(TransportKind kind) {
    uint32_t count = kind == TransportKind::Usb ? 1 : 0;
    Settings(kind).get("Cameras", count);
    return std::min(count, kMaxCameras);
}

CameraConfig readCameraConfig(TransportKind kind, uint8_t number) {
    const Settings s(kind);
    CameraConfig c;
    if (auto v = s.dword("Generation"))
        c.generation = *v == 0 ? Generation::Older : Generation::Extended;
    const bool extended = c.generation == Generation::Extended;
    c.cameraVersion = extended ? kExtendedVersion : kOlderVersion;
    c.capabilities = extended ? kExtendedCapabilities : kOlderCapabilities;
    s.get("CameraVersion", c.cameraVersion);
    s.get("Capabilities", c.capabilities);
    s.get("SensorId", c.sensorId);
    s.get("CameraWord1", c.cameraWord1);
    s.get("CameraWord2", c.cameraWord2);
    s.get("CameraLong", c.cameraLong);
    s.get("ColourDataLength", c.colourDataLength);
    c.colourDataLength = std::min<uint32_t>(c.colourDataLength, 255);
    if (auto v = s.dword("ImageFormat"); v && formatOfCode(*v))
        c.imageFormat = uint8_t(*v);
    s.get("PowerRegister", c.powerRegister);
    s.get("ImageFlags", c.imageFlags);
    if (auto v = s.binary("ColourData"))
        c.colourData = *v;
    c.pictureFolder = s.text("PictureFolder").value_or(defaultPictureFolder());

    char nameValue[16];
    std::snprintf(nameValue, sizeof nameValue, "Name%u", unsigned(number));
    char defaultName[64];
    std::snprintf(defaultName, sizeof defaultName, "Kerris Virtual Camera %u (%s)",
                  unsigned(number) + 1, transportSubKey(kind));
    c.name = s.text(nameValue).value_or(defaultName);

    FaultPlan& f = c.faults;
    s.get("FailReadAt", f.failReadAt);
    s.get("FailReadCount", f.failReadCount);
    s.get("FailReadStatus", f.failReadStatus);
    s.get("ShortReadAt", f.shortReadAt);
    s.get("ShortReadCount", f.shortReadCount);
    s.get("ShortReadBytes", f.shortReadBytes);
    s.get("ShortReadStatus", f.shortReadStatus);
    s.get("FailCommandAt", f.failCommandAt);
    s.get("FailCommandCount", f.failCommandCount);
    s.get("FailCommandStatus", f.failCommandStatus);
    if (auto v = s.dword("FailCommandCode"))
        f.failCommandCode = *v > 0xFF ? -1 : int32_t(*v);
    s.get("Busy", f.busyReads);
    s.get("WrongEcho", f.wrongEcho);
    s.get("TaskDelay", f.taskDelay);
    s.get("StickyLastError", f.stickyLastError);
    return c;
}

bool writeCameraName(TransportKind kind, uint8_t number, const std::string& name) {
    auto key = Key::create(Hive::LocalMachine, subKeyPath(kind));
    if (!key)
        return false;
    char nameValue[16];
    std::snprintf(nameValue, sizeof nameValue, "Name%u", unsigned(number));
    return key->writeString(nameValue, name);
}

std::string defaultPictureFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&defaultPictureFolder), &info) == 0 || !info.dli_fname)
        return {};
    std::error_code ec;
    std::filesystem::path library = std::filesystem::absolute(info.dli_fname, ec);
    if (ec)
        return {};
    std::filesystem::path folder =
        (library.parent_path() / ".." / "share" / "kerris" / "virtualcam" / "pictures")
            .lexically_normal();
    std::string text = folder.string();
    if (text.empty() || text.back() != '/')
        text += '/';
    return text;
}

std::vector<uint8_t> servedColourData(const CameraConfig& config) {
    if (!config.colourData.empty())
        return config.colourData;
    std::vector<uint8_t> data(kercol::kColourDataSize);
    kercol::encodeColourData(kercol::neutralColourData(), data.data());
    return data;
}

ColourModel colourModelFor(const CameraConfig& config) {
    // The camera library reads the colour data when the camera reports at least 16 bytes and
    // hands over 36; the colour library takes them when they are valid.
    const std::vector<uint8_t> data = servedColourData(config);
    kercol::ColourData decoded{};
    if (config.colourDataLength >= kercol::kColourDataSize &&
        data.size() >= kercol::kColourDataSize &&
        kercol::decodeColourData(data.data(), &decoded) == kercol::ColourDataError::None) {
        ColourModel model;
        for (size_t i = 0; i < 9; ++i)
            model.matrix[i] = kercol::matrixEntryToFloat(decoded.matrix[i]);
        model.blackOffset = decoded.blackOffset;
        model.whiteLevel = decoded.whiteLevel;
        model.gammaOn = decoded.gammaOn;
        model.gammaMilli = decoded.gammaMilli;
        return model;
    }
    return sensorColourModel(config.sensorId);
}

} // namespace kerris::virtualcam
