#include "framework/recorder/RecordMuxer.h"

#include <cstdio>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace framework {

namespace {

// FFmpeg's own lines (x264's banner, muxer warnings) would go to standard error; the recorder
// writes its reasons to its log instead.
void QuietLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof(text));
    return text;
}

}  // namespace

bool RecordMuxer::Prepare(bool mp4, const std::string& path) {
    Abandon();
    QuietLibraryOnce();
    mp4_ = mp4;
    path_ = path;
    return avformat_alloc_output_context2(&output_, nullptr, mp4 ? "mp4" : "flv", path.c_str()) >=
               0 &&
           output_ != nullptr;
}

int RecordMuxer::AddStream(const AVCodecContext* encoder) {
    AVStream* stream = output_ != nullptr ? avformat_new_stream(output_, nullptr) : nullptr;
    if (stream == nullptr || avcodec_parameters_from_context(stream->codecpar, encoder) < 0) {
        return -1;
    }
    stream->time_base = encoder->time_base;
    timeBases_.push_back(TimeBase{encoder->time_base.num, encoder->time_base.den});
    return stream->index;
}

HRESULT RecordMuxer::Open(std::string* why) {
    if (output_ == nullptr || timeBases_.empty()) {
        *why = "no streams";
        return REC_E_ENCODER;
    }
    const int opened = avio_open(&output_->pb, path_.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) {
        *why = "cannot create the file: " + ErrorText(opened);
        return REC_E_FILE;
    }
    fileOpen_ = true;
    AVDictionary* options = nullptr;
    // What the container has finished (an FLV tag, an MP4 fragment) reaches the file at once,
    // not when the I/O buffer fills: a killed process loses only what was still being made.
    av_dict_set(&options, "flush_packets", "1", 0);
    if (mp4_) {
        bool video = false;
        for (unsigned i = 0; i < output_->nb_streams; ++i) {
            video = video || output_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
        }
        av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
        if (!video) {
            av_dict_set(&options, "frag_duration", "1000000", 0);  // microseconds
        }
    }
    const int written = avformat_write_header(output_, &options);
    av_dict_free(&options);
    if (written < 0) {
        *why = "the container refuses the streams: " + ErrorText(written);
        return written == AVERROR(EIO) || written == AVERROR(ENOSPC) ? REC_E_FILE : REC_E_ENCODER;
    }
    headerWritten_ = true;
    return S_OK;
}

bool RecordMuxer::Write(AVPacket* packet, int stream) {
    if (!headerWritten_ || stream < 0 || stream >= static_cast<int>(timeBases_.size())) {
        av_packet_unref(packet);
        return false;
    }
    const TimeBase& from = timeBases_[stream];
    av_packet_rescale_ts(packet, AVRational{from.num, from.den},
                         output_->streams[stream]->time_base);
    packet->stream_index = stream;
    return av_interleaved_write_frame(output_, packet) >= 0;
}

bool RecordMuxer::Finish() {
    if (!headerWritten_) {
        Abandon();
        return false;
    }
    const bool trailer = av_write_trailer(output_) >= 0;
    const bool closed = avio_closep(&output_->pb) >= 0;
    avformat_free_context(output_);
    output_ = nullptr;
    timeBases_.clear();
    fileOpen_ = false;
    headerWritten_ = false;
    return trailer && closed;
}

void RecordMuxer::Abandon() {
    if (output_ != nullptr && fileOpen_) {
        avio_closep(&output_->pb);
        std::remove(path_.c_str());
    }
    avformat_free_context(output_);
    output_ = nullptr;
    timeBases_.clear();
    fileOpen_ = false;
    headerWritten_ = false;
}

}  // namespace framework
