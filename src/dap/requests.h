// The requests of the Debug Adapter Protocol that tavro-dap answers, and the way in for the
// client's bytes. Every request gets a response; a malformed frame or request gets an error
// response, and nothing a client sends can end the adapter but disconnect.
#pragma once

#include <string_view>

#include "dap/session.h"

namespace tavro {

// Takes bytes from the client and handles every whole frame among them.
void receiveBytes(Session& session, std::string_view bytes);
// Handles one message (the body of a frame).
void handleMessage(Session& session, std::string_view body);

}  // namespace tavro
