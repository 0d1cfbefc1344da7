// The profile page: the encoder's profiles by name with the chosen one's description, and
// Apply selecting it for the group in use.
#include "platform/encoder/pages/encoder_access.h"
#include "platform/encoder/pages/page_base.h"
#include "platform/encoder/pages/page_classes.h"

#include <QLabel>
#include <QListWidget>

namespace kerris::encoder::pages {

namespace {

constexpr char kHelp[] =
    "Profile\n\n"
    "A profile sets how clips are recorded: the picture size, the number of pictures a "
    "second, and the quality of picture and sound. Larger pictures and more pictures a "
    "second make larger files. The \"Murvane\" profile (320 x 240, 15 pictures a second, "
    "mono sound) suits clips sent by mail.\n\n"
    "The choice takes effect when you press OK; the preview then shows the new size.";

class ProfilePage final : public PageBase {
public:
    ProfilePage() : PageBase("Profile", kHelp) {}

private:
    void build(QWidget* page, QVBoxLayout* layout) override {
        auto* label = new QLabel("&Profile:", page);
        layout->addWidget(label);
        m_list = new QListWidget(page);
        m_list->setObjectName("profiles");
        label->setBuddy(m_list);
        layout->addWidget(m_list, 1);
        m_description = new QLabel(page);
        m_description->setObjectName("description");
        m_description->setWordWrap(true);
        layout->addWidget(m_description);

        m_current.clear();
        const HRESULT listed = listProfiles(encoder(), m_profiles);
        const HRESULT current = currentProfileName(encoder(), m_current);
        for (const ProfileEntry& entry : m_profiles)
            new QListWidgetItem(QString::fromStdString(entry.name), m_list);
        QObject::connect(m_list.data(), &QListWidget::currentRowChanged, m_description.data(),
                         [this](int row) { describe(row); });
        for (size_t i = 0; i < m_profiles.size(); ++i)
            if (m_profiles[i].name == m_current) {
                m_list->setCurrentRow(int(i));
                break;
            }
        if (com::failed(listed))
            m_description->setText("The encoder's profiles cannot be read.");
        else if (m_profiles.empty())
            m_description->setText("The encoder offers no profiles.");
        else if (com::failed(current))
            m_description->setText("The profile in use cannot be read.");
        else if (m_list->currentRow() < 0)
            m_description->setText("No profile is chosen yet.");
    }

    void describe(int row) {
        if (!m_description || row < 0 || size_t(row) >= m_profiles.size())
            return;
        const ProfileEntry& entry = m_profiles[size_t(row)];
        m_description->setText(entry.description.empty()
                                   ? QString::fromStdString(entry.name)
                                   : QString::fromStdString(entry.description));
    }

    HRESULT applyChanges() override {
        const int row = m_list ? m_list->currentRow() : -1;
        if (row < 0 || size_t(row) >= m_profiles.size())
            return com::S_OK;
        const ProfileEntry& chosen = m_profiles[size_t(row)];
        if (chosen.name == m_current)
            return com::S_OK;
        const HRESULT hr = selectProfile(encoder(), chosen.profile.get());
        if (com::succeeded(hr))
            m_current = chosen.name;
        return hr;
    }

    QPointer<QListWidget> m_list;
    QPointer<QLabel> m_description;
    std::vector<ProfileEntry> m_profiles;
    std::string m_current;
};

} // namespace

IEncoderPage* newProfilePage() {
    return new ProfilePage();
}

} // namespace kerris::encoder::pages
