// What every page shares: its title and help, activation in a parent window on an encoder,
// and Apply only while it is active.
#pragma once

#include "platform/com/com_object.h"
#include "platform/encoder/encoder_interfaces.h"

#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>

#include <string>

namespace kerris::encoder::pages {

class PageBase : public com::ComObject<IEncoderPage> {
public:
    HRESULT get_Title(BSTR* title) override;
    // The parent must be a live window; the encoder may be null (the page then shows nothing
    // chosen and its Apply fails once there is something to write).
    HRESULT Activate(HWND parent, IUnknown* encoder) override;
    HRESULT Deactivate() override;
    // S_OK without a call when the page is not active.
    HRESULT Apply() override;
    HRESULT get_HelpText(BSTR* text) override;

protected:
    PageBase(std::string title, std::string help)
        : m_title(std::move(title)), m_help(std::move(help)) {}
    ~PageBase() override;

    // Fills the page's widget (it has a vertical layout) from the encoder; what should take
    // up the spare height gets the layout's stretch.
    virtual void build(QWidget* page, QVBoxLayout* layout) = 0;
    // Writes the user's choices; called only while the page is active.
    virtual HRESULT applyChanges() = 0;

    IEncoder* encoder() const { return m_encoder.get(); }

private:
    std::string m_title;
    std::string m_help;
    QPointer<QWidget> m_widget;
    com::ComPtr<IEncoder> m_encoder;
};

// A failing page call: sets the error information and returns hr.
HRESULT pageFailure(HRESULT hr, const std::string& description);

} // namespace kerris::encoder::pages
