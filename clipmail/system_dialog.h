// SystemDialog (template 131, caption "System"): the encoder's configuration. The property-page
// host fills the upper part with the encoder's four pages; OK applies them and is the only way
// out (Escape and the close box do nothing); Help shows the help of the current page.
#pragma once

#include "clipmail/property_page_host.h"

#include <QDialog>

class QPushButton;

namespace kerris::clipmail {

inline constexpr int kIdHelp = 1015;

class SystemDialog final : public QDialog {
    Q_OBJECT
public:
    // Takes a reference to the encoder and initialises: the host control, the four pages in
    // their order, the encoder given to the host before the pages are added.
    SystemDialog(encoder::IEncoder* encoder, QWidget* parent);
    ~SystemDialog() override;

    // OK (1): applies the pages, releases the host's interface and the encoder, ends with OK.
    void OnOK();
    // Help (1015): the help of the current page; page 0 when the host cannot tell, nothing
    // when it has no current page.
    void OnHelp();
    // The replaced cancel operation: nothing.
    void reject() override;

    QWidget* control(int id) const;
    bool hostCreated() const { return m_host.exists(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    PropertyPageHostControl m_host;
    QWidget* m_hostPlace = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_help = nullptr;
    com::ComPtr<encoder::IPropertyPageHost> m_shell;
    com::ComPtr<encoder::IEncoder> m_encoder;
};

} // namespace kerris::clipmail
