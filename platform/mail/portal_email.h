// The desktop portal's Email interface (org.freedesktop.portal.Email) over libdbus.
#pragma once

#include "platform/mail/hand_off.h"

#include <string>

namespace kerris::mail {

// Calls ComposeEmail on the bus at ADDRESS with MESSAGE, each attachment passed as a file
// descriptor opened for reading. True when the portal accepted the request (it answers with a
// request object; the compose window follows from the portal's side).
bool portalComposeEmail(const std::string& address, const Composition& message);

// True when the portal on the bus at ADDRESS offers the Email interface (its "version" reads).
bool portalOffersEmail(const std::string& address);

} // namespace kerris::mail
