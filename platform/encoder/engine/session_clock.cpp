// The session clock on CLOCK_MONOTONIC and the mapping of device timestamps onto it.
#include "platform/encoder/engine/session_clock.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace kerris::encoder::engine {

namespace {

int64_t clockNow(clockid_t id) {
    timespec t{};
    clock_gettime(id, &t);
    return static_cast<int64_t>(t.tv_sec) * kNanosecondsPerSecond + t.tv_nsec;
}

} // namespace

int64_t monotonicNow() {
    return clockNow(CLOCK_MONOTONIC);
}
int64_t realtimeNow() {
    return clockNow(CLOCK_REALTIME);
}

int64_t mapDeviceTime(int64_t deviceNs, int64_t monotonic, int64_t realtime, int64_t origin) {
    const int64_t fromMonotonic = deviceNs - monotonic;
    const int64_t fromRealtime = deviceNs - realtime;
    const int64_t skew =
        std::llabs(fromMonotonic) <= std::llabs(fromRealtime) ? fromMonotonic : fromRealtime;
    if (std::llabs(skew) > kMaxDeviceSkewNs)
        return monotonic - origin;
    return monotonic + skew - origin;
}

void SessionClock::sleepUntil(int64_t time) const {
    timespec t{};
    const int64_t absolute = m_origin + time;
    t.tv_sec = static_cast<time_t>(absolute / kNanosecondsPerSecond);
    t.tv_nsec = static_cast<long>(absolute % kNanosecondsPerSecond);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

int64_t SessionClock::fromDeviceMicroseconds(int64_t deviceUs) const {
    const int64_t monotonic = monotonicNow();
    const int64_t realtime = realtimeNow();
    return mapDeviceTime(deviceUs * 1000, monotonic, realtime, m_origin);
}

} // namespace kerris::encoder::engine
