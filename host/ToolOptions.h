// The qxhost command line:
//   qxhost [--exe PATH] [--port N] [--wait MS] [--strict] [--env NAME=VALUE]...
//          [--video K=V,...]... [--h264 K=V,...]... [--audio K=V,...]... [--media-seconds N]
//          [--file FILE]... [COMMAND | --input K=V,... | --output K=V,... | --layout K=V,...
//          | --record K=V,...]... [--after-media COMMAND...]
// Commands are sent in the order given (see CommandOptions.h for the ones qxhost builds). A
// --file's lines take the place of the option: each is a COMMAND, or an option with its value
// after a blank ("--output url=rtmp://..."). Media streams (see MediaOptions.h) are written
// once the commands before --after-media were sent; the rest go out after the media. Stateless
// parsing; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/CommandOptions.h"
#include "host/StreamFeed.h"

namespace qxhost {

struct ToolOptions {
    std::string exePath;  // empty: the StreamCourier beside qxhost
    uint16_t port = 0;    // 0: any free port
    int waitMs = 1000;    // how long to wait for responses after the last command
    // Each command StreamCourier answers must be answered, with Result 0 where the answer has
    // one, before the next goes out; otherwise the run stops and fails.
    bool strict = false;
    std::vector<std::string> environment;
    std::string statsFile;  // --stats: the pushers' statistics, printed before the session ends
    std::vector<ToolCommand> commands;
    size_t afterMedia = SIZE_MAX;  // commands from this index on go out after the media
    std::vector<FeedSettings> media;
    int mediaSeconds = 5;  // how long media is written after the commands
    bool help = false;
};

// Parses the arguments after the program name. On failure returns false with `error` set.
bool ParseToolOptions(const std::vector<std::string>& args, ToolOptions* options,
                      std::string* error);

// The arguments a command file's lines stand for: a line is one COMMAND, or an option and the
// rest of the line as its value; blank lines and lines starting with "#" are skipped.
std::vector<std::string> ArgsFromLines(const std::string& text);

// `keepalive` stands for the KeepAlive command and `create-context` for a CreateContext with
// no parameters; any other text is sent as it is.
std::string ExpandCommand(const std::string& command);

const char* ToolUsage();

// Reads a whole decimal number in [minimum, maximum].
bool ParseNumber(const std::string& text, long minimum, long maximum, long* value);

}  // namespace qxhost
