// The qxhost command line:
//   qxhost [--exe PATH] [--port N] [--wait MS] [--file FILE] [--env NAME=VALUE]...
//          [--video K=V,...]... [--h264 K=V,...]... [--audio K=V,...]... [--media-seconds N]
//          [COMMAND]...
// Commands are sent in the order given; a --file's lines take the place of the option. Media
// streams (see MediaOptions.h) are written once the commands were sent.
// Stateless parsing; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/StreamFeed.h"

namespace qxhost {

struct ToolOptions {
    std::string exePath;  // empty: the StreamCourier beside qxhost
    uint16_t port = 0;    // 0: any free port
    int waitMs = 1000;    // how long to wait for responses after the last command
    std::vector<std::string> environment;
    std::vector<std::string> commands;
    std::vector<FeedSettings> media;
    int mediaSeconds = 5;  // how long media is written after the commands
    bool help = false;
};

// Parses the arguments after the program name. On failure returns false with `error` set.
bool ParseToolOptions(const std::vector<std::string>& args, ToolOptions* options,
                      std::string* error);

// One command file's commands: a command a line; blank lines and lines starting with "#" are
// skipped. `keepalive` lines are expanded.
std::vector<std::string> CommandsFromLines(const std::string& text);

// `keepalive` stands for the KeepAlive command; any other text is sent as it is.
std::string ExpandCommand(const std::string& command);

const char* ToolUsage();

// Reads a whole decimal number in [minimum, maximum].
bool ParseNumber(const std::string& text, long minimum, long maximum, long* value);

}  // namespace qxhost
