// Activation, deactivation and the texts of a page.
#include "platform/encoder/pages/page_base.h"

#include <QVBoxLayout>

namespace kerris::encoder::pages {

namespace {

HRESULT giveText(const std::string& text, BSTR* out) {
    if (!out)
        return com::E_POINTER;
    *out = com::Bstr::fromUtf8(text).detach();
    return com::S_OK;
}

} // namespace

HRESULT pageFailure(HRESULT hr, const std::string& description) {
    return com::fail(hr, IEncoderPage::kIid, description);
}

PageBase::~PageBase() {
    delete m_widget.data();
}

HRESULT PageBase::get_Title(BSTR* title) {
    return giveText(m_title, title);
}

HRESULT PageBase::get_HelpText(BSTR* text) {
    return giveText(m_help, text);
}

HRESULT PageBase::Activate(HWND parentHandle, IUnknown* encoderObject) {
    auto* parent = static_cast<QWidget*>(KerrisWindowFromHandle(parentHandle));
    if (!parent)
        return pageFailure(com::E_INVALIDARG,
                           "The property page \"" + m_title + "\" has no window to appear in");
    com::ComPtr<IEncoder> chosen;
    if (encoderObject &&
        com::failed(encoderObject->QueryInterface(IEncoder::kIid, chosen.putVoid())))
        return pageFailure(com::E_NOINTERFACE, "The object given to the property page \"" +
                                                   m_title + "\" is not an encoder");
    Deactivate();
    m_encoder = chosen;
    auto* page = new QWidget(parent);
    page->setObjectName(QString::fromStdString(m_title));
    auto* layout = new QVBoxLayout(page);
    build(page, layout);
    if (QLayout* around = parent->layout())
        around->addWidget(page);
    else {
        auto* fill = new QVBoxLayout(parent);
        fill->setContentsMargins(0, 0, 0, 0);
        fill->addWidget(page);
    }
    page->show();
    m_widget = page;
    return com::S_OK;
}

HRESULT PageBase::Deactivate() {
    delete m_widget.data();
    m_widget = nullptr;
    m_encoder.reset();
    return com::S_OK;
}

HRESULT PageBase::Apply() {
    if (!m_widget)
        return com::S_OK;
    return applyChanges();
}

} // namespace kerris::encoder::pages
