// The encoder's current run, shared by the encoder, statistics objects and views.
#include "platform/encoder/live_session.h"

namespace kerris::encoder {

void LiveSession::begin(std::unique_ptr<CaptureSession> session) {
    std::unique_ptr<CaptureSession> previous;
    {
        std::lock_guard lock(m_mutex);
        previous = std::move(m_session);
        m_session = std::move(session);
        m_lastStatistics = {};
        m_lastFailure.clear();
    }
    // Outside the lock: finishing a file takes a while and views keep polling meanwhile.
    if (previous)
        previous->stop();
}

void LiveSession::end() {
    std::unique_ptr<CaptureSession> session;
    {
        std::lock_guard lock(m_mutex);
        session = std::move(m_session);
    }
    if (!session)
        return;
    session->stop();
    std::lock_guard lock(m_mutex);
    m_lastStatistics = session->statistics();
    m_lastFailure = session->failure();
}

bool LiveSession::running() const {
    std::lock_guard lock(m_mutex);
    return m_session && m_session->running();
}

bool LiveSession::hasSession() const {
    std::lock_guard lock(m_mutex);
    return m_session != nullptr;
}

std::string LiveSession::failure() const {
    std::lock_guard lock(m_mutex);
    return m_session ? m_session->failure() : m_lastFailure;
}

SessionStatistics LiveSession::statistics() const {
    std::lock_guard lock(m_mutex);
    return m_session ? m_session->statistics() : m_lastStatistics;
}

uint64_t LiveSession::latestFrame(uint64_t known, std::vector<uint32_t>& pixels, int& width,
                                  int& height) const {
    std::lock_guard lock(m_mutex);
    return m_session ? m_session->latestFrame(known, pixels, width, height) : 0;
}

} // namespace kerris::encoder
