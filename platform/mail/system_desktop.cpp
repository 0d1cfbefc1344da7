// The desktop this process runs on: its environment, its programs and its session bus.
#include "platform/mail/hand_off.h"
#include "platform/mail/portal_email.h"
#include "platform/process/process.h"

#include <cstdlib>

namespace kerris::mail {

namespace {

constexpr size_t kOutputLimit = 64 * 1024;
constexpr int kQueryTimeoutMs = 10000;

class SystemDesktop final : public Desktop {
public:
    std::optional<std::string> variable(const std::string& name) const override {
        const char* value = std::getenv(name.c_str());
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    std::optional<std::string> readOutput(const std::string& program,
                                          const std::vector<std::string>& arguments) override {
        return process::readOutput(program, arguments, kOutputLimit, kQueryTimeoutMs);
    }
    bool start(const std::string& program, const std::vector<std::string>& arguments) override {
        return process::startDetached(program, arguments);
    }
    bool portalCompose(const Composition& message) override {
        std::optional<std::string> address = sessionBusAddress(*this);
        return address && portalComposeEmail(*address, message);
    }
    bool portalHasEmail() override {
        std::optional<std::string> address = sessionBusAddress(*this);
        return address && portalOffersEmail(*address);
    }
};

} // namespace

Desktop& systemDesktop() {
    static SystemDesktop desktop;
    return desktop;
}

} // namespace kerris::mail
