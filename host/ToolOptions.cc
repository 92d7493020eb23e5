#include "host/ToolOptions.h"

#include <fstream>
#include <sstream>

#include "host/CommandBuilder.h"
#include "host/MediaOptions.h"
#include "host/RecordOptions.h"

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

// Files may name files; this many levels deep, which no scenario needs, is a loop.
constexpr int kMaxFileDepth = 8;

bool ParseArgs(const std::vector<std::string>& args, ToolOptions* options, int depth,
               std::string* error);

bool ApplyFile(const std::string& path, ToolOptions* options, int depth, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read the command file " + path;
        return false;
    }
    if (depth == kMaxFileDepth) {
        *error = "command files name each other too deep at " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return ParseArgs(ArgsFromLines(text.str()), options, depth + 1, error);
}

// Adds a --layout to the last --output.
bool ApplyLayout(const std::string& value, ToolOptions* options, std::string* error) {
    for (auto command = options->commands.rbegin(); command != options->commands.rend();
         ++command) {
        if (auto* output = std::get_if<OutputCommand>(&*command)) {
            LayoutSpec layout;
            if (!ParseLayoutOption(value, &layout, error)) {
                return false;
            }
            output->layouts.push_back(layout);
            return true;
        }
    }
    *error = "--layout belongs to an --output before it";
    return false;
}

bool ApplyCommandOption(const std::string& name, const std::string& value, ToolOptions* options,
                        std::string* error) {
    if (name == "--layout") {
        return ApplyLayout(value, options, error);
    }
    if (name == "--record") {
        std::string text;
        if (!ParseRecordOption(value, &text, error)) {
            return false;
        }
        options->commands.emplace_back(text);
        return true;
    }
    if (name == "--input") {
        InputCommand input;
        if (!ParseInputOption(value, &input, error)) {
            return false;
        }
        options->commands.emplace_back(input);
        return true;
    }
    OutputCommand output;
    if (!ParseOutputOption(value, &output, error)) {
        return false;
    }
    options->commands.emplace_back(output);
    return true;
}

// Applies the option `name` with its `value`.
bool ApplyOption(const std::string& name, const std::string& value, ToolOptions* options, int depth,
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
    } else if (name == "--stats") {
        options->statsFile = value;
        options->environment.push_back("STREAMCOURIER_STATS_FILE=" + value);
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
    } else if (name == "--file") {
        return ApplyFile(value, options, depth, error);
    } else {
        return ApplyCommandOption(name, value, options, error);
    }
    return true;
}

bool TakesValue(const std::string& arg) {
    return arg == "--exe" || arg == "--port" || arg == "--wait" || arg == "--env" ||
           arg == "--stats" || arg == "--file" || arg == "--media-seconds" || arg == "--input" ||
           arg == "--output" || arg == "--layout" || arg == "--record" || IsMediaOption(arg);
}

bool ParseArgs(const std::vector<std::string>& args, ToolOptions* options, int depth,
               std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--strict") {
            options->strict = true;
        } else if (arg == "--after-media") {
            options->afterMedia = options->commands.size();
        } else if (TakesValue(arg)) {
            if (i + 1 == args.size()) {
                *error = arg + " needs a value";
                return false;
            }
            if (!ApplyOption(arg, args[++i], options, depth, error)) {
                return false;
            }
        } else if (arg.compare(0, 2, "--") == 0) {
            *error = "unknown option " + arg;
            return false;
        } else {
            options->commands.emplace_back(ExpandCommand(arg));
        }
    }
    return true;
}

}  // namespace

bool ParseToolOptions(const std::vector<std::string>& args, ToolOptions* options,
                      std::string* error) {
    return ParseArgs(args, options, 0, error);
}

std::vector<std::string> ArgsFromLines(const std::string& text) {
    std::vector<std::string> args;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = Trimmed(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const size_t blank = line.find_first_of(" \t");
        if (line.compare(0, 2, "--") == 0 && blank != std::string::npos) {
            args.push_back(line.substr(0, blank));
            args.push_back(Trimmed(line.substr(blank)));
        } else {
            args.push_back(line);
        }
    }
    return args;
}

std::string ExpandCommand(const std::string& command) {
    if (command == "keepalive") {
        return CommandBuilder::KeepAlive();
    }
    if (command == "create-context") {
        return CommandBuilder(CommandBuilder::kCreateContext).Text();
    }
    const std::string recording = ExpandRecordWord(command);
    return recording.empty() ? command : recording;
}

const char* ToolUsage() {
    return "usage: qxhost [--exe PATH] [--port N] [--wait MS] [--strict] [--env NAME=VALUE]...\n"
           "              [--video K=V,...]... [--h264 K=V,...]... [--audio K=V,...]...\n"
           "              [--media-seconds N] [--file FILE]...\n"
           "              [COMMAND | --input K=V,... | --output K=V,... [--layout K=V,...]...\n"
           "               | --record K=V,...]... [--after-media COMMAND...]\n"
           "Listens on 127.0.0.1, creates the shared memory of the media streams, starts\n"
           "StreamCourier -port N, sends the commands in order, prints '-> sent' and\n"
           "'<- received' lines, writes the media streams for N seconds (with a KeepAlive every\n"
           "3 s), waits MS milliseconds (default 1000) for responses, closes the session and\n"
           "prints StreamCourier's exit code.\n"
           "  --exe PATH    the program to start (default: StreamCourier beside qxhost)\n"
           "  --port N      the port to listen on (default 0: any free port)\n"
           "  --strict      wait up to 5 s for the answer to each command before the next; stop\n"
           "                and fail when one does not come or reports a Result other than 0\n"
           "  --file FILE   a scenario: one COMMAND or option a line ('--output url=...');\n"
           "                blank lines and '#' lines are skipped\n"
           "  --env N=V     sets an environment variable for the program\n"
           "  --stats FILE  the program writes its pushers' statistics there every second;\n"
           "                qxhost prints the last ones before it ends the session\n"
           "Commands:\n"
           "  COMMAND       XML text sent as it is, 'keepalive', 'create-context',\n"
           "                'record-pause', 'record-resume', 'record-stop' or 'record-time'\n"
           "  --input K=V,...   CreateInput: user=N,type=T,media=0,context=C\n"
           "  --output K=V,...  SetOutParam: url=U (repeatable; no commas in U),canvas=WxH,\n"
           "                    rate=30,quality=2,audio=H[+H...],hasaudio=0|1 (default: 1 with\n"
           "                    audio inputs),context=C\n"
           "  --layout K=V,...  one video input of the --output before it (the order gives\n"
           "                    the index): input=H,x=0,y=0,size=WxH,crop=M,border=B,\n"
           "                    bordercolor=R:G:B,background=R:G:B (only the keys given are sent;\n"
           "                    the Layout element goes with size)\n"
           "    H is an input handle: a number (a context numbers its inputs from 100), or @N,\n"
           "    the InputHandle StreamCourier answered to this session's N-th CreateInput.\n"
           "    C defaults to the ContextID answered to the last CreateContext (else 10001).\n"
           "  --record K=V,...  RecordParam: path=P,video=1,audio=1,fps=30,vbitrate=2000,\n"
           "                    region=X:Y:WxH,window=ID,samplerate=48000,channels=2,bits=16,\n"
           "                    abitrate=128,mp4=1 (bitrates in kbit/s)\n"
           "  --after-media     the commands after it go out once the media was written\n"
           "Media streams, written after the commands:\n"
           "  --video K=V,...  raw I420 test pictures: channel=3,user=N,size=640x360,rate=30,\n"
           "                   media=0,type=3,pattern=test|sync\n"
           "  --h264 K=V,...   H.264 test pictures: channel=2,user=N,size=640x360,rate=30,\n"
           "                   bitrate=800 (kbit/s),keyint=(2 s of pictures),media=0,type=2,\n"
           "                   pattern=test|sync\n"
           "  --audio K=V,...  PCM: channel=1,user=N,rate=50 (blocks a second),hz=440,\n"
           "                   samplerate=16000,audiochannels=1,media=0,type=1,pattern=tone|sync\n"
           "                   (user is required; each also takes count=N and seconds=N)\n"
           "  --ring K=V,...   PCM into the recording ring: rate=100,hz=440,samplerate=48000,\n"
           "                   audiochannels=2 (each block at most 2048 bytes)\n"
           "    pattern=sync: black pictures with a white one, and silence with a 1 kHz beep of\n"
           "    50 ms, at the same instants: every whole second of media time from 1 s on\n"
           "  --media-seconds N  how long the media streams are written (default 5)\n";
}

}  // namespace qxhost
