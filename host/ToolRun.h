// One run of the qxhost tool: listens, creates the media streams' shared objects, starts
// StreamCourier, accepts its session, sends the commands (building those that name answers
// when they go out; with --strict, each awaits its answer) and shows the exchange, writes the
// media for a while, then closes the session and reports how the program ended. Runs on the
// caller's thread; owns its HostSimulator and MediaFeeder for the length of the call.
#pragma once

#include <ostream>

#include "host/ToolOptions.h"

namespace qxhost {

// Writes the exchange to `out` and problems to `err`. Returns 0 when every command was sent
// (and, with --strict, answered with success), the session stayed open until the host closed
// it, and StreamCourier then exited with code 0.
int RunTool(const ToolOptions& options, std::ostream& out, std::ostream& err);

}  // namespace qxhost
