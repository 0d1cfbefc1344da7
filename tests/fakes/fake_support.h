// What the fake transport and colour libraries share: the call log and scripted failures.
#pragma once

#include "tests/fakes/fake_call.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace kerris::fakes {

// Failures scripted per entry point: on every call, or on the n-th call from the time it was
// scripted.
class FailureScript {
public:
    void reset() {
        m_always.clear();
        m_nth.clear();
        m_calls.clear();
    }
    void failAlways(const char* name, uint32_t status) {
        if (status)
            m_always[name] = status;
        else
            m_always.erase(name);
    }
    void failNth(const char* name, uint32_t n, uint32_t status) {
        m_nth[name][m_calls[name] + n] = status;
    }
    // Counts the call; its scripted failure or 0.
    uint32_t next(const char* name) {
        uint64_t call = ++m_calls[name];
        auto nth = m_nth.find(name);
        if (nth != m_nth.end()) {
            auto hit = nth->second.find(call);
            if (hit != nth->second.end()) {
                uint32_t status = hit->second;
                nth->second.erase(hit);
                return status;
            }
        }
        auto always = m_always.find(name);
        return always == m_always.end() ? 0 : always->second;
    }
    uint64_t calls(const char* name) const {
        auto it = m_calls.find(name);
        return it == m_calls.end() ? 0 : it->second;
    }

private:
    std::map<std::string, uint32_t> m_always;
    std::map<std::string, std::map<uint64_t, uint32_t>> m_nth;
    std::map<std::string, uint64_t> m_calls;
};

class CallLog {
public:
    // Appends a call; returns it so the fake can add data and the result.
    FakeCall& add(const char* name, std::initializer_list<uint32_t> args) {
        FakeCall call{};
        std::strncpy(call.name, name, sizeof call.name - 1);
        size_t i = 0;
        for (uint32_t a : args) {
            if (i < 6)
                call.args[i++] = a;
        }
        m_calls.push_back(call);
        return m_calls.back();
    }
    static void setData(FakeCall& call, const void* data, uint32_t length) {
        if (!data)
            return;
        call.dataLength =
            length < uint32_t(kFakeCallDataSize) ? length : uint32_t(kFakeCallDataSize);
        std::memcpy(call.data, data, call.dataLength);
    }
    uint32_t count() const { return uint32_t(m_calls.size()); }
    int entry(uint32_t i, FakeCall* out) const {
        if (i >= m_calls.size() || !out)
            return 0;
        *out = m_calls[i];
        return 1;
    }
    void clear() { m_calls.clear(); }

private:
    std::vector<FakeCall> m_calls;
};

} // namespace kerris::fakes
