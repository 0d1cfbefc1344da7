// Holder of the replaceable message box.
#include "clipmail/message_box.h"

namespace kerris::clipmail {
namespace {

class SilentMessageBoxes final : public MessageBoxes {
public:
    void show(const std::string&) override {}
};

SilentMessageBoxes g_silent;
MessageBoxes* g_current = &g_silent;

} // namespace

MessageBoxes& messageBoxes() {
    return *g_current;
}

void setMessageBoxes(MessageBoxes* boxes) {
    g_current = boxes ? boxes : &g_silent;
}

void showMessage(const std::string& text) {
    g_current->show(text);
}

} // namespace kerris::clipmail
