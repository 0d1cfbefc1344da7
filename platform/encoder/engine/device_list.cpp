// The capture devices of this machine: V4L2 capture nodes, the sound server's sources or the
// ALSA capture devices, then the camera's virtual devices once installed.
#include "platform/capture/capture.h"
#include "platform/encoder/capture_session.h"
#include "platform/encoder/engine/inputs.h"
#include "platform/encoder/engine/pulse_connection.h"
#include "platform/encoder/virtual_devices.h"

#include <alsa/asoundlib.h>
#include <pulse/pulseaudio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

namespace kerris::encoder {

namespace {

void appendV4l2Devices(std::vector<DeviceInfo>& devices) {
    for (kerris::capture::CaptureDevice& node : kerris::capture::CaptureDevices())
        devices.push_back({std::move(node.card), "v4l2", std::move(node.path)});
}

struct PulseListing {
    std::vector<DeviceInfo> sources;
    bool done = false;
};

void pulseSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* listing = static_cast<PulseListing*>(userdata);
    if (eol != 0 || !info) {
        listing->done = true;
        return;
    }
    if (info->monitor_of_sink != PA_INVALID_INDEX || !info->name)
        return; // a monitor records what a sink plays, not an input
    const std::string name = info->name;
    const std::string description =
        info->description && *info->description ? std::string(info->description) : name;
    listing->sources.push_back({description, "pulse", name});
}

// The sound server's sources in its order; nullopt when no server answers in time.
std::optional<std::vector<DeviceInfo>> pulseSources() {
    engine::PulseConnection server;
    std::string error;
    if (!server.connect(error))
        return std::nullopt;
    PulseListing listing;
    pa_operation* operation =
        pa_context_get_source_info_list(server.context(), pulseSourceInfo, &listing);
    if (!operation)
        return std::nullopt;
    const int64_t deadline = engine::monotonicNow() + engine::kSoundServerTimeoutNs;
    while (!listing.done && server.alive()) {
        const int64_t left = deadline - engine::monotonicNow();
        if (left <= 0 || !server.iterate(left))
            break;
    }
    pa_operation_cancel(operation);
    pa_operation_unref(operation);
    if (!listing.done)
        return std::nullopt;
    return std::move(listing.sources);
}

void appendAlsaCaptureDevices(std::vector<DeviceInfo>& devices) {
    snd_ctl_card_info_t* cardInfo = nullptr;
    snd_pcm_info_t* pcmInfo = nullptr;
    if (snd_ctl_card_info_malloc(&cardInfo) < 0 || snd_pcm_info_malloc(&pcmInfo) < 0) {
        snd_ctl_card_info_free(cardInfo);
        return;
    }
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        const std::string cardName = "hw:" + std::to_string(card);
        snd_ctl_t* control = nullptr;
        if (snd_ctl_open(&control, cardName.c_str(), 0) < 0)
            continue;
        if (snd_ctl_card_info(control, cardInfo) == 0) {
            int device = -1;
            while (snd_ctl_pcm_next_device(control, &device) == 0 && device >= 0) {
                snd_pcm_info_set_device(pcmInfo, static_cast<unsigned>(device));
                snd_pcm_info_set_subdevice(pcmInfo, 0);
                snd_pcm_info_set_stream(pcmInfo, SND_PCM_STREAM_CAPTURE);
                if (snd_ctl_pcm_info(control, pcmInfo) < 0)
                    continue; // plays only
                devices.push_back({std::string(snd_ctl_card_info_get_name(cardInfo)) + ": " +
                                       snd_pcm_info_get_name(pcmInfo),
                                   "alsa", cardName + "," + std::to_string(device)});
            }
        }
        snd_ctl_close(control);
    }
    snd_pcm_info_free(pcmInfo);
    snd_ctl_card_info_free(cardInfo);
}

} // namespace

std::vector<DeviceInfo> listVideoDevices() {
    std::vector<DeviceInfo> devices;
    appendV4l2Devices(devices);
    if (engine::virtualInputsInstalled())
        devices.push_back({kVirtualCameraName, "virtual", "camera"});
    return devices;
}

std::vector<DeviceInfo> listAudioDevices() {
    std::vector<DeviceInfo> devices;
    if (auto sources = pulseSources())
        devices = std::move(*sources);
    else
        appendAlsaCaptureDevices(devices);
    if (engine::virtualInputsInstalled())
        devices.push_back({kVirtualMicrophoneName, "virtual", "microphone"});
    return devices;
}

} // namespace kerris::encoder
