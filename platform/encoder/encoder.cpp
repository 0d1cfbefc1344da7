// The encoder object: settings, starting and stopping runs, and the objects it hands out.
#include "platform/encoder/encoder.h"

#include "platform/encoder/settings_file.h"
#include "platform/encoder/slot_support.h"

namespace kerris::encoder {

namespace {
const GUID& kEncoderIid = IEncoder::kIid;
} // namespace

Encoder::Encoder()
    : m_live(std::make_shared<LiveSession>()),
      m_groups(com::ComPtr<SourceGroupCollection>::adopt(new SourceGroupCollection(m_live))),
      m_broadcast(com::ComPtr<Broadcast>::adopt(new Broadcast())),
      m_file(com::ComPtr<OutputFile>::adopt(new OutputFile())),
      m_statistics(com::ComPtr<Statistics>::adopt(new Statistics(m_live))),
      m_profiles(com::ComPtr<ProfileCollection>::adopt(new ProfileCollection())) {}

Encoder::~Encoder() {
    m_live->end();
}

EncoderSettings Encoder::settings() const {
    EncoderSettings s;
    for (const auto& group : m_groups->groups())
        s.groups.push_back(group->settings());
    s.activeGroup = m_groups->activeIndex();
    s.outputFile = m_file->path();
    s.ports = m_broadcast->ports();
    return s;
}

HRESULT Encoder::Load(BSTR path) {
    return guardedSlot(kEncoderIid, [&] {
        const std::string file = textOf(path);
        if (file.empty())
            return com::fail(com::E_INVALIDARG, kEncoderIid, "No settings file was named");
        if (m_live->running())
            return com::fail(com::E_FAIL, kEncoderIid,
                             "The encoder must be stopped before it loads other settings");
        EncoderSettings loaded;
        std::string error;
        if (!readSettingsFile(file, loaded, error))
            return com::fail(com::E_FAIL, kEncoderIid, error);
        // Everything is checked and built aside; only then does it replace what was there.
        std::vector<com::ComPtr<SourceGroup>> groups;
        for (const GroupSettings& g : loaded.groups) {
            auto profile = findProfile(g.profileName);
            if (!profile)
                return com::fail(com::E_FAIL, kEncoderIid,
                                 "The settings file \"" + file + "\" names the profile \"" +
                                     g.profileName + "\", which is not installed");
            groups.push_back(SourceGroup::fromSettings(g, *profile, m_live));
        }
        m_groups->replace(std::move(groups), loaded.activeGroup);
        m_file->setPath(loaded.outputFile);
        m_broadcast->setPorts(loaded.ports);
        return com::S_OK;
    });
}

HRESULT Encoder::Save(BSTR path) {
    return guardedSlot(kEncoderIid, [&] {
        const std::string file = textOf(path);
        std::string error;
        if (!writeSettingsFile(file, settings(), error))
            return com::fail(com::E_FAIL, kEncoderIid, error);
        return com::S_OK;
    });
}

bool Encoder::sessionSettings(SessionSettings& settings, std::string& error) const {
    const SourceGroup* group = m_groups->active();
    if (!group) {
        error = "The encoder has no source group to record from: choose a video and an audio "
                "source first";
        return false;
    }
    struct Need {
        int32_t type;
        const char* word;
        std::string* device;
    };
    for (const Need& need : {Need{kSourceTypeVideo, "video", &settings.videoDevice},
                             Need{kSourceTypeAudio, "audio", &settings.audioDevice}}) {
        const std::vector<std::string> inputs = group->inputs(need.type);
        if (inputs.empty()) {
            error = "The source group \"" + group->name() + "\" has no " + need.word + " source";
            return false;
        }
        *need.device = deviceNameOf(inputs.front());
        if (need.device->empty()) {
            error = std::string("No ") + need.word + " device is chosen for the source group \"" +
                    group->name() + "\"";
            return false;
        }
    }
    settings.profile = group->profile();
    settings.outputPath = m_file->path();
    return true;
}

HRESULT Encoder::Start() {
    return guardedSlot(kEncoderIid, [&] {
        if (m_live->running())
            return com::S_OK;
        SessionSettings settings;
        std::string error;
        if (!sessionSettings(settings, error))
            return com::fail(com::E_FAIL, kEncoderIid, error);
        // A run that a device ended by itself still holds its file: finish it first.
        m_live->end();
        auto session = CaptureSession::start(settings, error);
        if (!session)
            return com::fail(com::E_FAIL, kEncoderIid,
                             error.empty() ? "The encoder could not start" : error);
        m_live->begin(std::move(session));
        return com::S_OK;
    });
}

HRESULT Encoder::Stop() {
    return guardedSlot(kEncoderIid, [&] {
        m_live->end();
        return com::S_OK;
    });
}

HRESULT Encoder::PrepareToEncode(int32_t prepare) {
    if (prepare != 1 && prepare != 0 && prepare != -1)
        return com::fail(com::E_INVALIDARG, kEncoderIid,
                         "The prepare switch takes 1, 0 or -1, not " + std::to_string(prepare));
    // Our runs need no preparation: every start opens the devices and the file afresh.
    m_prepared = prepare;
    return com::S_OK;
}

HRESULT Encoder::get_SourceGroupCollection(ISourceGroupCollection** groups) {
    if (!groups)
        return missingResult(kEncoderIid);
    *groups = handOut<ISourceGroupCollection>(m_groups);
    return com::S_OK;
}

HRESULT Encoder::get_Broadcast(IBroadcast** broadcast) {
    if (!broadcast)
        return missingResult(kEncoderIid);
    *broadcast = handOut<IBroadcast>(m_broadcast);
    return com::S_OK;
}

HRESULT Encoder::get_File(IFile** file) {
    if (!file)
        return missingResult(kEncoderIid);
    *file = handOut<IFile>(m_file);
    return com::S_OK;
}

HRESULT Encoder::get_Statistics(IStatistics** statistics) {
    if (!statistics)
        return missingResult(kEncoderIid);
    *statistics = handOut<IStatistics>(m_statistics);
    return com::S_OK;
}

HRESULT Encoder::get_ProfileCollection(IProfileCollection** profiles) {
    if (!profiles)
        return missingResult(kEncoderIid);
    *profiles = handOut<IProfileCollection>(m_profiles);
    return com::S_OK;
}

HRESULT Encoder::get_RunState(int32_t* state) {
    if (!state)
        return missingResult(kEncoderIid);
    *state = m_live->running() ? kRunStateRunning : kRunStateStopped;
    return com::S_OK;
}

HRESULT Encoder::get_ErrorState(BSTR* description) {
    return guardedSlot(kEncoderIid, [&] {
        return description ? putText(kEncoderIid, description, m_live->failure())
                           : missingResult(kEncoderIid);
    });
}

} // namespace kerris::encoder
