// Reads movies back for the tests: ffprobe's view of the stream, and the decoded frames.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace lumicart::media::testing {

// `ffprobe -show_streams -count_frames` of the first video stream as key=value pairs
// (codec_name, codec_tag_string, r_frame_rate, nb_read_frames, width, height, TAG:title, ...).
// Empty when ffprobe failed.
std::map<std::string, std::string> ProbeMovieStream(const std::string& path);

// The key-frame flag of every stored frame, in order, from the container's packet flags.
std::vector<bool> ProbeKeyFrames(const std::string& path);

// A decoded frame, top-down, R G B bytes.
struct DecodedFrame {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// Every frame of the movie decoded with libavcodec; empty on any failure.
std::vector<DecodedFrame> DecodeMovie(const std::string& path);

// PSNR in dB of a decoded frame against a bottom-up B G R source (its top-left width x height
// region only; padding is not counted). 99 for identical pictures.
double FramePsnr(const DecodedFrame& decoded, const uint8_t* bgrBottomUp, int width, int height,
                 std::size_t stride);

} // namespace lumicart::media::testing
