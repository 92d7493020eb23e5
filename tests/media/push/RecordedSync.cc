#include "tests/media/push/RecordedSync.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/media/push/FfTool.h"
#include "tests/media/push/FlashEdge.h"
#include "tests/media/push/MediaProbe.h"

namespace rtmptest {

namespace {

constexpr uint32_t kAacFrame = 1024;
constexpr int kToolMs = 60000;  // the longest an ffmpeg or ffprobe run may take
constexpr double kOutputRate = 48000;

// "key:value" from a showinfo line (value up to the next space or ']').
bool ShowinfoValue(const std::string& line, const std::string& key, double* value) {
    const size_t at = line.find(key);
    if (at == std::string::npos) {
        return false;
    }
    *value = std::atof(line.c_str() + at + key.size());
    return true;
}

// The onsets in `left`, sample i placed in packet i / 1024.
std::vector<Onset> FindOnsets(const std::vector<int16_t>& left,
                              const std::vector<double>& packetPts) {
    int peak = 0;
    for (const int16_t sample : left) {
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    const int threshold = peak * 3 / 10;
    const size_t quiet = static_cast<size_t>(kOutputRate / 5);
    std::vector<Onset> onsets;
    size_t below = quiet;
    for (size_t i = 0; i < left.size(); ++i) {
        if (std::abs(static_cast<int>(left[i])) <= threshold) {
            ++below;
            continue;
        }
        if (below >= quiet && threshold > 0) {
            Onset onset;
            onset.packetPtsMs = packetPts[i / kAacFrame];
            onset.inPacketMs = static_cast<double>(i % kAacFrame) * 1000.0 / kOutputRate;
            onset.ptsMs = onset.packetPtsMs + onset.inPacketMs;
            onsets.push_back(onset);
        }
        below = 0;
    }
    return onsets;
}

}  // namespace

std::vector<double> RecordedFlashes(const std::string& folder, const std::string& recording) {
    rtmptest::FfTool ffmpeg(folder, "ffmpeg",
                            {"-nostdin", "-v", "info", "-nostats", "-i", recording, "-map", "0:v:0",
                             "-vf", "scale=32:18,showinfo", "-f", "null", "-"});
    std::vector<double> flashes;
    if (!ffmpeg.Finish(kToolMs)) {
        return flashes;
    }
    std::istringstream lines(ffmpeg.Read(".err"));
    FlashEdge edge;
    for (std::string line; std::getline(lines, line);) {
        double pts = 0, luma = 0;
        if (line.find("Parsed_showinfo") != std::string::npos &&
            ShowinfoValue(line, "pts_time:", &pts) && ShowinfoValue(line, "mean:[", &luma) &&
            edge.IsFlash(luma)) {
            flashes.push_back(pts * 1000.0);
        }
    }
    return flashes;
}

std::vector<Onset> RecordedOnsets(const std::string& folder, const std::string& recording,
                                  std::string* error) {
    const std::string pcmFile = folder + "/sound.s16";
    rtmptest::FfTool decode(
        folder, "ffmpeg",
        {"-nostdin", "-v", "error", "-y", "-i", recording, "-map", "0:a:0", "-af", "pan=mono|c0=FL",
         "-f", "s16le", "-acodec", "pcm_s16le", pcmFile});
    std::vector<double> packetPts;
    for (const Fields& packet : MediaProbe(folder, recording).Packets("a:0")) {
        packetPts.push_back(std::atof(packet.at("pts").c_str()));
    }
    if (!decode.Finish(kToolMs) || decode.ExitCode() != 0 || packetPts.empty()) {
        *error = "ffprobe or ffmpeg failed on the recording";
        return {};
    }
    std::ifstream file(pcmFile, std::ios::binary | std::ios::ate);
    std::vector<int16_t> left(file ? static_cast<size_t>(file.tellg()) / 2 : 0);
    file.seekg(0);
    file.read(reinterpret_cast<char*>(left.data()), static_cast<std::streamsize>(left.size() * 2));
    if (left.size() != packetPts.size() * kAacFrame) {
        *error = "decoded sound (" + std::to_string(left.size()) +
                 " samples) is not 1024 for each of " + std::to_string(packetPts.size()) +
                 " packets";
        return {};
    }
    return FindOnsets(left, packetPts);
}

}  // namespace rtmptest
