// Recording through the encoder component's slots alone, as the clip mail program records:
// the source group of a first run, the "Murvane" profile, an output file, start, statistics,
// stop; then the file as ffprobe reads it. Also the preview-only run and the run a vanishing
// device ends.
#include "tests/encoder/objects_support.h"

#include "platform/encoder/encoder_interfaces.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace kerris::encoder::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Recording : public ComponentTest {};

int32_t runState(const SlotObject& encoder) {
    int32_t state = -1;
    EXPECT_EQ(encoder(slot::kRunState, &state), com::S_OK);
    return state;
}

SlotObject streamStatistics(const SlotObject& statistics, int32_t type) {
    SlotObject any = statistics.out(slot::kStreamOutputStats, type, 0, 0);
    return any ? any.query(IStreamStatistics::kIid) : SlotObject();
}

int64_t read64(const SlotObject& object, int slotNumber) {
    int64_t value = -1;
    EXPECT_EQ(object(slotNumber, &value), com::S_OK);
    return value;
}

TEST_F(Recording, MurvaneFromTheCamerasVirtualDevicesIsAPlayableAsfOfTheProfile) {
    const fs::path output = folder / "VideoRec.wmv";
    SlotObject encoder = readyEncoder(output.string());
    ASSERT_TRUE(encoder) << takeErrorDescription();
    SlotObject broadcast = encoder.out(slot::kBroadcast);
    ASSERT_TRUE(broadcast);
    EXPECT_EQ(broadcast(slot::kPutPort, 1, 8080), com::S_OK);
    ASSERT_EQ(encoder(slot::kPrepareToEncode, 1), com::S_OK);

    ASSERT_EQ(encoder(slot::kStart), com::S_OK) << takeErrorDescription();
    EXPECT_EQ(runState(encoder), kRunStateRunning);
    EXPECT_EQ(encoder(slot::kStart), com::S_OK) << "a start while running succeeds";
    SlotObject statistics = encoder.out(slot::kStatistics);
    ASSERT_TRUE(statistics);
    SlotObject video = streamStatistics(statistics, kSourceTypeVideo);
    SlotObject audio = streamStatistics(statistics, kSourceTypeAudio);
    ASSERT_TRUE(video && audio);

    std::this_thread::sleep_for(5s);
    const int64_t elapsed = read64(statistics, slot::kEncodingTime);
    const int64_t videoBytes = read64(video, slot::kByteCount);
    const int64_t audioBytes = read64(audio, slot::kByteCount);
    EXPECT_EQ(runState(encoder), kRunStateRunning);
    ASSERT_EQ(encoder(slot::kStop), com::S_OK);
    EXPECT_EQ(runState(encoder), kRunStateStopped);
    EXPECT_EQ(encoder(slot::kPrepareToEncode, 0), com::S_OK);

    EXPECT_GE(elapsed, 4800);
    EXPECT_LE(elapsed, 6500);
    EXPECT_GT(videoBytes, 0);
    EXPECT_GT(audioBytes, 0);
    // 32 kbps of audio for about 5 s, give or take the packets still being written.
    EXPECT_GT(audioBytes, 32000 / 8 * 3);
    EXPECT_LT(audioBytes, 32000 / 8 * 8);

    const Probe p = probe(output);
    ASSERT_TRUE(p.readable);
    EXPECT_EQ(p.format, "asf");
    EXPECT_EQ(p.videoCodec, "wmv2");
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 240);
    EXPECT_DOUBLE_EQ(p.frameRate, 15);
    EXPECT_EQ(p.audioCodec, "wmav2");
    EXPECT_EQ(p.audioChannels, 1);
    EXPECT_EQ(p.audioSampleRate, 22050);
    EXPECT_NEAR(p.duration, elapsed / 1000.0, 0.3) << "elapsed " << elapsed << " ms";
    EXPECT_NEAR(double(p.videoFrames), p.duration * 15, 1.0) << "no frame missing";
    EXPECT_TRUE(p.finished) << "header finished and index written at the stop";
    std::printf("elapsed %lld ms, file %.3f s, %lld frames, %lld + %lld bytes\n",
                static_cast<long long>(elapsed), p.duration, static_cast<long long>(p.videoFrames),
                static_cast<long long>(videoBytes), static_cast<long long>(audioBytes));
}

TEST_F(Recording, WithoutAnOutputFileOnlyThePreviewRunsAndNothingIsWritten) {
    SlotObject encoder = readyEncoder("");
    ASSERT_TRUE(encoder);
    ASSERT_EQ(encoder(slot::kStart), com::S_OK) << takeErrorDescription();
    EXPECT_EQ(runState(encoder), kRunStateRunning);
    std::this_thread::sleep_for(500ms);
    SlotObject statistics = encoder.out(slot::kStatistics);
    EXPECT_EQ(read64(statistics, slot::kEncodingTime), 0) << "no file, no time of a file";
    EXPECT_EQ(encoder(slot::kStop), com::S_OK);
    EXPECT_EQ(encoder(slot::kStop), com::S_OK) << "a second stop is harmless";
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        files += entry.is_regular_file() && entry.path().extension() == ".wmv";
    EXPECT_EQ(files, 0u);
}

TEST_F(Recording, StopThenRecordAgainReplacesTheFileAndRestartsTheClock) {
    const fs::path output = folder / "VideoRec.wmv";
    SlotObject encoder = readyEncoder(output.string());
    ASSERT_TRUE(encoder);
    SlotObject statistics = encoder.out(slot::kStatistics);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(encoder(slot::kStart), com::S_OK) << takeErrorDescription();
        std::this_thread::sleep_for(1200ms);
        const int64_t elapsed = read64(statistics, slot::kEncodingTime);
        EXPECT_GE(elapsed, 1000) << "round " << round;
        EXPECT_LT(elapsed, 2500) << "round " << round << ": the clock starts with each file";
        ASSERT_EQ(encoder(slot::kStop), com::S_OK);
        const Probe p = probe(output);
        ASSERT_TRUE(p.readable) << "round " << round;
        EXPECT_NEAR(p.duration, elapsed / 1000.0, 0.3) << "round " << round;
    }
}

TEST_F(Recording, AVideoDeviceThatStopsEndsTheRunAndLeavesAPlayableFile) {
    setVirtualCameraValue("VideoStopAfterMs", 1500);
    const fs::path output = folder / "VideoRec.wmv";
    SlotObject encoder = readyEncoder(output.string());
    ASSERT_TRUE(encoder);
    ASSERT_EQ(encoder(slot::kStart), com::S_OK) << takeErrorDescription();
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (runState(encoder) == kRunStateRunning && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(runState(encoder), kRunStateStopped) << "the run state follows the device";
    com::BSTR error = nullptr;
    ASSERT_EQ(encoder(slot::kErrorState, &error), com::S_OK);
    const std::string description = takeText(error);
    EXPECT_NE(description.find("Kerris Camera"), std::string::npos) << description;
    EXPECT_EQ(encoder(slot::kStop), com::S_OK);

    const Probe p = probe(output);
    ASSERT_TRUE(p.readable) << "the interrupted file plays";
    EXPECT_EQ(p.videoCodec, "wmv2");
    EXPECT_GT(p.duration, 1.0);
    EXPECT_LT(p.duration, 3.0);
    EXPECT_TRUE(p.finished) << "a run a device ended is finished like one that was stopped";

    // With the device back, the next start records again and the old error is gone.
    setVirtualCameraValue("VideoStopAfterMs", 0);
    ASSERT_EQ(encoder(slot::kStart), com::S_OK) << takeErrorDescription();
    ASSERT_EQ(encoder(slot::kErrorState, &error), com::S_OK);
    EXPECT_EQ(takeText(error), "");
    EXPECT_EQ(encoder(slot::kStop), com::S_OK);
}

} // namespace
} // namespace kerris::encoder::testing
