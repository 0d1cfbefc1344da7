// The broadcast and file objects of the encoder.
#include "platform/encoder/outputs.h"

#include "platform/encoder/slot_support.h"

namespace kerris::encoder {

namespace {
bool validProtocol(int32_t protocol) {
    return protocol >= 0;
}
} // namespace

HRESULT Broadcast::get_PortNumber(int32_t protocol, int32_t* port) {
    if (!port)
        return missingResult(IBroadcast::kIid);
    if (!validProtocol(protocol))
        return com::fail(com::E_INVALIDARG, IBroadcast::kIid,
                         "There is no broadcast protocol " + std::to_string(protocol));
    auto it = m_ports.find(protocol);
    *port = it == m_ports.end() ? 0 : it->second;
    return com::S_OK;
}

HRESULT Broadcast::put_PortNumber(int32_t protocol, int32_t port) {
    return guardedSlot(IBroadcast::kIid, [&] {
        if (!validProtocol(protocol))
            return com::fail(com::E_INVALIDARG, IBroadcast::kIid,
                             "There is no broadcast protocol " + std::to_string(protocol));
        if (port < 1 || port > 65535)
            return com::fail(com::E_INVALIDARG, IBroadcast::kIid,
                             "The port number " + std::to_string(port) +
                                 " is not between 1 and 65535");
        m_ports[protocol] = port;
        return com::S_OK;
    });
}

HRESULT OutputFile::get_LocalFileName(BSTR* path) {
    return guardedSlot(IFile::kIid, [&] {
        return path ? putText(IFile::kIid, path, m_path) : missingResult(IFile::kIid);
    });
}

HRESULT OutputFile::put_LocalFileName(BSTR path) {
    return guardedSlot(IFile::kIid, [&] {
        std::string text = textOf(path);
        if (text.find('\0') != std::string::npos)
            return com::fail(com::E_INVALIDARG, IFile::kIid,
                             "The file name holds a character no file name can have");
        m_path = std::move(text);
        return com::S_OK;
    });
}

} // namespace kerris::encoder
