// The engine's clocks: device stamps mapped onto the session clock, the frame grid, and the
// sound timeline that fills gaps and leaves out overlaps.
#include "platform/encoder/engine/audio_timeline.h"
#include "platform/encoder/engine/frame_pacer.h"
#include "platform/encoder/engine/session_clock.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

#include <vector>

namespace kerris::encoder::engine {
namespace {

constexpr int64_t kMs = 1000000;
constexpr int64_t kS = kNanosecondsPerSecond;

struct MappingCase {
    const char* what;
    int64_t device;
    int64_t expected;
};

TEST(DeviceTime, MapsEitherClockOntoTheSession) {
    // Monotonic now 1000 s, wall clock now 1.7e9 s, the session started at monotonic 990 s.
    const int64_t monotonic = 1000 * kS;
    const int64_t realtime = 1700000000 * kS;
    const int64_t origin = 990 * kS;
    const MappingCase cases[] = {
        {"monotonic stamp of now", monotonic, 10 * kS},
        {"monotonic stamp 40 ms ago", monotonic - 40 * kMs, 10 * kS - 40 * kMs},
        {"wall clock stamp 25 ms ago", realtime - 25 * kMs, 10 * kS - 25 * kMs},
        {"wall clock stamp just inside the skew", realtime - kMaxDeviceSkewNs,
         10 * kS - kMaxDeviceSkewNs},
        {"wall clock stamp past the skew", realtime - kMaxDeviceSkewNs - 1, 10 * kS},
        {"stamp from another clock", 5 * kS, 10 * kS},
        {"zero stamp", 0, 10 * kS},
        {"negative stamp", -kS, 10 * kS},
    };
    for (const MappingCase& c : cases)
        EXPECT_EQ(mapDeviceTime(c.device, monotonic, realtime, origin), c.expected) << c.what;
}

TEST(SessionClock, SleepsUntilATimeAndNotBefore) {
    SessionClock clock;
    clock.sleepUntil(30 * kMs);
    EXPECT_GE(clock.now(), 30 * kMs);
    const int64_t before = clock.now();
    clock.sleepUntil(0); // passed: returns at once
    EXPECT_LT(clock.now() - before, 20 * kMs);
}

TEST(FramePacer, SlotsAreNearestOnTheGrid) {
    FramePacer pacer(15);
    struct {
        int64_t time;
        int64_t slot;
    } cases[] = {{-5 * kMs, 0}, {0, 0},   {33 * kMs, 0},       {33333333, 0}, {33333334, 1},
                 {66 * kMs, 1}, {kS, 15}, {kS + 34 * kMs, 16}, {60 * kS, 900}};
    for (const auto& c : cases)
        EXPECT_EQ(pacer.slotAt(c.time), c.slot) << c.time;
    EXPECT_EQ(pacer.slotTime(15), kS);
    EXPECT_EQ(pacer.slotTime(1), 66666666);
}

struct PacerCase {
    const char* what;
    int64_t time;
    int64_t now;
    int64_t firstSlot;
    int64_t repeats;
    bool take;
};

TEST(FramePacer, FillsGapsAndLeavesOutPicturesForFilledSlots) {
    FramePacer pacer(10); // 100 ms slots
    const PacerCase steps[] = {
        {"first picture on time", 0, 0, 0, 0, true},
        {"next on time", 100 * kMs, 101 * kMs, 1, 0, true},
        {"second picture for the same slot", 130 * kMs, 131 * kMs, 2, 0, false},
        {"three slots skipped", 500 * kMs, 505 * kMs, 2, 3, true},
        {"stamp ahead of now counts as now", 2 * kS, 600 * kMs, 6, 0, true},
        {"old stamp", 100 * kMs, 700 * kMs, 7, 0, false},
        {"jitter rounds to the next slot", 740 * kMs, 741 * kMs, 7, 0, true},
    };
    for (const PacerCase& c : steps) {
        const FramePacer::Step step = pacer.picture(c.time, c.now);
        EXPECT_EQ(step.firstSlot, c.firstSlot) << c.what;
        EXPECT_EQ(step.repeats, c.repeats) << c.what;
        EXPECT_EQ(step.take, c.take) << c.what;
    }
    EXPECT_EQ(pacer.nextSlot(), 8);
    EXPECT_EQ(pacer.deadline(), 900 * kMs);
    EXPECT_EQ(pacer.late(), 8);
    EXPECT_EQ(pacer.nextSlot(), 9);
}

// A block of `count` samples of value `value`, mono.
struct Block {
    std::vector<float> samples;
    const float* plane;
    Block(int count, float value) : samples(static_cast<size_t>(count), value) {
        plane = samples.data();
    }
};

// Everything the timeline hands out, as one sample vector (mono).
std::vector<float> drain(AudioTimeline& timeline, std::vector<int64_t>* pts = nullptr) {
    std::vector<float> all;
    AVFrame* frame = av_frame_alloc();
    while (timeline.takeFrame(frame)) {
        if (pts)
            pts->push_back(frame->pts);
        const float* data = reinterpret_cast<const float*>(frame->data[0]);
        all.insert(all.end(), data, data + frame->nb_samples);
    }
    av_frame_free(&frame);
    return all;
}

struct TimelineCase {
    const char* what;
    int64_t blockTime; // of the second block; the first is 1000 samples at 0
    int64_t end;       // samples placed after both
    int64_t silent;
    int64_t dropped;
};

TEST(AudioTimeline, PlacesBlocksByTheirStamps) {
    // 1000 Hz: one sample a millisecond; the tolerance is 30 ms = 30 samples.
    const TimelineCase cases[] = {
        {"follows on", 1000 * kMs, 2000, 0, 0},
        {"jitter inside the tolerance, late", 1025 * kMs, 2000, 0, 0},
        {"jitter inside the tolerance, early", 975 * kMs, 2000, 0, 0},
        {"gap past the tolerance becomes silence", 1100 * kMs, 2100, 100, 0},
        {"overlap past the tolerance is left out", 900 * kMs, 1900, 0, 100},
        {"block entirely in the past", -5 * kS, 1000, 0, 1000},
    };
    for (const TimelineCase& c : cases) {
        AudioTimeline timeline(1000, 1, 100);
        Block first(1000, 0.5f), second(1000, -0.5f);
        timeline.add(&first.plane, 1000, 0);
        timeline.add(&second.plane, 1000, c.blockTime);
        EXPECT_EQ(timeline.end(), c.end) << c.what;
        EXPECT_EQ(timeline.silentSamples(), c.silent) << c.what;
        EXPECT_EQ(timeline.droppedSamples(), c.dropped) << c.what;
        const std::vector<float> all = drain(timeline);
        ASSERT_EQ(static_cast<int64_t>(all.size()), c.end - c.end % 100) << c.what;
        EXPECT_EQ(all.front(), 0.5f) << c.what;
        if (c.silent > 0) {
            EXPECT_EQ(all[1000 + static_cast<size_t>(c.silent) - 1], 0.0f) << c.what;
        }
        if (c.end > 1000) {
            EXPECT_EQ(all[static_cast<size_t>(c.end) - 1 - static_cast<size_t>(c.end % 100)], -0.5f)
                << c.what;
        }
    }
}

TEST(AudioTimeline, StartsWithSilenceUntilTheFirstBlock) {
    AudioTimeline timeline(1000, 2, 64);
    Block left(10, 1.0f), right(10, -1.0f);
    const float* planes[] = {left.plane, right.plane};
    timeline.add(planes, 10, 200 * kMs);
    EXPECT_EQ(timeline.silentSamples(), 200);
    EXPECT_EQ(timeline.end(), 210);
}

TEST(AudioTimeline, StallIsFilledUpToTheTimeAndNeverBack) {
    AudioTimeline timeline(1000, 1, 100);
    timeline.fillSilenceUntil(450 * kMs);
    EXPECT_EQ(timeline.end(), 450);
    timeline.fillSilenceUntil(300 * kMs);
    EXPECT_EQ(timeline.end(), 450);
    timeline.padToWholeFrame();
    EXPECT_EQ(timeline.end(), 500);
    timeline.padToWholeFrame();
    EXPECT_EQ(timeline.end(), 500);
    std::vector<int64_t> pts;
    EXPECT_EQ(drain(timeline, &pts).size(), 500u);
    EXPECT_EQ(pts, (std::vector<int64_t>{0, 100, 200, 300, 400}));
}

TEST(AudioTimeline, CutsWhatLiesBeforeTheFirstSampleExactly) {
    // The encoder's priming stands for samples 0..99: sample 100 of the source opens the
    // stream, whatever the blocks' sizes, and is stamped 100.
    for (int blockSize : {7, 30, 99, 100, 101, 250}) {
        AudioTimeline timeline(1000, 1, 50, 100);
        for (int first = 0; first < 400; first += blockSize) {
            std::vector<float> samples(static_cast<size_t>(blockSize));
            for (int i = 0; i < blockSize; ++i)
                samples[static_cast<size_t>(i)] = static_cast<float>(first + i);
            const float* plane = samples.data();
            timeline.add(&plane, blockSize, first * kMs);
        }
        std::vector<int64_t> pts;
        const std::vector<float> all = drain(timeline, &pts);
        ASSERT_FALSE(all.empty()) << blockSize;
        EXPECT_EQ(pts.front(), 100) << blockSize;
        for (size_t i = 0; i < all.size(); ++i)
            ASSERT_EQ(all[i], static_cast<float>(100 + i)) << blockSize << " at " << i;
        EXPECT_EQ(timeline.silentSamples(), 0) << blockSize;
    }
}

TEST(AudioTimeline, HandsOutWholeFramesOnly) {
    AudioTimeline timeline(1000, 1, 100);
    Block block(99, 0.25f);
    timeline.add(&block.plane, 99, 0);
    AVFrame* frame = av_frame_alloc();
    EXPECT_FALSE(timeline.takeFrame(frame));
    Block one(1, 0.25f);
    timeline.add(&one.plane, 1, 99 * kMs);
    EXPECT_TRUE(timeline.takeFrame(frame));
    EXPECT_EQ(frame->nb_samples, 100);
    EXPECT_EQ(frame->pts, 0);
    EXPECT_FALSE(timeline.takeFrame(frame));
    av_frame_free(&frame);
}

} // namespace
} // namespace kerris::encoder::engine
