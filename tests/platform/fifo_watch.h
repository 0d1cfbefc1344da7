// For tests of code that must never wait on a FIFO: a watchman that, when the code under test
// has not finished in time, opens the FIFO for writing and closes it, which releases a reader
// stuck in open() or read(). The test then fails instead of hanging.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace kerris::test {

class FifoWatch {
public:
    explicit FifoWatch(std::string fifo,
                       std::chrono::milliseconds patience = std::chrono::milliseconds(3000))
        : m_fifo(std::move(fifo)), m_thread([this, patience] { watch(patience); }) {}
    ~FifoWatch() { finish(); }
    FifoWatch(const FifoWatch&) = delete;
    FifoWatch& operator=(const FifoWatch&) = delete;

    // The code under test returned; true when it did so without being released.
    bool finish() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        return !m_released;
    }

private:
    void watch(std::chrono::milliseconds patience) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, patience, [this] { return m_done; }))
            return;
        // Keep releasing until the code under test returns: it may open the FIFO again.
        while (!m_done) {
            const int fd = ::open(m_fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                m_released = true;
                ::close(fd);
            }
            m_wake.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_done; });
        }
    }

    std::string m_fifo;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<bool> m_released{false};
    std::thread m_thread;
};

} // namespace kerris::test
