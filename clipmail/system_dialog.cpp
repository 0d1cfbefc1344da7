// The configuration dialog and its host control.
#include "clipmail/system_dialog.h"

#include "clipmail/com_calls.h"
#include "clipmail/control_ids.h"
#include "clipmail/skin_widgets.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace kerris::clipmail {

using com::ComPtr;
using com::failed;
using namespace encoder;

namespace {

// The host's rectangle in template 131 (the pages need about this much room).
constexpr QSize kHostSize(480, 360);

} // namespace

SystemDialog::SystemDialog(IEncoder* encoderObject, QWidget* parent) : QDialog(parent) {
    setObjectName("SystemDialog");
    setWindowTitle("System");
    m_encoder = ComPtr<IEncoder>::share(encoderObject);

    m_hostPlace = new QWidget(this);
    setControlId(m_hostPlace, kIdPropShell);
    m_hostPlace->setMinimumSize(kHostSize);
    m_ok = new QPushButton("OK", this);
    setControlId(m_ok, kIdOk);
    m_ok->setDefault(true);
    m_help = new QPushButton("Help", this);
    setControlId(m_help, kIdHelp);
    connect(m_ok, &QPushButton::clicked, this, &SystemDialog::OnOK);
    connect(m_help, &QPushButton::clicked, this, &SystemDialog::OnHelp);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_help);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_hostPlace, 1);
    layout->addLayout(buttons);

    // Initialisation: the pages in their order, the encoder given to the host before them.
    if (m_host.create(m_hostPlace, kSystemHostInitData))
        m_shell = m_host.shellInterface();
    if (!m_shell)
        return;
    ComPtr<IUnknown> pages[4];
    const GUID* classes[] = {&CLSID_Page1, &CLSID_Page2, &CLSID_Page3, &CLSID_Page4};
    for (int i = 0; i < 4; ++i)
        pages[i] = createObject<IUnknown>(*classes[i]);
    m_shell->put_Object(m_encoder.get());
    for (const ComPtr<IUnknown>& page : pages)
        if (page)
            m_shell->AddPage(page.get());
    // The host keeps its own references to the pages.
    discardErrorInfo();
}

SystemDialog::~SystemDialog() {
    m_shell.reset();
    m_host.destroy();
}

QWidget* SystemDialog::control(int id) const {
    switch (id) {
    case kIdOk:
        return m_ok;
    case kIdHelp:
        return m_help;
    case kIdPropShell:
        return m_hostPlace;
    default:
        return nullptr;
    }
}

void SystemDialog::OnOK() {
    if (m_shell)
        m_shell->Apply();
    discardErrorInfo();
    m_shell.reset();
    m_encoder.reset();
    done(QDialog::Accepted);
}

void SystemDialog::OnHelp() {
    if (!m_shell)
        return;
    int32_t index = -1;
    if (failed(m_shell->get_CurrentPage(&index)))
        m_shell->ShowHelp(0);
    else if (index >= 0)
        m_shell->ShowHelp(index);
    discardErrorInfo();
}

void SystemDialog::reject() {}

void SystemDialog::closeEvent(QCloseEvent* event) {
    // Only OK ends the dialog; accept() closes through done(), never through here.
    event->ignore();
}

} // namespace kerris::clipmail
