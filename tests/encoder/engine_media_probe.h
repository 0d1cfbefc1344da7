// What the engine's tests read back from a recorded file: ffprobe's account of it (the program
// run as a player would see the file), and the white pictures and tone starts found by
// decoding it with libavcodec.
#pragma once

#include <string>
#include <vector>

namespace kerris::encoder::test {

struct ProbedStream {
    std::string codecType; // "video", "audio"
    std::string codecName;
    int width = 0;
    int height = 0;
    double frameRate = 0; // avg_frame_rate, else r_frame_rate
    long frames = -1;     // nb_read_frames (counted by decoding)
    int sampleRate = 0;
    int channels = 0;
    long bitRate = 0;
};

struct ProbedFile {
    bool ok = false;     // ffprobe read the file
    std::string error;   // what it said otherwise
    std::string format;  // format_name
    double duration = 0; // seconds
    long bitRate = 0;
    std::vector<ProbedStream> streams;
    const ProbedStream* stream(const std::string& type) const;
};

// Runs `ffprobe -count_frames -show_format -show_streams -of json` on `path` (at most 60 s).
ProbedFile probeFile(const std::string& path);

struct SyncMarks {
    std::vector<double> whiteFrames; // seconds, the first picture of each run of white ones
    std::vector<double> toneStarts;  // seconds, where the sound first reaches the tone's level
    std::string error;
};

// Decodes the whole file: a white picture has a mean luma over 200; a tone starts where the
// sound's level over 2 ms first passes half the tone's after 300 ms of quiet.
SyncMarks findSyncMarks(const std::string& path, double toneAmplitude);

// The largest distance from a white picture to the nearest tone start, and the count of the
// white pictures without a tone start within `window` seconds.
struct SyncReport {
    double worstOffset = 0;
    int unmatched = 0;
};
SyncReport compareMarks(const SyncMarks& marks, double window);

} // namespace kerris::encoder::test
