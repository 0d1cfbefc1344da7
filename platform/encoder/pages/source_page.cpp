// The video source and audio source pages: the devices of that kind by friendly name, the one
// the group in use records from, and Apply setting the chosen one as "device://" + name.
#include "platform/encoder/pages/encoder_access.h"
#include "platform/encoder/pages/page_base.h"
#include "platform/encoder/pages/page_classes.h"

#include <QLabel>
#include <QListWidget>

namespace kerris::encoder::pages {

namespace {

constexpr char kVideoHelp[] =
    "Video source\n\n"
    "Choose the camera the clips are recorded from. The list shows every video capture "
    "device of this computer by name, and the camera's own video device \"Kerris Camera\" "
    "once the camera software is installed. The device in use is selected; a device that is "
    "chosen but not connected is marked so.\n\n"
    "The choice takes effect when you press OK.";
constexpr char kAudioHelp[] =
    "Audio source\n\n"
    "Choose the microphone the clips are recorded with. The list shows the sound inputs of "
    "this computer by name, and the camera's own microphone \"Kerris Camera Microphone\" once "
    "the camera software is installed. The device in use is selected; a device that is chosen "
    "but not connected is marked so.\n\n"
    "The choice takes effect when you press OK.";

class SourcePage final : public PageBase {
public:
    explicit SourcePage(int32_t type)
        : PageBase(type == kSourceTypeVideo ? "Video source" : "Audio source",
                   type == kSourceTypeVideo ? kVideoHelp : kAudioHelp),
          m_type(type) {}

private:
    const char* kind() const { return m_type == kSourceTypeVideo ? "video" : "audio"; }

    void build(QWidget* page, QVBoxLayout* layout) override {
        layout->addWidget(
            new QLabel(m_type == kSourceTypeVideo ? "&Video device:" : "&Audio device:", page));
        m_list = new QListWidget(page);
        m_list->setObjectName("devices");
        qobject_cast<QLabel*>(layout->itemAt(0)->widget())->setBuddy(m_list);
        layout->addWidget(m_list, 1);
        m_state = new QLabel(page);
        m_state->setObjectName("state");
        m_state->setWordWrap(true);
        layout->addWidget(m_state);

        bool isDevice = false;
        m_current.clear();
        const HRESULT hr = currentInput(encoder(), m_type, m_current, isDevice);
        for (const DeviceInfo& device : devicesOf(m_type)) {
            auto* item = new QListWidgetItem(QString::fromStdString(device.friendlyName), m_list);
            item->setData(Qt::UserRole, QString::fromStdString(device.friendlyName));
        }
        QString state;
        if (com::failed(hr))
            state = "The encoder's current " + QString(kind()) + " source cannot be read.";
        else if (m_current.empty())
            state = "No " + QString(kind()) + " device is chosen yet.";
        else if (!isDevice)
            state = "Recording from \"" + QString::fromStdString(m_current) + "\", not a device.";
        else
            state = "In use: " + QString::fromStdString(m_current);
        if (isDevice && !m_current.empty()) {
            const QString current = QString::fromStdString(m_current);
            QListWidgetItem* found = nullptr;
            for (int i = 0; i < m_list->count() && !found; ++i)
                if (m_list->item(i)->data(Qt::UserRole).toString() == current)
                    found = m_list->item(i);
            if (!found) {
                found = new QListWidgetItem(current + " (not connected)", m_list);
                found->setData(Qt::UserRole, current);
            }
            m_list->setCurrentItem(found);
        } else {
            m_current.clear(); // nothing chosen that a selection could repeat
        }
        if (m_list->count() == 0)
            state = "No " + QString(kind()) + " capture device is connected.";
        m_state->setText(state);
    }

    HRESULT applyChanges() override {
        QListWidgetItem* chosen = m_list ? m_list->currentItem() : nullptr;
        if (!chosen)
            return com::S_OK;
        const std::string name = chosen->data(Qt::UserRole).toString().toStdString();
        if (name == m_current)
            return com::S_OK;
        const HRESULT hr = setDeviceInput(encoder(), m_type, name);
        if (com::succeeded(hr)) {
            m_current = name;
            m_state->setText("In use: " + QString::fromStdString(name));
        }
        return hr;
    }

    int32_t m_type;
    QPointer<QListWidget> m_list;
    QPointer<QLabel> m_state;
    std::string m_current; // the device the group records from, "" when none
};

} // namespace

IEncoderPage* newVideoSourcePage() {
    return new SourcePage(kSourceTypeVideo);
}
IEncoderPage* newAudioSourcePage() {
    return new SourcePage(kSourceTypeAudio);
}

} // namespace kerris::encoder::pages
