// The output page: the port the encoder broadcasts on and the file it writes, and the session
// page (the main dialog's hidden host): what the encoder is set to record, read only.
#include "platform/encoder/pages/encoder_access.h"
#include "platform/encoder/pages/page_base.h"
#include "platform/encoder/pages/page_classes.h"

#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

namespace kerris::encoder::pages {

namespace {

// The broadcast protocol the program sets its port for.
constexpr int32_t kHttpProtocol = 1;

constexpr char kOutputHelp[] =
    "Output\n\n"
    "Port: the network port on which the encoder offers its live picture to other "
    "programs (1 to 65535). Output file: the file the clip being recorded is written to; the "
    "program chooses it when you record, so it is shown here only.\n\n"
    "A changed port takes effect when you press OK.";
constexpr char kSessionHelp[] =
    "Session\n\n"
    "What the encoder records from and how: the source group in use, its video and audio "
    "devices and its profile. Change them in the configuration dialog (Config).";

QString orNone(const std::string& text, const char* none) {
    return text.empty() ? QString(none) : QString::fromStdString(text);
}

class OutputPage final : public PageBase {
public:
    OutputPage() : PageBase("Output", kOutputHelp) {}

private:
    void build(QWidget* page, QVBoxLayout* layout) override {
        auto* form = new QFormLayout();
        layout->addLayout(form);
        m_port = new QSpinBox(page);
        m_port->setObjectName("port");
        m_port->setRange(1, 65535);
        m_file = new QLabel(page);
        m_file->setObjectName("file");
        m_file->setWordWrap(true);
        m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow("&Port:", m_port);
        form->addRow("Output file:", m_file);

        m_knownPort = 0;
        com::ComPtr<IBroadcast> broadcast;
        if (encoder() && com::succeeded(encoder()->get_Broadcast(broadcast.put())) && broadcast) {
            int32_t port = 0;
            if (com::succeeded(broadcast->get_PortNumber(kHttpProtocol, &port)) && port >= 1 &&
                port <= 65535)
                m_knownPort = port;
        }
        m_port->setValue(m_knownPort ? m_knownPort : 8080);
        m_port->setEnabled(bool(broadcast));

        std::string path;
        com::ComPtr<IFile> file;
        BSTR text = nullptr;
        if (encoder() && com::succeeded(encoder()->get_File(file.put())) && file &&
            com::succeeded(file->get_LocalFileName(&text)))
            path = takeText(text);
        m_file->setText(orNone(path, "none (preview only)"));
        layout->addStretch(1);
    }

    HRESULT applyChanges() override {
        if (!m_port || !m_port->isEnabled() || m_port->value() == m_knownPort)
            return com::S_OK;
        if (!encoder())
            return pageFailure(com::E_POINTER, "The property pages have no encoder to work on");
        com::ComPtr<IBroadcast> broadcast;
        HRESULT hr = encoder()->get_Broadcast(broadcast.put());
        if (com::failed(hr))
            return hr;
        if (!broadcast)
            return pageFailure(com::E_FAIL, "The encoder has no broadcast settings");
        hr = broadcast->put_PortNumber(kHttpProtocol, m_port->value());
        if (com::succeeded(hr))
            m_knownPort = m_port->value();
        return hr;
    }

    QPointer<QSpinBox> m_port;
    QPointer<QLabel> m_file;
    int32_t m_knownPort = 0;
};

class SessionPage final : public PageBase {
public:
    SessionPage() : PageBase("Session", kSessionHelp) {}

private:
    void build(QWidget* page, QVBoxLayout* layout) override {
        auto* form = new QFormLayout();
        layout->addLayout(form);
        std::string groupName;
        com::ComPtr<ISourceGroup> group;
        if (com::succeeded(activeGroup(encoder(), group)) && group) {
            BSTR name = nullptr;
            if (com::succeeded(group->get_Name(&name)))
                groupName = takeText(name);
        }
        std::string video, audio, profile;
        bool isDevice = false;
        currentInput(encoder(), kSourceTypeVideo, video, isDevice);
        currentInput(encoder(), kSourceTypeAudio, audio, isDevice);
        currentProfileName(encoder(), profile);
        auto row = [&](const char* label, const char* objectName, const std::string& value) {
            auto* text = new QLabel(orNone(value, "none"), page);
            text->setObjectName(objectName);
            form->addRow(label, text);
        };
        row("Source group:", "group", groupName);
        row("Video:", "video", video);
        row("Audio:", "audio", audio);
        row("Profile:", "profile", profile);
        layout->addStretch(1);
    }

    HRESULT applyChanges() override { return com::S_OK; } // nothing here is edited
};

} // namespace

IEncoderPage* newOutputPage() {
    return new OutputPage();
}
IEncoderPage* newSessionPage() {
    return new SessionPage();
}

} // namespace kerris::encoder::pages
