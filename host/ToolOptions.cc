#include "host/ToolOptions.h"

#include <fstream>
#include <sstream>

#include "host/CommandBuilder.h"
#include "host/MediaOptions.h"

namespace qxhost {

bool ParseNumber(const std::string& text, long minimum, long maximum, long* value) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    long result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        result = result * 10 + (c - '0');
    }
    if (result < minimum || result > maximum) {
        return false;
    }
    *value = result;
    return true;
}

namespace {

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool ReadCommandFile(const std::string& path, std::vector<std::string>* commands) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    const std::vector<std::string> read = CommandsFromLines(text.str());
    commands->insert(commands->end(), read.begin(), read.end());
    return true;
}

// Applies the option `name` with its `value`.
bool ApplyOption(const std::string& name, const std::string& value, ToolOptions* options,
                 std::string* error) {
    long number = 0;
    if (name == "--exe") {
        options->exePath = value;
    } else if (name == "--port") {
        if (!ParseNumber(value, 0, 65535, &number)) {
            *error = "--port needs a number from 0 to 65535";
            return false;
        }
        options->port = static_cast<uint16_t>(number);
    } else if (name == "--wait") {
        if (!ParseNumber(value, 0, 3600000, &number)) {
            *error = "--wait needs a number of milliseconds";
            return false;
        }
        options->waitMs = static_cast<int>(number);
    } else if (name == "--env") {
        if (value.find('=') == std::string::npos || value[0] == '=') {
            *error = "--env needs NAME=VALUE";
            return false;
        }
        options->environment.push_back(value);
    } else if (name == "--media-seconds") {
        if (!ParseNumber(value, 0, 86400, &number)) {
            *error = "--media-seconds needs a number of seconds";
            return false;
        }
        options->mediaSeconds = static_cast<int>(number);
    } else if (IsMediaOption(name)) {
        FeedSettings settings;
        if (!ParseMediaOption(name, value, &settings, error)) {
            return false;
        }
        options->media.push_back(settings);
    } else if (!ReadCommandFile(value, &options->commands)) {
        *error = "cannot read the command file " + value;
        return false;
    }
    return true;
}

bool TakesValue(const std::string& arg) {
    return arg == "--exe" || arg == "--port" || arg == "--wait" || arg == "--env" ||
           arg == "--file" || arg == "--media-seconds" || IsMediaOption(arg);
}

}  // namespace

bool ParseToolOptions(const std::vector<std::string>& args, ToolOptions* options,
                      std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (TakesValue(arg)) {
            if (i + 1 == args.size()) {
                *error = arg + " needs a value";
                return false;
            }
            if (!ApplyOption(arg, args[++i], options, error)) {
                return false;
            }
        } else if (arg.compare(0, 2, "--") == 0) {
            *error = "unknown option " + arg;
            return false;
        } else {
            options->commands.push_back(ExpandCommand(arg));
        }
    }
    return true;
}

std::vector<std::string> CommandsFromLines(const std::string& text) {
    std::vector<std::string> commands;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = Trimmed(line);
        if (!line.empty() && line[0] != '#') {
            commands.push_back(ExpandCommand(line));
        }
    }
    return commands;
}

std::string ExpandCommand(const std::string& command) {
    return command == "keepalive" ? CommandBuilder::KeepAlive() : command;
}

const char* ToolUsage() {
    return "usage: qxhost [--exe PATH] [--port N] [--wait MS] [--file FILE] [--env NAME=VALUE]...\n"
           "              [--video K=V,...]... [--h264 K=V,...]... [--audio K=V,...]...\n"
           "              [--media-seconds N] [COMMAND]...\n"
           "Listens on 127.0.0.1, creates the shared memory of the media streams, starts\n"
           "StreamCourier -port N, sends each COMMAND (XML text, or 'keepalive'), prints\n"
           "'-> sent' and '<- received' lines, writes the media streams for N seconds (with a\n"
           "KeepAlive every 3 s), waits MS milliseconds (default 1000) for responses, closes\n"
           "the session and prints StreamCourier's exit code.\n"
           "  --exe PATH    the program to start (default: StreamCourier beside qxhost)\n"
           "  --port N      the port to listen on (default 0: any free port)\n"
           "  --file FILE   commands, one a line; blank lines and '#' lines are skipped\n"
           "  --env N=V     sets an environment variable for the program\n"
           "  --video K=V,...  raw I420 test pictures: channel=3,user=N,size=640x360,rate=30,\n"
           "                   media=0,type=3\n"
           "  --h264 K=V,...   H.264 test pictures: channel=2,user=N,size=640x360,rate=30,\n"
           "                   bitrate=800 (kbit/s),keyint=(2 s of pictures),media=0,type=2\n"
           "  --audio K=V,...  PCM tone: channel=1,user=N,rate=50 (blocks a second),hz=440,\n"
           "                   samplerate=16000,audiochannels=1,media=0,type=1\n"
           "                   (user is required; each also takes count=N and seconds=N)\n"
           "  --media-seconds N  how long the media streams are written (default 5)\n";
}

}  // namespace qxhost
