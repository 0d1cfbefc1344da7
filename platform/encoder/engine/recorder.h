// The session behind CaptureSession::start, for inputs already open: the capture threads, the
// frame grid and the sound timeline, the output file and the newest picture. Tests start it
// with inputs of their own.
#pragma once

#include "platform/encoder/capture_session.h"
#include "platform/encoder/engine/inputs.h"

#include <memory>
#include <string>

namespace kerris::encoder::engine {

struct RecorderOptions {
    // A source that has delivered nothing for this long has stopped: the run ends. Shorter
    // stalls are bridged with the last picture or with silence.
    int64_t stallLimitNs = 5 * kNanosecondsPerSecond;
};

// Starts a session on `video` and `audio` (null: no sound stream). Null with `error` set when
// the profile or the output file fails; the inputs are closed then and no file is left.
std::unique_ptr<CaptureSession> startRecorder(const SessionSettings& settings,
                                              std::unique_ptr<VideoInput> video,
                                              std::unique_ptr<AudioInput> audio,
                                              const RecorderOptions& options, std::string& error);

} // namespace kerris::encoder::engine
