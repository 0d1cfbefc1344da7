// The encoder's settings file parser under libFuzzer: any bytes as a settings file; whatever
// parses is formatted and parsed back to the same settings, and a refused text always says why.
#include "platform/encoder/settings_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kerris::encoder;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    EncoderSettings settings;
    std::string reason;
    if (!parseSettings(text, settings, reason)) {
        if (reason.empty() || !(settings == EncoderSettings{}))
            std::abort(); // a refusal names its reason and leaves the settings alone
        return 0;
    }
    const std::string formatted = formatSettings(settings);
    EncoderSettings again;
    std::string why;
    if (!parseSettings(formatted, again, why) || !(again == settings) ||
        formatSettings(again) != formatted)
        std::abort();
    return 0;
}
