// The video size in a profile's details text.
#include "clipmail/encoder_session.h"

#include <gtest/gtest.h>

namespace kerris::clipmail {
namespace {

TEST(VideoSizeFromDetails, AfterVideoAndItsBracket) {
    struct Case {
        const char* details;
        std::optional<QSize> expected;
    };
    const Case cases[] = {
        {"Murvane: [Video] 320 x 240, 15 fps; [Audio] 22050 Hz mono", QSize(320, 240)},
        {"video]640X480", QSize(640, 480)},
        {"[VIDEO]   176   x   144 ", QSize(176, 144)},
        // The first "VIDEO" counts, and the first "]" after it.
        {"Audio] 1 x 1 [Video] 352 x 288 [Video] 99 x 99", QSize(352, 288)},
        {"[Video codec] 320 x 240 ]", QSize(320, 240)},
        {"Video] +320 x 240", QSize(320, 240)},
        {"Video] 8192 x 1", QSize(8192, 1)},
        // No marker, no size, a size of no use: nothing (the caller keeps its size).
        {"[Audio] 320 x 240", std::nullopt},
        {"[Video 320 x 240", std::nullopt},
        {"Video] ", std::nullopt},
        {"Video] 320 240", std::nullopt},
        {"Video] 320 x", std::nullopt},
        {"Video] x 240", std::nullopt},
        {"Video] 0 x 240", std::nullopt},
        {"Video] -320 x 240", std::nullopt},
        {"Video] 8193 x 240", std::nullopt},
        {"Video] 99999999999999999999999 x 240", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(videoSizeFromDetails(c.details), c.expected) << c.details;
}

} // namespace
} // namespace kerris::clipmail
