// The one clock of a recording: nanoseconds of CLOCK_MONOTONIC since the session started, and
// the mapping of a device's own timestamps onto it.
#pragma once

#include <cstdint>

namespace kerris::encoder::engine {

inline constexpr int64_t kNanosecondsPerSecond = 1000000000;

// CLOCK_MONOTONIC and CLOCK_REALTIME now, in nanoseconds.
int64_t monotonicNow();
int64_t realtimeNow();

// A device timestamp (nanoseconds on the device's clock) on the session clock. Devices stamp
// either with CLOCK_MONOTONIC (V4L2) or with the wall clock (the sound server and ALSA inputs
// of libavdevice); which one is told by the clock the stamp lies nearer to, read at
// `monotonic` / `realtime` (the same instant). A stamp that fits neither clock within
// `kMaxDeviceSkewNs` of now is not trusted: the result is then `now` on the session clock.
inline constexpr int64_t kMaxDeviceSkewNs = 2 * kNanosecondsPerSecond;
int64_t mapDeviceTime(int64_t deviceNs, int64_t monotonic, int64_t realtime, int64_t origin);

class SessionClock {
public:
    SessionClock() : m_origin(monotonicNow()) {}
    // Makes now time 0 (the session calls it as its threads start).
    void restart() { m_origin = monotonicNow(); }
    int64_t now() const { return monotonicNow() - m_origin; }
    int64_t origin() const { return m_origin; }
    // Sleeps until `time` on this clock (returns at once when it has passed).
    void sleepUntil(int64_t time) const;
    // A device's timestamp in microseconds (the unit libavdevice gives) on this clock.
    int64_t fromDeviceMicroseconds(int64_t deviceUs) const;

private:
    int64_t m_origin;
};

} // namespace kerris::encoder::engine
