// mapi-setup: records for the programs that send mail whether this desktop can compose it.
//
//   mapi-setup            "MAPI"="1" under HKEY_LOCAL_MACHINE
//                         "SOFTWARE\Microsoft\Windows Messaging Subsystem" when a mail hand-off
//                         can work here (a mailto handler, or the portal's Email interface);
//                         otherwise a "1" written before is taken away again
//   mapi-setup --remove   takes the value away (and the key, when nothing else is in it)
//
// Run again after installing or removing a mail client.
#include "platform/mail/hand_off.h"
#include "platform/mail/messaging_subsystem.h"
#include "platform/registry/registry.h"

#include <cstdio>
#include <cstring>

namespace {

using kerris::mail::kMapiValue;
using kerris::registry::Hive;
using kerris::registry::Key;

constexpr const char* kSubsystemKey = kerris::mail::kMessagingSubsystemKey;

// Removes the value; the key goes too when it holds nothing else. True when nothing is left.
bool removeMapi() {
    std::optional<Key> key = Key::open(Hive::LocalMachine, kSubsystemKey);
    if (!key)
        return true;
    if (key->read(kMapiValue) && !key->removeValue(kMapiValue))
        return false;
    if (key->valueNames().empty() && key->subKeyNames().empty()) {
        key->close();
        Key::remove(Hive::LocalMachine, kSubsystemKey);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bool remove = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--remove") == 0) {
            remove = true;
        } else {
            std::fprintf(stderr, "usage: mapi-setup [--remove]\n");
            return 2;
        }
    }
    if (remove) {
        if (!removeMapi()) {
            std::fprintf(stderr, "mapi-setup: the registry could not be written\n");
            return 1;
        }
        std::printf("mapi-setup: mail support removed\n");
        return 0;
    }
    if (!kerris::mail::canCompose(kerris::mail::systemDesktop())) {
        std::optional<Key> key = Key::open(Hive::LocalMachine, kSubsystemKey);
        if (key && key->readString(kMapiValue) == "1" && !removeMapi()) {
            std::fprintf(stderr, "mapi-setup: the registry could not be written\n");
            return 1;
        }
        std::printf(
            "mapi-setup: no mail client found; mail stays off (install one and run this again)\n");
        return 0;
    }
    std::optional<Key> key = Key::create(Hive::LocalMachine, kSubsystemKey);
    if (!key || !key->writeString(kMapiValue, "1")) {
        std::fprintf(stderr, "mapi-setup: the registry could not be written\n");
        return 1;
    }
    std::printf("mapi-setup: mail support on\n");
    return 0;
}
