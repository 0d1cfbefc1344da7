// The property-page host control: the pages it is given, as tabs of a QTabWidget that fills
// the window the control is attached to.
#include "platform/encoder/pages/page_classes.h"
#include "platform/encoder/pages/pages.h"

#include "platform/com/com_object.h"

#include <QEvent>
#include <QPointer>
#include <QTabWidget>

#include <string>
#include <vector>

namespace kerris::encoder::pages {

namespace {

using com::ComPtr;

HRESULT hostFailure(HRESULT hr, const std::string& description) {
    return com::fail(hr, IPropertyPageHost::kIid, description);
}

// Keeps a widget at the size of its parent, as a control fills its place in a dialog.
class FillParent final : public QObject {
public:
    FillParent(QWidget* parent, QWidget* child) : QObject(parent), m_child(child) {
        parent->installEventFilter(this);
        child->setGeometry(parent->rect());
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && m_child)
            m_child->setGeometry(static_cast<QWidget*>(watched)->rect());
        return false;
    }

private:
    QPointer<QWidget> m_child;
};

class PropertyPageHost final : public com::ComObject<IPropertyPageHost, IControlSite> {
public:
    ~PropertyPageHost() override {
        for (Page& page : m_pages)
            page.page->Deactivate();
        m_pages.clear();
        delete m_fill.data();
        delete m_tabs.data();
    }

    // ---- IControlSite
    HRESULT Attach(HWND parentHandle, const uint8_t* initData, uint32_t size) override {
        if (!initData && size > 0)
            return com::E_POINTER;
        // The stored initialisation data (the dialog template's) holds nothing this control
        // needs: it always fills its place.
        auto* parent = static_cast<QWidget*>(KerrisWindowFromHandle(parentHandle));
        if (!parent)
            return hostFailure(com::E_INVALIDARG, "The property pages have no window to appear in");
        if (m_parent == parent)
            return com::S_OK;
        Detach();
        if (m_tabs)
            m_tabs->setParent(parent);
        else
            m_tabs = makeTabs(parent);
        m_parent = parent;
        m_fill = new FillParent(parent, m_tabs);
        m_tabs->show(); // visible with its parent: a hidden parent keeps it hidden
        return com::S_OK;
    }

    HRESULT Detach() override {
        delete m_fill.data();
        m_fill = nullptr;
        if (m_tabs && m_parent) {
            m_tabs->hide();
            m_tabs->setParent(nullptr); // the pages wait, hidden, for the next Attach
        }
        m_parent = nullptr;
        return com::S_OK;
    }

    // ---- IPropertyPageHost
    HRESULT AddPage(IUnknown* object) override {
        if (!object)
            return hostFailure(com::E_POINTER, "No property page was given");
        Page page;
        if (com::failed(object->QueryInterface(IEncoderPage::kIid, page.page.putVoid())))
            return hostFailure(com::E_NOINTERFACE, "The object given is not a property page");
        BSTR title = nullptr;
        if (com::succeeded(page.page->get_Title(&title)))
            page.title = com::Bstr::adopt(title).utf8();
        if (page.title.empty())
            page.title = "Page " + std::to_string(m_pages.size() + 1);
        if (!m_tabs)
            m_tabs = makeTabs(nullptr);
        page.tab = new QWidget();
        m_tabs->addTab(page.tab, QString::fromStdString(page.title));
        const HRESULT hr = page.page->Activate(KerrisWindowHandle(page.tab), m_object.get());
        if (com::failed(hr)) {
            delete page.tab.data();
            return hr;
        }
        m_pages.push_back(std::move(page));
        return com::S_OK;
    }

    HRESULT get_PageCount(int32_t* count) override {
        if (!count)
            return com::E_POINTER;
        *count = int32_t(m_pages.size());
        return com::S_OK;
    }

    // The pages added so far are activated again on the new object.
    HRESULT put_Object(IUnknown* object) override {
        ComPtr<IUnknown> encoder;
        if (object) {
            ComPtr<IEncoder> check;
            if (com::failed(object->QueryInterface(IEncoder::kIid, check.putVoid())))
                return hostFailure(com::E_NOINTERFACE,
                                   "The object given to the property pages is not an encoder");
            encoder = ComPtr<IUnknown>::share(object);
        }
        m_object = encoder;
        HRESULT first = com::S_OK;
        for (Page& page : m_pages) {
            if (!page.tab)
                continue;
            const HRESULT hr = page.page->Activate(KerrisWindowHandle(page.tab), m_object.get());
            if (com::failed(hr) && com::succeeded(first))
                first = hr;
        }
        return first;
    }

    // Every page applies, even after one failed; the first failure is the result, with its
    // error information.
    HRESULT Apply() override {
        HRESULT first = com::S_OK;
        ComPtr<com::IErrorInfo> firstError;
        for (Page& page : m_pages) {
            const HRESULT hr = page.page->Apply();
            if (com::failed(hr) && com::succeeded(first)) {
                first = hr;
                GetErrorInfo(0, firstError.put());
            }
        }
        if (com::failed(first))
            SetErrorInfo(0, firstError.get());
        return first;
    }

    HRESULT get_CurrentPage(int32_t* index) override {
        if (!index)
            return com::E_POINTER;
        *index = m_tabs ? int32_t(m_tabs->currentIndex()) : -1;
        return com::S_OK;
    }

    HRESULT put_CurrentPage(int32_t index) override {
        if (index < 0 || size_t(index) >= m_pages.size())
            return noPage(index);
        m_tabs->setCurrentIndex(index);
        return com::S_OK;
    }

    HRESULT ShowHelp(int32_t index) override {
        if (index < 0 || size_t(index) >= m_pages.size())
            return noPage(index);
        const Page& page = m_pages[size_t(index)];
        BSTR text = nullptr;
        const HRESULT hr = page.page->get_HelpText(&text);
        if (com::failed(hr))
            return hr;
        QWidget* near = m_parent ? m_parent.data() : m_tabs.data();
        presentHelp(near, page.title, com::Bstr::adopt(text).utf8());
        return com::S_OK;
    }

private:
    struct Page {
        ComPtr<IEncoderPage> page;
        std::string title;
        QPointer<QWidget> tab; // the tab's widget, the page's parent window
    };

    static QTabWidget* makeTabs(QWidget* parent) {
        auto* tabs = new QTabWidget(parent);
        tabs->setObjectName("propertyPages");
        return tabs;
    }

    HRESULT noPage(int32_t index) const {
        return hostFailure(com::E_INVALIDARG, "There is no property page " + std::to_string(index) +
                                                  " (the host has " +
                                                  std::to_string(m_pages.size()) + ")");
    }

    std::vector<Page> m_pages;
    QPointer<QTabWidget> m_tabs;
    QPointer<QWidget> m_parent;
    QPointer<FillParent> m_fill;
    ComPtr<IUnknown> m_object;
};

} // namespace

com::IUnknown* createPropertyPageHost() {
    auto* host = new (std::nothrow) PropertyPageHost();
    return host ? static_cast<IPropertyPageHost*>(host) : nullptr;
}

} // namespace kerris::encoder::pages
