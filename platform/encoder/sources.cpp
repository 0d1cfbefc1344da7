// Sources and the preview collection of a video source.
#include "platform/encoder/sources.h"

#include "platform/encoder/slot_support.h"
#include "platform/encoder/view.h"

#include <atomic>

namespace kerris::encoder {

namespace {
// Cookies are unique in the process, not per preview: a view keeps its bindings by cookie, and
// one view may be in the previews of two encoders (an old one not yet released).
std::atomic<int32_t> g_nextCookie{1};
} // namespace

// ---- PreviewCollection ----

PreviewCollection::~PreviewCollection() {
    RemoveAll();
}

HRESULT PreviewCollection::get_Count(int32_t* count) {
    if (!count)
        return missingResult(IPreviewCollection::kIid);
    *count = int32_t(m_views.size());
    return com::S_OK;
}

HRESULT PreviewCollection::Add(IUnknown* view, int32_t* cookie) {
    const GUID& iid = IPreviewCollection::kIid;
    return guardedSlot(iid, [&] {
        if (!cookie)
            return missingResult(iid);
        if (!view)
            return com::fail(com::E_INVALIDARG, iid, "No view was given to the preview");
        com::ComPtr<IViewBinding> binding;
        if (com::failed(view->QueryInterface(IViewBinding::kIid, binding.putVoid())) || !binding)
            return com::fail(com::E_INVALIDARG, iid,
                             "The object given to the preview is not a view of this encoder");
        int32_t given = g_nextCookie.load();
        do {
            if (given == INT32_MAX)
                return com::fail(com::E_FAIL, iid, "The preview cannot take more views");
        } while (!g_nextCookie.compare_exchange_weak(given, given + 1));
        m_views.emplace(given, com::ComPtr<IUnknown>::share(view));
        binding->attach(given, m_live);
        *cookie = given;
        return com::S_OK;
    });
}

HRESULT PreviewCollection::Remove(int32_t cookie) {
    auto it = m_views.find(cookie);
    if (it == m_views.end())
        return com::fail(com::E_INVALIDARG, IPreviewCollection::kIid,
                         "The preview has no view with the cookie " + std::to_string(cookie));
    com::ComPtr<IUnknown> view = std::move(it->second);
    m_views.erase(it);
    if (auto binding = view.as<IViewBinding>())
        binding->detach(cookie);
    return com::S_OK;
}

HRESULT PreviewCollection::RemoveAll() {
    auto views = std::move(m_views);
    m_views.clear();
    for (auto& [cookie, view] : views)
        if (auto binding = view.as<IViewBinding>())
            binding->detach(cookie);
    return com::S_OK;
}

// ---- Sources ----

template <class Interface> HRESULT SourceBase<Interface>::get_Type(int32_t* type) {
    if (!type)
        return missingResult(ISource::kIid);
    *type = this->type();
    return com::S_OK;
}

template <class Interface>
HRESULT SourceBase<Interface>::SetInput(BSTR input, BSTR scheme, BSTR initialisation) {
    return guardedSlot(ISource::kIid, [&] {
        SourceInput given{textOf(input), textOf(scheme), textOf(initialisation)};
        if (!given.input.empty() && deviceNameOf(given.input).empty())
            return com::fail(com::E_INVALIDARG, ISource::kIid,
                             "The input \"" + given.input +
                                 "\" is not a device: inputs are \"device://\" and the name of a "
                                 "capture device");
        m_input = std::move(given);
        return com::S_OK;
    });
}

template <class Interface>
HRESULT SourceBase<Interface>::GetInput(BSTR* input, BSTR* scheme, BSTR* initialisation) {
    return guardedSlot(ISource::kIid, [&] {
        if (!input || !scheme || !initialisation)
            return missingResult(ISource::kIid);
        com::Bstr a = com::Bstr::fromUtf8(m_input.input);
        com::Bstr b = com::Bstr::fromUtf8(m_input.scheme);
        com::Bstr c = com::Bstr::fromUtf8(m_input.initialisation);
        *input = a.detach();
        *scheme = b.detach();
        *initialisation = c.detach();
        return com::S_OK;
    });
}

template class SourceBase<ISource>;
template class SourceBase<IVideoSource>;

VideoSource::VideoSource(std::shared_ptr<LiveSession> live)
    : m_previews(com::ComPtr<PreviewCollection>::adopt(new PreviewCollection(std::move(live)))) {}

HRESULT VideoSource::get_PreviewCollection(IPreviewCollection** collection) {
    if (!collection)
        return missingResult(IVideoSource::kIid);
    *collection = handOut<IPreviewCollection>(m_previews);
    return com::S_OK;
}

} // namespace kerris::encoder
