// The enable states of the recording buttons (Record, Play, Stop, Mail, Config, Audio).
#pragma once

namespace kerris::clipmail {

enum class ButtonState { Idle, Recording, Stopped, Failed };

// Which of the six buttons a state enables. About and Exit are never changed.
struct ButtonEnables {
    bool record;
    bool play;
    bool stop;
    bool mail;
    bool config;
    bool audio;
};

// The enable table. Mail is enabled only in Stopped, and only when mail can be sent.
constexpr ButtonEnables buttonEnables(ButtonState state, bool mailAvailable) {
    switch (state) {
    case ButtonState::Idle:
        return {true, false, false, false, true, true};
    case ButtonState::Recording:
        return {false, false, true, false, false, false};
    case ButtonState::Stopped:
        return {true, true, false, mailAvailable, true, true};
    case ButtonState::Failed:
        break;
    }
    return {false, false, false, false, true, false};
}

} // namespace kerris::clipmail
