// "Kerris Camera Microphone": the tone of each second starts on its sample and lasts 100 ms,
// quiet noise between, at every rate and channel count it serves.
#include "platform/encoder/virtual_devices.h"
#include "tests/encoder/virtual_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

using kerris::encoder::VirtualCameraMicrophone;

namespace {

// Noise stays far below this; the tone's crest and its neighbours far above.
constexpr int kQuiet = 400;

class MicrophoneTest : public VirtualDeviceTest {
protected:
    std::unique_ptr<VirtualCameraMicrophone> open(int rate, int channels) {
        std::string error;
        auto mic = VirtualCameraMicrophone::open(rate, channels, error);
        EXPECT_TRUE(mic) << error;
        return mic;
    }
    static std::vector<int16_t> render(VirtualCameraMicrophone& mic, int channels, int64_t first,
                                       int frames) {
        std::vector<int16_t> samples(size_t(frames) * size_t(channels) + 8, 0x5A5A);
        std::string error;
        EXPECT_TRUE(mic.render(first, samples.data(), frames, error)) << error;
        for (size_t i = samples.size() - 8; i < samples.size(); ++i)
            EXPECT_EQ(samples[i], 0x5A5A) << "wrote past the buffer";
        samples.resize(samples.size() - 8);
        return samples;
    }
    static double dbfs(const std::vector<int16_t>& s, size_t from, size_t to, int channels,
                       int channel) {
        double sum = 0;
        size_t n = 0;
        for (size_t i = from; i < to; ++i, ++n) {
            const double v = s[i * size_t(channels) + size_t(channel)] / 32768.0;
            sum += v * v;
        }
        return 10 * std::log10(sum / double(n));
    }
};

struct Format {
    int rate;
    int channels;
};

class ToneTest : public MicrophoneTest, public ::testing::WithParamInterface<Format> {};

TEST_P(ToneTest, ToneStartsOnTheSampleOfEachSecondAndLasts100Ms) {
    const auto [rate, channels] = GetParam();
    auto mic = open(rate, channels);
    ASSERT_TRUE(mic);
    const int toneFrames = rate / 10;
    for (int64_t k : {0, 1, 7, 3600}) {
        const int64_t start = k * rate;
        const int before = k == 0 ? 0 : rate / 5; // 200 ms of the previous second
        const std::vector<int16_t> s = render(*mic, channels, start - before, before + rate / 2);
        for (int c = 0; c < channels; ++c) {
            auto at = [&](int frame) {
                return int(s[size_t(frame + before) * size_t(channels) + size_t(c)]);
            };
            for (int f = -before; f < 0; ++f)
                ASSERT_LT(std::abs(at(f)), kQuiet) << "before second " << k << " frame " << f;
            EXPECT_GT(std::abs(at(0)), 10000) << "the tone starts on the second's sample";
            // 1 kHz: 200 sign changes in 100 ms.
            int crossings = 0;
            for (int f = 1; f < toneFrames; ++f)
                crossings += (at(f - 1) < 0) != (at(f) < 0);
            EXPECT_NEAR(crossings, 200, 2) << rate << " Hz, second " << k;
            // Still sounding in its last millisecond, silent from the frame after.
            int loudest = 0;
            for (int f = toneFrames - rate / 1000; f < toneFrames; ++f)
                loudest = std::max(loudest, std::abs(at(f)));
            EXPECT_GT(loudest, 10000);
            for (int f = toneFrames; f < rate / 2; ++f)
                ASSERT_LT(std::abs(at(f)), kQuiet) << "after the tone, frame " << f;
        }
        // The tone's level: -6 dBFS at its crest, -9 dBFS as RMS of a sine.
        EXPECT_NEAR(dbfs(s, size_t(before), size_t(before + toneFrames), channels, 0), -9.0, 0.5);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ToneTest,
                         ::testing::Values(Format{22050, 1}, Format{22050, 2}, Format{44100, 1},
                                           Format{44100, 2}, Format{48000, 1}, Format{48000, 2}));

TEST_F(MicrophoneTest, NoiseBetweenTonesIsQuietButNotSilence) {
    auto mic = open(44100, 2);
    ASSERT_TRUE(mic);
    const std::vector<int16_t> s = render(*mic, 2, 44100 / 5, 44100 / 2);
    for (int c = 0; c < 2; ++c) {
        const double level = dbfs(s, 0, 44100 / 2, 2, c);
        EXPECT_GT(level, -56.0);
        EXPECT_LT(level, -44.0);
    }
    // The two channels carry noise of their own.
    int same = 0;
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        same += s[i] == s[i + 1];
    EXPECT_LT(same, 44100 / 2 / 50);
}

TEST_F(MicrophoneTest, SignalDoesNotDependOnHowItIsCutIntoBuffers) {
    auto mic = open(22050, 2);
    ASSERT_TRUE(mic);
    const int64_t first = 22050 - 300;
    const std::vector<int16_t> whole = render(*mic, 2, first, 5000);
    std::vector<int16_t> pieces;
    int64_t at = first;
    for (int size : {1, 299, 0, 1, 1023, 3676}) {
        const std::vector<int16_t> part = render(*mic, 2, at, size);
        pieces.insert(pieces.end(), part.begin(), part.end());
        at += size;
    }
    EXPECT_EQ(pieces, whole);
}

TEST_F(MicrophoneTest, RefusesFormatsItCannotRecord) {
    const Format refused[] = {{0, 1},     {7999, 1},  {192001, 1}, {-44100, 1},
                              {44100, 0}, {44100, 3}, {44100, -1}};
    for (const auto& f : refused) {
        std::string error;
        EXPECT_FALSE(VirtualCameraMicrophone::open(f.rate, f.channels, error))
            << f.rate << " " << f.channels;
        EXPECT_NE(error.find("\"Kerris Camera Microphone\""), std::string::npos) << error;
    }
    EXPECT_TRUE(open(8000, 1));
    EXPECT_TRUE(open(192000, 2));
}

TEST_F(MicrophoneTest, BadBuffersAreErrors) {
    auto mic = open(48000, 1);
    ASSERT_TRUE(mic);
    std::string error;
    int16_t one = 0;
    EXPECT_FALSE(mic->render(0, nullptr, 10, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(mic->render(0, &one, -1, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_TRUE(mic->render(0, nullptr, 0, error)) << error;
}

TEST_F(MicrophoneTest, StopsDeliveringOnceTheFaultTimeHasPassed) {
    ASSERT_NO_FATAL_FAILURE(setSetting("AudioStopAfterMs", 300));
    auto mic = open(22050, 1);
    ASSERT_TRUE(mic);
    std::vector<int16_t> s(1000);
    std::string error;
    EXPECT_TRUE(mic->render(0, s.data(), 1000, error)) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    for (int attempt = 0; attempt < 2; ++attempt) {
        error.clear();
        EXPECT_FALSE(mic->render(1000, s.data(), 1000, error));
        EXPECT_EQ(error, "The audio device \"Kerris Camera Microphone\" stopped delivering sound");
    }
}

} // namespace
