// One run of the qxhost tool: listens, starts StreamCourier, accepts its session, sends the
// commands and shows the exchange, then closes the session and reports how the program ended.
// Runs on the caller's thread; owns its HostSimulator for the length of the call.
#pragma once

#include <ostream>

#include "host/ToolOptions.h"

namespace qxhost {

// Writes the exchange to `out` and problems to `err`. Returns 0 when every command was sent,
// the session stayed open until the host closed it, and StreamCourier then exited with code 0.
int RunTool(const ToolOptions& options, std::ostream& out, std::ostream& err);

}  // namespace qxhost
