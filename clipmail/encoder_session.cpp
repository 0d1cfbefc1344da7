// The recording operations: encoder start-up and shutdown, preview, Record, Stop, statistics.
#include "clipmail/encoder_session.h"

#include "clipmail/com_calls.h"
#include "clipmail/control_ids.h"
#include "clipmail/program_resources.h"

#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

namespace kerris::clipmail {

using com::ComPtr;
using com::failed;
using namespace encoder;

namespace {

constexpr int kLargestVideoSide = 8192;

// One "%d" of sscanf at text[pos]: blanks, a sign, digits. Advances pos past it.
std::optional<long long> readDecimal(const std::string& text, size_t& pos) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    size_t start = pos;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        ++pos;
    const size_t digits = pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])))
        ++pos;
    if (pos == digits)
        return std::nullopt;
    if (text[start] == '+')
        ++start;
    long long value = 0;
    // Longer numbers than a long long holds are no video size either.
    if (std::from_chars(text.data() + start, text.data() + pos, value).ec != std::errc())
        return std::nullopt;
    return value;
}

bool isVideoSide(long long side) {
    return side >= 1 && side <= kLargestVideoSide;
}

} // namespace

std::optional<QSize> videoSizeFromDetails(const std::string& details) {
    std::string text = details;
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    const size_t video = text.find("VIDEO");
    if (video == std::string::npos)
        return std::nullopt;
    const size_t bracket = text.find(']', video + 5);
    if (bracket == std::string::npos)
        return std::nullopt;
    size_t pos = bracket + 1;
    const std::optional<long long> width = readDecimal(text, pos);
    if (!width)
        return std::nullopt;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    if (pos >= text.size() || text[pos] != 'X')
        return std::nullopt;
    ++pos;
    const std::optional<long long> height = readDecimal(text, pos);
    if (!height || !isVideoSide(*width) || !isVideoSide(*height))
        return std::nullopt;
    return QSize(int(*width), int(*height));
}

EncoderSession::EncoderSession(EncoderSessionHost& host, std::string destinationFolder)
    : m_host(host), m_destinationFolder(std::move(destinationFolder)) {
    m_timer.setInterval(kStatisticsPeriodMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { OnTimer(); });
}

EncoderSession::~EncoderSession() = default;

void EncoderSession::InitEncoder(IPropertyPageHost* shell, com::HWND previewWindow) {
    ComPtr<IEncoder> encoderObject = createObject<IEncoder>(CLSID_Encoder);
    ComPtr<IProfileDetailsService> details =
        createObject<IProfileDetailsService>(CLSID_ProfileDetailsService);
    ComPtr<IUnknown> page = createObject<IUnknown>(CLSID_PageMain);
    if (!encoderObject || !details || !shell || !page) {
        discardErrorInfo();
        m_host.showMessage(QString::fromUtf8(kString102));
        m_host.postClose();
        return;
    }
    m_encoder = std::move(encoderObject);
    m_profileDetails = std::move(details);
    // What the hidden host does with the encoder is its own; its results are not examined.
    shell->put_Object(m_encoder.get());
    shell->AddPage(page.get());
    page.reset();
    discardErrorInfo();

    const std::string settings = m_destinationFolder + kSettingsFileName;
    if (!QFileInfo::exists(QString::fromStdString(settings))) {
        m_host.postCommand(kIdNoUse);
        return;
    }
    if (failed(m_encoder->Load(com::Bstr::fromUtf8(settings).get()))) {
        ReportEncoderError();
        m_host.postCommand(kIdConfig);
        return;
    }
    // The first failure ends the chain and leads to the configuration: each step reports its
    // own error once, and a later one would only repeat it.
    if (!ReadVideoSize() || !SetBroadcastPort() || !SetupPreview(previewWindow) || !StartEncoder())
        m_host.postCommand(kIdConfig);
}

bool EncoderSession::ReadVideoSize() {
    if (!m_encoder || !m_profileDetails)
        return false;
    ComPtr<IProfileCollection> profiles;
    if (failed(m_encoder->get_ProfileCollection(profiles.put()))) {
        ReportEncoderError();
        return false;
    }
    if (failed(profiles->Refresh()))
        discardErrorInfo();
    ComPtr<ISourceGroupCollection> groups;
    ComPtr<ISourceGroup> group;
    ComPtr<IProfile> profile;
    com::Bstr name;
    com::Bstr details;
    if (failed(m_encoder->get_SourceGroupCollection(groups.put())) ||
        failed(groups->get_Active(group.put())) || failed(group->get_Profile(profile.put())) ||
        failed(profile->get_Name(name.put())) ||
        failed(m_profileDetails->GetDetails(name.get(), 0, details.put()))) {
        ReportEncoderError();
        return false;
    }
    if (std::optional<QSize> size = videoSizeFromDetails(details.utf8()))
        m_host.setVideoSize(*size);
    m_host.FitWindowToSkin();
    return true;
}

bool EncoderSession::SetBroadcastPort() {
    if (!m_encoder)
        return false;
    ComPtr<IBroadcast> broadcast;
    if (failed(m_encoder->get_Broadcast(broadcast.put()))) {
        ReportEncoderError();
        return false;
    }
    if (failed(broadcast->put_PortNumber(kBroadcastProtocol, kBroadcastPort))) {
        ReportEncoderError();
        return false;
    }
    return true;
}

bool EncoderSession::SetupPreview(com::HWND previewWindow) {
    if (!m_encoder)
        return false;
    ComPtr<ISourceGroupCollection> groups;
    ComPtr<ISourceGroup> group;
    ComPtr<ISource> source;
    ComPtr<IPreviewCollection> previews;
    if (failed(m_encoder->get_SourceGroupCollection(groups.put())) ||
        failed(groups->get_Active(group.put())) ||
        failed(group->get_Source(kSourceTypeVideo, 0, source.put()))) {
        ReportEncoderError();
        return false;
    }
    // The group hands its video source out through the video source's table.
    auto* video = static_cast<IVideoSource*>(source.get());
    if (failed(video->get_PreviewCollection(previews.put()))) {
        ReportEncoderError();
        return false;
    }
    m_view.reset();
    if (failed(previews->RemoveAll())) {
        ReportEncoderError();
        return false;
    }
    m_viewCookie = -1;
    m_view = createObject<IView>(CLSID_View);
    if (!m_view) {
        discardErrorInfo();
        m_host.showMessage(QString::fromUtf8(kString102));
        return false;
    }
    if (failed(previews->Add(m_view.get(), &m_viewCookie)) ||
        failed(m_encoder->PrepareToEncode(1))) {
        ReportEncoderError();
        return false;
    }
    com::HWND window = previewWindow;
    if (failed(m_view->SetViewProperties(m_viewCookie, sizeof(window), &window))) {
        discardErrorInfo();
        m_host.showMessage(QString::fromUtf8(kString103));
        return false;
    }
    return true;
}

bool EncoderSession::StartEncoder() {
    if (!m_encoder)
        return false;
    bool started = true;
    if (failed(m_encoder->Start())) {
        ReportEncoderError();
        started = false;
    }
    if (m_view && failed(m_view->StartView(m_viewCookie)))
        discardErrorInfo();
    return started;
}

void EncoderSession::StopIfRunning() {
    if (!m_encoder)
        return;
    int32_t state = 0;
    if (failed(m_encoder->get_RunState(&state))) {
        discardErrorInfo();
        return;
    }
    if (state != kRunStateRunning && state != kRunStatePaused)
        return;
    if (m_view)
        m_view->StopView(m_viewCookie);
    m_encoder->Stop();
    discardErrorInfo();
}

bool EncoderSession::setOutputFile(const std::string& path) {
    ComPtr<IFile> file;
    if (failed(m_encoder->get_File(file.put())))
        return false;
    return !failed(file->put_LocalFileName(com::Bstr::fromUtf8(path).get()));
}

bool EncoderSession::StartRecording() {
    if (!m_encoder)
        return false;
    StopIfRunning();
    // Without an output file the encoder stays stopped and says nothing: Stop recovers.
    if (!setOutputFile(m_destinationFolder + kRecordingFileName)) {
        discardErrorInfo();
        return false;
    }
    m_recording = true;
    if (!StartEncoder()) {
        abandonRecording();
        return false;
    }
    ComPtr<IStatistics> statistics;
    if (failed(m_encoder->get_Statistics(statistics.put()))) {
        ReportEncoderError();
        abandonRecording();
        return false;
    }
    m_statistics = std::move(statistics);
    auto streamStatistics = [this](int32_t type) {
        ComPtr<IUnknown> stream;
        if (failed(m_statistics->get_StreamOutputStats(type, 0, 0, stream.put()))) {
            discardErrorInfo();
            return ComPtr<IStreamStatistics>();
        }
        return stream.as<IStreamStatistics>();
    };
    m_videoStatistics = streamStatistics(kSourceTypeVideo);
    m_audioStatistics = streamStatistics(kSourceTypeAudio);
    m_timer.start();
    return true;
}

void EncoderSession::abandonRecording() {
    StopIfRunning();
    if (!setOutputFile(""))
        discardErrorInfo();
    releaseStatistics();
    m_recording = false;
}

void EncoderSession::releaseStatistics() {
    m_statistics.reset();
    m_videoStatistics.reset();
    m_audioStatistics.reset();
}

void EncoderSession::OnTimer() {
    if (!m_statistics)
        return;
    int64_t milliseconds = 0;
    int seconds = kFailedElapsedSeconds;
    if (!failed(m_statistics->get_EncodingTime(&milliseconds)))
        seconds = int(std::clamp<int64_t>(milliseconds / 1000, 0, std::numeric_limits<int>::max()));
    int64_t bytes = 0;
    for (IStreamStatistics* stream : {m_videoStatistics.get(), m_audioStatistics.get()}) {
        int64_t streamBytes = 0;
        if (stream && !failed(stream->get_ByteCount(&streamBytes)) && streamBytes > 0)
            bytes += std::min(streamBytes, std::numeric_limits<int64_t>::max() - bytes);
    }
    discardErrorInfo();
    m_host.SetCounters(seconds,
                       int(std::min<int64_t>(bytes / 1024, std::numeric_limits<int>::max())));
}

void EncoderSession::StopRecording() {
    if (!m_encoder || !m_recording)
        return;
    m_timer.stop();
    StopIfRunning();
    m_encoder->PrepareToEncode(0);
    releaseStatistics();
    m_host.SetCounters(0, 0);
    ComPtr<IFile> file;
    if (failed(m_encoder->get_File(file.put()))) {
        discardErrorInfo();
        return;
    }
    file->put_LocalFileName(com::Bstr::fromUtf8("").get());
    file.reset();
    m_encoder->PrepareToEncode(-1);
    discardErrorInfo();
    m_recording = false;
    StartEncoder();
}

void EncoderSession::ReportEncoderError() {
    m_host.SetButtonState(ButtonState::Failed);
    const std::optional<std::string> description = takeErrorDescription();
    if (description && !description->empty())
        m_host.showMessage(QString::fromStdString(*description));
}

void EncoderSession::ShutdownEncoder() {
    if (m_recording)
        m_timer.stop();
    StopIfRunning();
    if (m_encoder && m_saveSettings) {
        m_encoder->Save(com::Bstr::fromUtf8(m_destinationFolder + kSettingsFileName).get());
        discardErrorInfo();
    }
    releaseStatistics();
    m_view.reset();
    m_encoder.reset();
    m_profileDetails.reset();
}

} // namespace kerris::clipmail
