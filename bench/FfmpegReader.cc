#include "bench/FfmpegReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>

#include "bench/Words.h"
#include "platform/Clock.h"

namespace bench {

bool FfmpegReader::Start() {
    if (mkfifo(fifo_.c_str(), 0600) != 0 || !child_.Start("/bin/sh", Args(), {"ERR=" + errors_})) {
        return false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void FfmpegReader::Stop() {
    EndChild();
    if (thread_.joinable()) {
        // Lets a reader still waiting for the FIFO's writer go.
        const int release = open(fifo_.c_str(), O_WRONLY | O_NONBLOCK);
        if (release >= 0) {
            close(release);
        }
        thread_.join();
    }
}

std::vector<std::string> FfmpegReader::Args() const {
    const char* ffmpeg = std::getenv("FFMPEG");
    std::vector<std::string> args = {"sh", "-c", "exec \"$0\" \"$@\" 2>\"$ERR\"",
                                     ffmpeg != nullptr ? ffmpeg : "/usr/bin/ffmpeg"};
    std::vector<std::string> input = Words(
        "-nostdin -v error -fflags nobuffer -flags low_delay -probesize 32 "
        "-analyzeduration 0 -threads 1 -rw_timeout 5000000");
    if (!format_.empty()) {
        input.insert(input.end(), {"-f", format_});
    }
    input.insert(input.end(), {"-i", url_});
    const std::vector<std::string> output = Words(
        "-an -vf scale=32:18 -pix_fmt gray -fps_mode passthrough -flush_packets 1 "
        "-f rawvideo -y",
        {fifo_});
    args.insert(args.end(), input.begin(), input.end());
    args.insert(args.end(), output.begin(), output.end());
    return args;
}

std::vector<std::string> FfmpegReader::ErrorLines() const {
    std::ifstream errors(errors_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(errors, line);) {
        lines.push_back(line);
    }
    return lines;
}

void FfmpegReader::EndChild() {
    if (child_.IsRunning()) {
        child_.Signal(SIGTERM);
        if (!child_.WaitExit(3000)) {
            child_.Signal(SIGKILL);
            child_.WaitExit(-1);
        }
    }
}

void FfmpegReader::Run() {
    const int fd = open(fifo_.c_str(), O_RDONLY);
    if (fd >= 0) {
        ReadFrames(fd);
        close(fd);
    }
}

void FfmpegReader::ReadFrames(int fd) {
    std::vector<uint8_t> frame(kWidth * kHeight);
    size_t filled = 0;
    for (;;) {
        const ssize_t got = read(fd, frame.data() + filled, frame.size() - filled);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        filled += static_cast<size_t>(got);
        if (filled < frame.size()) {
            continue;
        }
        const uint64_t seenUs = platform::MonotonicMicros();
        double sum = 0;
        for (const uint8_t value : frame) {
            sum += value;
        }
        pictures_.push_back({seenUs, seenUs, 0, sum / static_cast<double>(frame.size())});
        filled = 0;
    }
}

}  // namespace bench
