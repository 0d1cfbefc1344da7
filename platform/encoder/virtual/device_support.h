// What both virtual devices share: exclusive use through a lock file per user, and the
// registry settings that make a device stop delivering (a vanishing device, for tests).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kerris::encoder::virtualdev {

// The settings key of the virtual camera, shared with its still-picture side.
inline constexpr char kSettingsKey[] = "SOFTWARE\\Kerris\\VirtualCamera";
// Where the install step registers the devices: value name = friendly name.
inline constexpr char kDevicesKey[] = "SOFTWARE\\Kerris\\Encoder\\Devices";

// The folder of the lock files: $XDG_RUNTIME_DIR when set, else /tmp (where the file name
// carries the user id, see lockFilePath).
std::string lockFolder();
// "<folder>/kerris-camera-video.lock"; under /tmp "kerris-camera-video-<uid>.lock".
std::string lockFilePath(const std::string& baseName);

// An exclusive, non-blocking flock on a lock file, held until destruction. A second
// DeviceLock on the same file fails, in this process (another open file) or any other.
class DeviceLock {
public:
    DeviceLock() = default;
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;
    ~DeviceLock();

    // `kind` and `name` make the messages: "The video device "Kerris Camera" is in use by
    // another program". False with `error` set when the lock is held or cannot be made.
    bool acquire(const std::string& baseName, const std::string& kind, const std::string& name,
                 std::string& error);
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// The registry's "<valueName>" under kSettingsKey in milliseconds; 0 (never) when missing.
uint32_t stopAfterMilliseconds(const char* valueName);

// Tells when a device has to stop delivering: stopAfterMs after start() (0: never).
class StopClock {
public:
    explicit StopClock(uint32_t stopAfterMs)
        : m_opened(std::chrono::steady_clock::now()), m_stopAfterMs(stopAfterMs) {}
    // The device is open from now on (its preparation does not count).
    void start() { m_opened = std::chrono::steady_clock::now(); }
    // True from the moment the time has passed on, for good.
    bool stopped() {
        if (!m_stopped && m_stopAfterMs != 0 &&
            std::chrono::steady_clock::now() - m_opened >= std::chrono::milliseconds(m_stopAfterMs))
            m_stopped = true;
        return m_stopped;
    }

private:
    std::chrono::steady_clock::time_point m_opened;
    uint32_t m_stopAfterMs;
    bool m_stopped = false;
};

// Floor division and remainder, so that stream times before 0 fall into second -1.
inline int64_t floorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
inline int64_t floorMod(int64_t a, int64_t b) {
    return a - floorDiv(a, b) * b;
}

} // namespace kerris::encoder::virtualdev
