// The sound server connection with a bounded wait on every step.
#include "platform/encoder/engine/pulse_connection.h"

#include "platform/encoder/engine/session_clock.h"

#include <algorithm>

namespace kerris::encoder::engine {

PulseConnection::PulseConnection() {
    m_loop = pa_mainloop_new();
    if (m_loop)
        m_context = pa_context_new(pa_mainloop_get_api(m_loop), "Kerris encoder");
}

PulseConnection::~PulseConnection() {
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_loop)
        pa_mainloop_free(m_loop);
}

bool PulseConnection::connect(std::string& error) {
    if (!m_context) {
        error = "the sound server cannot be reached";
        return false;
    }
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        error = errorText();
        return false;
    }
    const int64_t deadline = monotonicNow() + kSoundServerTimeoutNs;
    while (pa_context_get_state(m_context) != PA_CONTEXT_READY) {
        const int64_t left = deadline - monotonicNow();
        if (!alive() || left <= 0 || !iterate(left)) {
            error = alive() ? "the sound server does not answer" : errorText();
            return false;
        }
    }
    return true;
}

bool PulseConnection::iterate(int64_t timeoutNs) {
    if (!m_loop)
        return false;
    // At least a microsecond: 0 would be a poll that never waits, -1 one that never ends.
    const int timeoutUs = static_cast<int>(std::clamp<int64_t>(timeoutNs / 1000, 1, 1000000));
    return pa_mainloop_prepare(m_loop, timeoutUs) >= 0 && pa_mainloop_poll(m_loop) >= 0 &&
           pa_mainloop_dispatch(m_loop) >= 0;
}

bool PulseConnection::alive() const {
    if (!m_context)
        return false;
    const pa_context_state_t state = pa_context_get_state(m_context);
    return state != PA_CONTEXT_FAILED && state != PA_CONTEXT_TERMINATED;
}

std::string PulseConnection::errorText() const {
    return m_context ? pa_strerror(pa_context_errno(m_context)) : "no sound server connection";
}

} // namespace kerris::encoder::engine
