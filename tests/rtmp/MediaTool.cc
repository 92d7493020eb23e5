#include "tests/rtmp/MediaTool.h"

#include <csignal>
#include <fstream>
#include <sstream>
#include <utility>

namespace rtmptest {

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

MediaTool::MediaTool(std::string folder, std::string name)
    : folder_(std::move(folder)), name_(std::move(name)) {}

MediaTool::~MediaTool() {
    if (process_.IsRunning()) {
        process_.Signal(SIGKILL);
        process_.WaitExit(-1);
    }
}

bool MediaTool::Start(const std::string& program, const std::vector<std::string>& args) {
    // The shell only sets up the redirections, then becomes the program.
    std::vector<std::string> argv = {
        "sh", "-c", "exec \"$0\" \"$@\" >\"$SC_TOOL_OUT\" 2>\"$SC_TOOL_ERR\"", program};
    argv.insert(argv.end(), args.begin(), args.end());
    return process_.Start("/bin/sh", argv,
                          {"SC_TOOL_OUT=" + folder_ + "/" + name_ + ".out",
                           "SC_TOOL_ERR=" + folder_ + "/" + name_ + ".err"});
}

bool MediaTool::Finish(int timeoutMs) {
    if (process_.WaitExit(timeoutMs)) {
        return true;
    }
    process_.Signal(SIGKILL);
    process_.WaitExit(-1);
    return false;
}

std::string MediaTool::Output() const {
    return ReadFile(folder_ + "/" + name_ + ".out");
}

std::string MediaTool::Errors() const {
    return ReadFile(folder_ + "/" + name_ + ".err");
}

std::string MediaTool::Run(const std::string& folder, const std::string& program,
                           const std::vector<std::string>& args, int timeoutMs, int* exitCode,
                           std::string* errors) {
    static int runs = 0;
    MediaTool tool(folder, program + "-" + std::to_string(++runs));
    const bool finished = tool.Start(program, args) && tool.Finish(timeoutMs);
    if (exitCode != nullptr) {
        *exitCode = finished ? tool.ExitCode() : -1;
    }
    if (errors != nullptr) {
        *errors = tool.Errors();
    }
    return finished ? tool.Output() : std::string();
}

std::vector<MediaTool::Fields> MediaTool::Sections(const std::string& output,
                                                   const std::string& section) {
    std::vector<Fields> sections;
    std::istringstream lines(output);
    std::string line;
    bool inside = false;
    while (std::getline(lines, line)) {
        if (line == "[" + section + "]") {
            sections.emplace_back();
            inside = true;
        } else if (line == "[/" + section + "]") {
            inside = false;
        } else if (inside) {
            const size_t equals = line.find('=');
            if (equals != std::string::npos) {
                sections.back()[line.substr(0, equals)] = line.substr(equals + 1);
            }
        }
    }
    return sections;
}

}  // namespace rtmptest
