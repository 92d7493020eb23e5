// ffmpeg, ffprobe and srt-live-transmit for tests that look at what reached a real server: a
// run as a child process with its output and errors in files, and ffprobe's sections read back.
#pragma once

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/Clock.h"

namespace rtmptest {

// key=value pairs of one ffprobe section ([STREAM], [PACKET], [FORMAT]).
using Fields = std::map<std::string, std::string>;

// A tool (from PATH) as a child process, its output and errors going to files in
// `folder`; a run still going when the object goes is killed.
class FfTool {
  public:
    FfTool(const std::string& folder, const std::string& program, std::vector<std::string> args)
        : files_(folder + "/" + program + "-" + std::to_string(++runs_)) {
        // The shell only sets up the redirections, then becomes the program.
        args.insert(args.begin(), {"sh", "-c", "exec \"$0\" \"$@\" >\"$OUT\" 2>\"$ERR\"", program});
        started_ =
            process_.Start("/bin/sh", args, {"OUT=" + files_ + ".out", "ERR=" + files_ + ".err"});
    }
    // True once the run has ended within timeoutMs.
    bool Finish(int timeoutMs) { return started_ && process_.WaitExit(timeoutMs); }
    int ExitCode() const { return process_.ExitCode(); }
    // Asks the run to end as Ctrl-C does: ffmpeg then finishes its output file.
    void Interrupt() { process_.Signal(SIGINT); }
    // Ends the run at once, as a crash would.
    void Kill() {
        process_.Signal(SIGKILL);
        process_.WaitExit(-1);
    }
    // The file of its output (".out") or errors (".err").
    std::string Path(const char* suffix) const { return files_ + suffix; }
    // What it wrote to ".out" or ".err".
    std::string Read(const char* suffix) const {
        std::stringstream text;
        text << std::ifstream(files_ + suffix, std::ios::binary).rdbuf();
        return text.str();
    }
    // Milliseconds until its output holds `bytes`, or -1 when it ended or timeoutMs passed
    // first. Looks every 20 ms, the pauses being waits for the run to end.
    int64_t WaitForOutput(size_t bytes, int timeoutMs) {
        const uint64_t start = platform::MonotonicMicros();
        for (;;) {
            const auto elapsedMs =
                static_cast<int64_t>((platform::MonotonicMicros() - start) / 1000);
            std::ifstream out(files_ + ".out", std::ios::binary | std::ios::ate);
            if (out && static_cast<size_t>(out.tellg()) >= bytes) {
                return elapsedMs;
            }
            if (elapsedMs > timeoutMs || Finish(kPauseMs)) {
                return -1;
            }
        }
    }

  private:
    static constexpr int kPauseMs = 20;
    static inline int runs_ = 0;
    const std::string files_;
    platform::ChildProcess process_;
    bool started_ = false;
};

// ffprobe's default writer with section wrappers: one Fields per [section].
inline std::vector<Fields> Sections(const std::string& output, const std::string& section) {
    std::vector<Fields> sections;
    std::istringstream lines(output);
    bool inside = false;
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (line == "[" + section + "]") {
            sections.emplace_back();
            inside = true;
        } else if (line == "[/" + section + "]") {
            inside = false;
        } else if (inside && equals != std::string::npos) {
            sections.back()[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return sections;
}

inline int ToInt(const Fields& fields, const std::string& key) {
    const auto found = fields.find(key);
    return found == fields.end() ? -1 : std::atoi(found->second.c_str());
}

}  // namespace rtmptest
