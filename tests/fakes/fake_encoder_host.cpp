// The fake property-page host control, its five pages, the system device enumerator with its
// monikers and property bags, and the class factories of the whole component.
#include "tests/fakes/fake_encoder_state.h"

#include <QPointer>
#include <QWidget>

#include <cstring>

namespace kerris::fakes::encoder {

namespace {

std::string hexBytes(const uint8_t* data, uint32_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (uint32_t i = 0; data && i < size; ++i) {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 15]);
    }
    return out;
}

std::string wideText(const char16_t* s) {
    if (!s)
        return "<null>";
    size_t n = 0;
    while (s[n])
        ++n;
    return utf8FromUtf16(std::u16string_view(s, n));
}

// ---- Pages ------------------------------------------------------------------------------------

// A page; its calls log its kind ("Page1") first.
class FakePage final : public FakeObject<IEncoderPage> {
public:
    explicit FakePage(const char* kind) : FakeObject(kind), m_kind(kind) {}

    HRESULT get_Title(BSTR* title) override {
        FAKE_CALL("IEncoderPage::get_Title", m_kind);
        if (!title)
            return call.finish(E_POINTER);
        return call.finish(giveText(m_kind, title));
    }
    HRESULT Activate(HWND parent, IUnknown* encoder) override {
        FAKE_CALL("IEncoderPage::Activate", m_kind, number(parent), object(encoder));
        if (!widgetOf(parent))
            return call.fail(E_INVALIDARG,
                             "The window handle " + number(parent) + " names no window");
        return call.finish(S_OK);
    }
    HRESULT Deactivate() override {
        FAKE_CALL("IEncoderPage::Deactivate", m_kind);
        return call.finish(S_OK);
    }
    HRESULT Apply() override {
        FAKE_CALL("IEncoderPage::Apply", m_kind);
        return call.finish(S_OK);
    }
    HRESULT get_HelpText(BSTR* helpText) override {
        FAKE_CALL("IEncoderPage::get_HelpText", m_kind);
        if (!helpText)
            return call.finish(E_POINTER);
        return call.finish(giveText("<p>Help of " + m_kind + "</p>", helpText));
    }

private:
    std::string m_kind;
};

// ---- Property-page host -----------------------------------------------------------------------

class FakeHost final : public FakeObject<IPropertyPageHost, IControlSite> {
public:
    FakeHost() : FakeObject("PropertyPageHost") {}
    ~FakeHost() override { delete m_widget.data(); }

    // IControlSite
    HRESULT Attach(HWND parent, const uint8_t* initData, uint32_t size) override {
        FAKE_CALL("IControlSite::Attach", number(parent), number(size), hexBytes(initData, size));
        QWidget* parentWidget = widgetOf(parent);
        if (!parentWidget)
            return call.fail(E_INVALIDARG,
                             "The window handle " + number(parent) + " names no window");
        delete m_widget.data();
        // A plain child filling the parent, so the host shows.
        m_widget = new QWidget(parentWidget);
        m_widget->setObjectName("FakePropertyPageHost");
        m_widget->setGeometry(parentWidget->rect());
        m_widget->show();
        return call.finish(S_OK);
    }
    HRESULT Detach() override {
        FAKE_CALL("IControlSite::Detach");
        delete m_widget.data();
        return call.finish(S_OK);
    }

    // IPropertyPageHost
    HRESULT AddPage(IUnknown* page) override {
        FAKE_CALL("IPropertyPageHost::AddPage", object(page));
        if (!page)
            return call.finish(E_POINTER);
        ComPtr<IEncoderPage> encoderPage;
        {
            InternalQuery internal;
            page->QueryInterface(IEncoderPage::kIid, encoderPage.putVoid());
        }
        if (!encoderPage)
            return call.fail(E_INVALIDARG, "The object is not a property page");
        m_pages.push_back(encoderPage);
        return call.finish(S_OK);
    }
    HRESULT get_PageCount(int32_t* count) override {
        FAKE_CALL("IPropertyPageHost::get_PageCount");
        if (!count)
            return call.finish(E_POINTER);
        *count = int32_t(m_pages.size());
        return call.finish(S_OK);
    }
    HRESULT put_Object(IUnknown* encoder) override {
        FAKE_CALL("IPropertyPageHost::put_Object", object(encoder));
        m_object = ComPtr<IUnknown>::share(encoder);
        return call.finish(S_OK);
    }
    HRESULT Apply() override {
        FAKE_CALL("IPropertyPageHost::Apply", number(int64_t(m_pages.size())));
        for (auto& page : m_pages) {
            HRESULT hr = page->Apply();
            if (failed(hr))
                return call.finish(hr);
        }
        return call.finish(S_OK);
    }
    HRESULT get_CurrentPage(int32_t* index) override {
        FAKE_CALL("IPropertyPageHost::get_CurrentPage");
        if (!index)
            return call.finish(E_POINTER);
        std::lock_guard lock(state().mutex);
        if (state().currentPage)
            *index = *state().currentPage;
        else
            *index = m_pages.empty() ? -1 : m_current;
        return call.finish(S_OK);
    }
    HRESULT put_CurrentPage(int32_t index) override {
        FAKE_CALL("IPropertyPageHost::put_CurrentPage", number(index));
        if (index < 0 || size_t(index) >= m_pages.size())
            return call.fail(E_INVALIDARG, "No page has the index " + number(index));
        m_current = index;
        return call.finish(S_OK);
    }
    HRESULT ShowHelp(int32_t pageIndex) override {
        FAKE_CALL("IPropertyPageHost::ShowHelp", number(pageIndex));
        if (pageIndex < 0 || size_t(pageIndex) >= m_pages.size())
            return call.fail(E_INVALIDARG, "No page has the index " + number(pageIndex));
        // The help is shown by the desktop's viewer; the fake only reads the page's text.
        Bstr help;
        HRESULT hr = m_pages[size_t(pageIndex)]->get_HelpText(help.put());
        return call.finish(failed(hr) ? hr : S_OK);
    }

private:
    QPointer<QWidget> m_widget;
    std::vector<ComPtr<IEncoderPage>> m_pages;
    ComPtr<IUnknown> m_object;
    int32_t m_current = 0;
};

// ---- System device enumerator -----------------------------------------------------------------

// A device's property bag: "FriendlyName" and "DevicePath" as BSTRs. Its calls log the
// device's friendly name first.
class FakePropertyBag final : public FakeObject<IPropertyBag> {
public:
    explicit FakePropertyBag(std::string name)
        : FakeObject("PropertyBag"), m_name(std::move(name)) {}

    HRESULT Read(const char16_t* name, VARIANT* value, IUnknown*) override {
        FAKE_CALL("IPropertyBag::Read", m_name, wideText(name),
                  value ? "vt " + number(value->vt) : std::string("null"));
        if (!name || !value)
            return call.finish(E_POINTER);
        // The caller prepares the VARIANT: empty, or asking for a text.
        if (value->vt != VT_EMPTY && value->vt != VT_BSTR)
            return call.fail(E_INVALIDARG, "The property can only be read as a text");
        const std::string property = wideText(name);
        std::string result;
        if (property == "FriendlyName")
            result = m_name;
        else if (property == "DevicePath")
            result = "device://" + m_name;
        else
            return call.fail(E_FAIL, "The device has no property \"" + property + "\"");
        BSTR b = Bstr::fromUtf8(result).detach();
        value->vt = VT_BSTR;
        value->bstrVal = b;
        return call.finish(S_OK);
    }
    HRESULT Write(const char16_t* name, VARIANT*) override {
        FAKE_CALL("IPropertyBag::Write", m_name, wideText(name));
        return call.finish(E_NOTIMPL);
    }

private:
    std::string m_name;
};

class FakeMoniker final : public FakeObject<IMoniker> {
public:
    explicit FakeMoniker(std::string name) : FakeObject("Moniker"), m_name(std::move(name)) {}

    HRESULT BindToStorage(IUnknown*, IMoniker*, const GUID& iid, void** object) override {
        const char* name = interfaceName(iid);
        FAKE_CALL("IMoniker::BindToStorage", m_name, name ? name : guidText(iid));
        if (!object)
            return call.finish(E_POINTER);
        if (!(iid == IPropertyBag::kIid)) {
            *object = nullptr;
            return call.finish(E_NOINTERFACE);
        }
        *object = static_cast<IPropertyBag*>(new FakePropertyBag(m_name));
        return call.finish(S_OK);
    }

private:
    std::string m_name;
};

class FakeEnumMoniker final : public FakeObject<IEnumMoniker> {
public:
    FakeEnumMoniker(std::string category, std::vector<std::string> names, size_t position = 0)
        : FakeObject("EnumMoniker"), m_category(std::move(category)), m_names(std::move(names)),
          m_position(position) {}

    HRESULT Next(uint32_t count, IMoniker** monikers, uint32_t* fetched) override {
        FAKE_CALL("IEnumMoniker::Next", m_category, number(count));
        if (!monikers)
            return call.finish(E_POINTER);
        if (count != 1 && !fetched)
            return call.finish(E_INVALIDARG);
        uint32_t n = 0;
        while (n < count && m_position < m_names.size())
            monikers[n++] = new FakeMoniker(m_names[m_position++]);
        if (fetched)
            *fetched = n;
        return call.finish(n == count ? S_OK : S_FALSE);
    }
    HRESULT Skip(uint32_t count) override {
        FAKE_CALL("IEnumMoniker::Skip", m_category, number(count));
        const size_t left = m_names.size() - m_position;
        m_position += std::min<size_t>(count, left);
        return call.finish(count <= left ? S_OK : S_FALSE);
    }
    HRESULT Reset() override {
        FAKE_CALL("IEnumMoniker::Reset", m_category);
        m_position = 0;
        return call.finish(S_OK);
    }
    HRESULT Clone(IEnumMoniker** copy) override {
        FAKE_CALL("IEnumMoniker::Clone", m_category);
        if (!copy)
            return call.finish(E_POINTER);
        *copy = new FakeEnumMoniker(m_category, m_names, m_position);
        return call.finish(S_OK);
    }

private:
    std::string m_category;
    std::vector<std::string> m_names;
    size_t m_position;
};

class FakeDeviceEnumerator final : public FakeObject<ICreateDevEnum> {
public:
    FakeDeviceEnumerator() : FakeObject("SystemDeviceEnum") {}

    HRESULT CreateClassEnumerator(const GUID& category, IEnumMoniker** enumerator,
                                  uint32_t flags) override {
        const bool video = category == CLSID_VideoInputDeviceCategory;
        const bool audio = category == CLSID_AudioInputDeviceCategory;
        const std::string name = video ? "video" : audio ? "audio" : guidText(category);
        FAKE_CALL("ICreateDevEnum::CreateClassEnumerator", name, number(flags));
        if (!enumerator)
            return call.finish(E_POINTER);
        std::vector<std::string> names;
        {
            std::lock_guard lock(state().mutex);
            if (video)
                names = state().videoDevices;
            else if (audio)
                names = state().audioDevices;
        }
        // A category without devices has no enumerator.
        if (names.empty()) {
            *enumerator = nullptr;
            return call.finish(S_FALSE);
        }
        *enumerator = new FakeEnumMoniker(name, std::move(names));
        return call.finish(S_OK);
    }
};

// ---- Factories --------------------------------------------------------------------------------

using Creator = IUnknown* (*)(const char* kind);

class FakeFactory final : public ComObject<IClassFactory> {
public:
    FakeFactory(const char* kind, Creator creator) : m_kind(kind), m_creator(creator) {}

    HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** object) override {
        const char* name = interfaceName(iid);
        Call call((std::string("create:") + m_kind).c_str(), {name ? name : guidText(iid)});
        if (!object)
            return call.finish(E_POINTER);
        *object = nullptr;
        if (auto failure = call.scriptedFailure())
            return *failure;
        if (outer)
            return call.finish(CLASS_E_NOAGGREGATION);
        auto created = ComPtr<IUnknown>::adopt(m_creator(m_kind));
        InternalQuery internal;
        return call.finish(created->QueryInterface(iid, object));
    }
    HRESULT LockServer(int32_t lock) override {
        if (lock)
            ++g_moduleReferences;
        else
            --g_moduleReferences;
        return S_OK;
    }

private:
    const char* m_kind;
    Creator m_creator;
};

struct FakeClass {
    const GUID* clsid;
    const char* kind;
    Creator creator;
};

const FakeClass kClasses[] = {
    {&CLSID_Encoder, "Encoder", [](const char*) { return newEncoder(); }},
    {&CLSID_View, "View", [](const char*) { return newView(); }},
    {&CLSID_ProfileDetailsService, "ProfileDetailsService",
     [](const char*) { return newProfileDetailsService(); }},
    {&CLSID_PropertyPageHost, "PropertyPageHost",
     [](const char*) { return newPropertyPageHost(); }},
    {&CLSID_PageMain, "PageMain", newPage},
    {&CLSID_Page1, "Page1", newPage},
    {&CLSID_Page2, "Page2", newPage},
    {&CLSID_Page3, "Page3", newPage},
    {&CLSID_Page4, "Page4", newPage},
    {&CLSID_SystemDeviceEnum, "SystemDeviceEnum",
     [](const char*) { return newSystemDeviceEnum(); }},
};

} // namespace

IUnknown* newPropertyPageHost() {
    return static_cast<IPropertyPageHost*>(new FakeHost);
}
IUnknown* newPage(const char* kind) {
    return new FakePage(kind);
}
IUnknown* newSystemDeviceEnum() {
    return new FakeDeviceEnumerator;
}

IClassFactory* createFactory(const GUID& clsid) {
    for (const auto& c : kClasses)
        if (*c.clsid == clsid)
            return new FakeFactory(c.kind, c.creator);
    return nullptr;
}

} // namespace kerris::fakes::encoder
