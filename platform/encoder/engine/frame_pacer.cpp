// The video stream's frame grid.
#include "platform/encoder/engine/frame_pacer.h"

#include "platform/encoder/engine/session_clock.h"

#include <algorithm>

namespace kerris::encoder::engine {

FramePacer::FramePacer(int framesPerSecond) : m_fps(std::max(framesPerSecond, 1)) {}

int64_t FramePacer::slotTime(int64_t slot) const {
    return slot * kNanosecondsPerSecond / m_fps;
}

int64_t FramePacer::slotAt(int64_t time) const {
    if (time <= 0)
        return 0;
    // Nearest slot: floor((time * fps + half a second) / 1 s), with the tie going down.
    return (time * m_fps + kNanosecondsPerSecond / 2 - 1) / kNanosecondsPerSecond;
}

FramePacer::Step FramePacer::picture(int64_t time, int64_t now) {
    Step step;
    step.firstSlot = m_next;
    const int64_t slot = slotAt(std::min(time, now));
    if (slot < m_next)
        return step;
    step.repeats = slot - m_next;
    step.take = true;
    m_next = slot + 1;
    return step;
}

} // namespace kerris::encoder::engine
