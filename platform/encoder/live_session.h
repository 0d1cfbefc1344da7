// The encoder's current run, shared by the encoder, its statistics objects and the views that
// show its video: the capture session while one exists, and what the last one left behind.
#pragma once

#include "platform/encoder/capture_session.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kerris::encoder {

class LiveSession {
public:
    // Takes over a started session (the previous one must have been ended).
    void begin(std::unique_ptr<CaptureSession> session);
    // Ends the run: the file is finished, the statistics of the run are kept for reading.
    // Does nothing without a session.
    void end();

    // True while a session captures. A session that a device ended by itself is not running;
    // failure() then says why until the next begin().
    bool running() const;
    bool hasSession() const;
    std::string failure() const;

    SessionStatistics statistics() const;
    // As CaptureSession::latestFrame; 0 without a session.
    uint64_t latestFrame(uint64_t known, std::vector<uint32_t>& pixels, int& width,
                         int& height) const;

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<CaptureSession> m_session;
    SessionStatistics m_lastStatistics;
    std::string m_lastFailure;
};

} // namespace kerris::encoder
