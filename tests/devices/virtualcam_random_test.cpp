// Random command records, payloads and reads against both generations: every answer must be a
// known status and nothing may be written outside the record's buffer (run under the sanitizers).
#include "tests/devices/virtualcam_fixture.h"

#include <random>
#include <set>

namespace vcamtest {
namespace {

using RandomCommands = VirtualCameraTest;

TEST_F(RandomCommands, EveryAnswerIsAKnownStatusAndStaysInItsBuffer) {
    const std::set<uint32_t> known{0,      0x1003, 0x1004, 0x2003, 0x2004, 0x2007,
                                   0x2008, 0x2009, 0x200A, 0x200B, 0x2012, 0x2014};
    for (uint32_t generation : {0u, 1u}) {
        SCOPED_TRACE(generation);
        setDword("Generation", generation);
        uint32_t h = open(usb);
        std::mt19937 random(1234 + generation);
        auto pick = [&](uint32_t n) { return uint32_t(random() % n); };
        for (int i = 0; i < 20000; ++i) {
            // Mostly real request codes, some anything; small lengths with a guard zone behind.
            static constexpr uint8_t kCodes[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                                 0x08, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86,
                                                 0x87, 0x88, 0x8A, 0x8B, 0x8D, 0x8F, 0x90};
            const uint8_t request = pick(8) ? kCodes[pick(sizeof kCodes)] : uint8_t(pick(256));
            // Grabs and index resets change the store; keep them rare so pictures remain.
            if ((request == 0x05 || request == 0x06) && pick(50))
                continue;
            const uint32_t length = pick(4) ? pick(20) : pick(300);
            Command c(request, uint8_t(pick(4) ? pick(4) : pick(256)), uint8_t(pick(8)),
                      length + 16);
            for (auto& b : c.data)
                b = uint8_t(random());
            if (request == 0x03 && pick(2)) { // a plausible bulk request
                const uint32_t address = pick(0x80000), size = pick(5000);
                for (int k = 0; k < 4; ++k) {
                    c.data[size_t(k)] = uint8_t(address >> (24 - 8 * k));
                    c.data[size_t(4 + k)] = uint8_t(size >> (24 - 8 * k));
                }
            }
            const std::vector<uint8_t> guard(c.data.begin() + length, c.data.end());
            c.record.length = length;
            c.record.data = length ? c.data.data() : nullptr;
            const uint32_t status = run(h, c);
            ASSERT_TRUE(known.count(status))
                << std::hex << "request " << int(request) << " status " << status;
            ASSERT_EQ(std::vector<uint8_t>(c.data.begin() + length, c.data.end()), guard)
                << "request " << int(request) << " wrote past its buffer";
            if (pick(3) == 0) {
                std::vector<uint8_t> buffer(pick(6000) + 1);
                uint32_t got = 0xdeadbeef;
                const uint32_t read = usb.read(h, buffer.data(), uint32_t(buffer.size()), &got, 0);
                ASSERT_TRUE(known.count(read)) << std::hex << read;
                ASSERT_LE(got, buffer.size());
            }
        }
        close(usb, h);
    }
}

} // namespace
} // namespace vcamtest
