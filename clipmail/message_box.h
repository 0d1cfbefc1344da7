// The application's modal message box (OK button, text alone), behind a replaceable interface.
#pragma once

#include <string>

namespace kerris::clipmail {

// Shows one message and returns when the user has dismissed it. The program installs a
// window-system implementation at start-up; tests install one that records the texts.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void show(const std::string& text) = 0;
};

// The current implementation; until one is installed, messages are dropped.
MessageBoxes& messageBoxes();
// Installs an implementation (kept by the caller); null restores the silent default.
void setMessageBoxes(MessageBoxes* boxes);

// Shorthand for messageBoxes().show(text).
void showMessage(const std::string& text);

} // namespace kerris::clipmail
