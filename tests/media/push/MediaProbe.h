// ffprobe and ffmpeg on one source, a file or a live URL, for the tests that look at media that
// reached a server, a listener or a file: its streams, its packets, a decoded key picture and
// what decoding it all complains about. Each call runs the tool once (a live source is read
// with a 5 s time-out). Owned and used by one thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/media/push/FfTool.h"

namespace rtmptest {

class MediaProbe {
  public:
    static constexpr int kToolMs = 20000;

    // `folder` takes the tools' output files.
    MediaProbe(std::string folder, std::string source)
        : folder_(std::move(folder)), source_(std::move(source)) {}

    // Each stream once: codec_type, codec_name, width, height, avg_frame_rate, sample_rate,
    // channels.
    std::vector<Fields> Streams() const {
        std::vector<Fields> streams;
        std::set<std::string> seen;  // a program lists its streams again
        for (const Fields& stream :
             Sections(Probe({"-show_entries",
                             "stream=index,codec_type,codec_name,width,height,"
                             "avg_frame_rate,sample_rate,channels"}),
                      "STREAM")) {
            if (seen.insert(stream.count("index") != 0 ? stream.at("index") : "").second) {
                streams.push_back(stream);
            }
        }
        return streams;
    }
    // The first stream of `type` ("video", "audio"); empty when there is none.
    Fields Stream(const std::string& type) const {
        for (const Fields& stream : Streams()) {
            if (stream.at("codec_type") == type) {
                return stream;
            }
        }
        return {};
    }
    // Its picture and sound in short: "h264 320x180, aac 48000 Hz 2 ch" (a part empty when the
    // stream is missing).
    std::string Summary() const {
        std::string video, audio;
        for (Fields stream : Streams()) {
            if (stream["codec_type"] == "video") {
                video = stream["codec_name"] + " " + stream["width"] + "x" + stream["height"];
            } else if (stream["codec_type"] == "audio") {
                audio = stream["codec_name"] + " " + stream["sample_rate"] + " Hz " +
                        stream["channels"] + " ch";
            }
        }
        return video + ", " + audio;
    }
    // The onMetaData of an FLV source as it arrived, each value as text (without
    // -flv_full_metadata, ffprobe keeps only the keys it does not read itself); nginx's
    // |RtmpSampleAccess is left out.
    Fields MetaData() const {
        Fields tags;
        for (const Fields& format : Sections(
                 Probe({"-flv_full_metadata", "1", "-show_entries", "format_tags"}), "FORMAT")) {
            for (const auto& [key, value] : format) {
                if (key.rfind("TAG:", 0) == 0 && key.rfind("TAG:|", 0) != 0) {
                    tags[key.substr(4)] = value;
                }
            }
        }
        return tags;
    }
    // The packets (codec_type, pts, pts_time, flags) of the streams `select` picks ("v", "a";
    // "" for all), the first `count` of them (0: all).
    std::vector<Fields> Packets(const std::string& select = "", int count = 0) const {
        std::vector<std::string> args;
        if (!select.empty()) {
            args.insert(args.end(), {"-select_streams", select});
        }
        if (count > 0) {
            args.insert(args.end(), {"-read_intervals", "%+#" + std::to_string(count)});
        }
        args.insert(args.end(), {"-show_entries", "packet=codec_type,pts,pts_time,flags"});
        return Sections(Probe(args), "PACKET");
    }
    // The widest step between the presentation times of `select`'s packets, in seconds, with
    // their number; -1 without two packets.
    double WidestGap(const std::string& select, int* packets = nullptr) const {
        double last = -1, widest = -1;
        int counted = 0;
        for (const Fields& packet : Packets(select)) {
            const double at = std::atof(packet.at("pts_time").c_str());
            widest = last < 0 ? widest : std::max(widest, at - last);
            last = at;
            ++counted;
        }
        if (packets != nullptr) {
            *packets = counted;
        }
        return widest;
    }
    // A key picture decoded to I420 (`width` x `height`): a live stream's first, a file's last.
    std::vector<uint8_t> KeyPicture(int width, int height) const {
        const bool live = IsLive();
        std::vector<std::string> args = {"-v", "error"};
        if (live) {
            args.insert(args.end(), {"-rw_timeout", "5000000"});
        }
        args.insert(args.end(), {"-skip_frame", "nokey", "-i", source_});
        if (live) {
            args.insert(args.end(), {"-frames:v", "1"});
        }
        args.insert(args.end(), {"-f", "rawvideo", "-pix_fmt", "yuv420p", "-"});
        FfTool ffmpeg(folder_, "ffmpeg", args);
        if (!ffmpeg.Finish(kToolMs)) {
            return {};
        }
        const std::string pictures = ffmpeg.Read(".out");
        const size_t size = static_cast<size_t>(width) * height * 3 / 2;
        const size_t from = pictures.size() < size ? 0 : pictures.size() - size;
        return std::vector<uint8_t>(pictures.begin() + static_cast<std::ptrdiff_t>(from),
                                    pictures.end());
    }
    // What ffmpeg says while decoding the whole source ("" when nothing); "timed out" when it
    // did not end in time. The frames keep the source's time base, so that a rate that changes
    // (a slow link's) rounds no two of them onto one timestamp.
    std::string DecodeErrors() const {
        FfTool ffmpeg(folder_, "ffmpeg",
                      {"-v", "error", "-i", source_, "-enc_time_base", "-1", "-f", "null", "-"});
        return ffmpeg.Finish(kToolMs) ? ffmpeg.Read(".err") : "timed out";
    }

  private:
    bool IsLive() const { return source_.find("://") != std::string::npos; }
    // ffprobe's output with these arguments ("" when it did not end in time).
    std::string Probe(std::vector<std::string> args) const {
        args.insert(args.begin(), {"-v", "error"});
        if (IsLive()) {
            args.insert(args.end(), {"-rw_timeout", "5000000"});
        }
        args.push_back(source_);
        FfTool probe(folder_, "ffprobe", args);
        return probe.Finish(kToolMs) ? probe.Read(".out") : "";
    }

    const std::string folder_;
    const std::string source_;
};

}  // namespace rtmptest
