// The video stream's frame grid: slot n is shown at n / fps seconds of the session clock. A
// picture takes the slot nearest to its capture time; slots a source leaves empty are filled
// with the picture before (the file then still holds fps frames every second and the sound
// stays in step), pictures for a slot already filled are left out.
#pragma once

#include <cstdint>

namespace kerris::encoder::engine {

class FramePacer {
public:
    explicit FramePacer(int framesPerSecond);

    int64_t slotTime(int64_t slot) const;
    // The slot whose time is nearest to `time` (the earlier one on a tie).
    int64_t slotAt(int64_t time) const;
    int64_t nextSlot() const { return m_next; }
    // How long a read waits for the next slot's picture: one frame time past that slot.
    int64_t deadline() const { return slotTime(m_next + 1); }

    // What to do with a picture captured at `time`, arrived at `now`: fill `repeats` slots from
    // `firstSlot` on with the previous picture, then, when `take`, give the picture slot
    // firstSlot + repeats. A time after `now` (a device clock that runs ahead) counts as now.
    struct Step {
        int64_t firstSlot = 0;
        int64_t repeats = 0;
        bool take = false;
    };
    Step picture(int64_t time, int64_t now);
    // No picture came by deadline(): the previous one fills the next slot, which is returned.
    int64_t late() { return m_next++; }

private:
    int64_t m_fps;
    int64_t m_next = 0;
};

} // namespace kerris::encoder::engine
