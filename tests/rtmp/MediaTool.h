// Runs ffmpeg or ffprobe as a child process with its standard output and error going to files
// in a given folder, and reads what ffprobe reports. A run that has not ended by the time its
// owner asks is killed. Owned and used by one thread.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"

namespace rtmptest {

class MediaTool {
  public:
    // key=value pairs of one stream, packet or tag section.
    using Fields = std::map<std::string, std::string>;

    // `name` keeps this run's output files apart from others' in `folder`.
    MediaTool(std::string folder, std::string name);
    ~MediaTool();
    MediaTool(const MediaTool&) = delete;
    MediaTool& operator=(const MediaTool&) = delete;

    // Starts `program` (found on PATH: "ffmpeg", "ffprobe") with `args`.
    bool Start(const std::string& program, const std::vector<std::string>& args);
    // True once the run has ended within timeoutMs; otherwise it is killed and false returned.
    bool Finish(int timeoutMs);
    int ExitCode() const { return process_.ExitCode(); }
    std::string Output() const;
    std::string Errors() const;

    // Starts, finishes within timeoutMs and returns the standard output ("" on a time-out).
    static std::string Run(const std::string& folder, const std::string& program,
                           const std::vector<std::string>& args, int timeoutMs,
                           int* exitCode = nullptr, std::string* errors = nullptr);

    // ffprobe's default writer with section wrappers: one Fields per [STREAM], [PACKET]...
    static std::vector<Fields> Sections(const std::string& output, const std::string& section);

  private:
    std::string folder_;
    std::string name_;
    platform::ChildProcess process_;
};

}  // namespace rtmptest
