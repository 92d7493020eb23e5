#include "bench/ViewerRecording.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "bench/LiveMedia.h"

namespace bench {

void ViewerRecording::Start() {
    recorder_ = std::make_unique<rtmptest::FfTool>(
        folder_, "ffmpeg",
        std::vector<std::string>{"-nostdin", "-v", "error", "-rw_timeout", "10000000", "-i", url_,
                                 "-c", "copy", "-f", "flv", "-y", path_});
}

bool ViewerRecording::Stop() {
    if (!recorder_ || recorder_->Finish(0)) {
        return false;  // it should still be running
    }
    recorder_->Interrupt();
    return recorder_->Finish(10000);
}

bool ViewerRecording::DecodesCleanly(std::string* error) const {
    // The pictures keep the stream's millisecond time base (-enc_time_base -1): at the
    // default of a frame interval, two frames stamped under one interval apart would meet at
    // the null muxer and read as an error of the stream.
    rtmptest::FfTool decode(folder_, "ffmpeg",
                            {"-nostdin", "-v", "error", "-xerror", "-i", path_, "-enc_time_base",
                             "-1", "-f", "null", "-"});
    if (!decode.Finish(kToolMs)) {
        *error = "ffmpeg did not finish decoding";
        return false;
    }
    *error = decode.Read(".err");
    return decode.ExitCode() == 0 && error->empty();
}

double ViewerRecording::LongestSoundGapMs() const {
    rtmptest::FfTool probe(
        folder_, "ffprobe",
        {"-v", "error", "-show_entries", "packet=codec_type,pts_time", "-of", "csv=p=0", path_});
    if (!probe.Finish(kToolMs)) {
        return -1;
    }
    std::vector<double> sound;
    double firstPicture = -1, lastPicture = -1;
    std::istringstream lines(probe.Read(".out"));
    for (std::string line; std::getline(lines, line);) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos) {
            continue;
        }
        const double pts = std::atof(line.c_str() + comma + 1) * 1000.0;
        if (line.compare(0, comma, "audio") == 0) {
            sound.push_back(pts);
        } else if (line.compare(0, comma, "video") == 0) {
            firstPicture = firstPicture < 0 ? pts : std::min(firstPicture, pts);
            lastPicture = std::max(lastPicture, pts);
        }
    }
    if (sound.empty()) {
        return -1;
    }
    std::sort(sound.begin(), sound.end());
    double longest = 0;
    if (lastPicture >= 0) {
        longest = std::max({longest, sound.front() - firstPicture, lastPicture - sound.back()});
    }
    for (size_t i = 1; i < sound.size(); ++i) {
        longest = std::max(longest, sound[i] - sound[i - 1]);
    }
    return longest;
}

}  // namespace bench
