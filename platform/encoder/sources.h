// A source group's sources (one input each, "device://" + a device's friendly name) and the
// preview collection of a video source, in which the views that show its video are placed.
#pragma once

#include "platform/encoder/encoder_interfaces.h"
#include "platform/encoder/live_session.h"

#include "platform/com/com_object.h"

#include <map>
#include <memory>
#include <string>

namespace kerris::encoder {

// The views placed in a video source's preview; each gets a cookie, counting from 1.
class PreviewCollection final : public com::ComObject<IPreviewCollection> {
public:
    explicit PreviewCollection(std::shared_ptr<LiveSession> live) : m_live(std::move(live)) {}

    HRESULT get_Count(int32_t* count) override;
    HRESULT Add(IUnknown* view, int32_t* cookie) override;
    HRESULT Remove(int32_t cookie) override;
    HRESULT RemoveAll() override;

protected:
    ~PreviewCollection() override;

private:
    std::shared_ptr<LiveSession> m_live;
    std::map<int32_t, com::ComPtr<IUnknown>> m_views;
};

// What a source keeps: its input as the program set it.
struct SourceInput {
    std::string input;
    std::string scheme;
    std::string initialisation;
};

template <class Interface> class SourceBase : public com::ComObject<Interface> {
public:
    HRESULT get_Type(int32_t* type) override;
    HRESULT SetInput(BSTR input, BSTR scheme, BSTR initialisation) override;
    HRESULT GetInput(BSTR* input, BSTR* scheme, BSTR* initialisation) override;

    virtual int32_t type() const = 0;
    const SourceInput& input() const { return m_input; }
    void setInput(SourceInput input) { m_input = std::move(input); }

private:
    SourceInput m_input;
};

class AudioSource final : public SourceBase<ISource> {
public:
    int32_t type() const override { return kSourceTypeAudio; }
};

class VideoSource final : public SourceBase<IVideoSource> {
public:
    explicit VideoSource(std::shared_ptr<LiveSession> live);

    int32_t type() const override { return kSourceTypeVideo; }
    HRESULT get_PreviewCollection(IPreviewCollection** collection) override;

private:
    com::ComPtr<PreviewCollection> m_previews;
};

extern template class SourceBase<ISource>;
extern template class SourceBase<IVideoSource>;

} // namespace kerris::encoder
