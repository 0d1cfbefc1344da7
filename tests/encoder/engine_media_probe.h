// What the engine's tests read back from a recorded file: ffprobe's account of it (the program
// run as a player would see the file), and the white pictures and tone starts found by
// decoding it with libavcodec.
#pragma once

#include <cstdint>
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

// What the ASF header's File Properties object says, and whether the file ends in an index.
struct AsfLayout {
    bool ok = false;
    uint32_t maxBitRate = 0; // bits/s, the sum of the streams'
    bool seekable = false;   // the header's seekable flag, set once the file was finished
    bool indexed = false;    // a Simple Index object follows the data
};
AsfLayout readAsfLayout(const std::string& path);

struct SyncMarks {
    std::vector<double> whiteFrames; // seconds, the first picture of each run of white ones
    std::vector<double> toneStarts;  // seconds, where the sound first reaches the tone's level
    double soundEnd = 0;             // seconds, the end of the decoded sound
    std::string error;
};

// Decodes the whole file: a white picture has a mean luma over 200; a tone starts where the
// sound's level over 2 ms first passes half the tone's after 300 ms of quiet.
SyncMarks findSyncMarks(const std::string& path, double toneAmplitude);

// The root mean square of the whole sound track (samples from -1 to 1); -1 when the file
// has no sound to decode.
double soundLevel(const std::string& path);

// The largest distance from a white picture to the nearest tone start, and the count of the
// white pictures without a tone start within `window` seconds. White pictures in the first
// and the last 200 ms of the sound are left out: the encoder's priming takes the first frame
// of sound (46 ms at 22050 Hz), and the end of a recording may cut a tone.
struct SyncReport {
    double worstOffset = 0;
    int unmatched = 0;
};
SyncReport compareMarks(const SyncMarks& marks, double window);

} // namespace kerris::encoder::test
