// A connection to the sound server driven by a main loop of its own, so that every wait on the
// server has a limit: a server that stops answering (stopped, not gone) never holds the caller.
#pragma once

#include <pulse/pulseaudio.h>

#include <cstdint>
#include <string>

namespace kerris::encoder::engine {

// How long opening waits for the server before it gives up.
inline constexpr int64_t kSoundServerTimeoutNs = 1000000000;

class PulseConnection {
public:
    PulseConnection();
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Connects without starting a server; false (with `error`) when none is ready within
    // kSoundServerTimeoutNs.
    bool connect(std::string& error);
    // Runs the loop once, waiting at most `timeoutNs` for the server; false when the loop failed.
    bool iterate(int64_t timeoutNs);
    // False once the connection failed or ended.
    bool alive() const;
    // The server's last error as a sentence.
    std::string errorText() const;

    pa_context* context() const { return m_context; }

private:
    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
};

} // namespace kerris::encoder::engine
