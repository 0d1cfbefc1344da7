// The encoder's outputs: the broadcast object (port numbers per protocol, kept and saved; this
// encoder serves nothing over the network) and the file object (the file a run records into).
#pragma once

#include "platform/encoder/encoder_interfaces.h"

#include "platform/com/com_object.h"

#include <map>
#include <string>

namespace kerris::encoder {

class Broadcast final : public com::ComObject<IBroadcast> {
public:
    // Protocol 0 or more, port 1-65535. A protocol never set reads as port 0.
    HRESULT get_PortNumber(int32_t protocol, int32_t* port) override;
    HRESULT put_PortNumber(int32_t protocol, int32_t port) override;

    const std::map<int32_t, int32_t>& ports() const { return m_ports; }
    void setPorts(std::map<int32_t, int32_t> ports) { m_ports = std::move(ports); }

private:
    std::map<int32_t, int32_t> m_ports;
};

class OutputFile final : public com::ComObject<IFile> {
public:
    HRESULT get_LocalFileName(BSTR* path) override;
    // Any path; whether it can be written shows when the encoder starts.
    HRESULT put_LocalFileName(BSTR path) override;

    const std::string& path() const { return m_path; }
    void setPath(std::string path) { m_path = std::move(path); }

private:
    std::string m_path;
};

} // namespace kerris::encoder
