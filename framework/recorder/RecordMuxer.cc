#include "framework/recorder/RecordMuxer.h"

#include <cstdio>

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace framework {

namespace {

std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof(text));
    return text;
}

}  // namespace

bool RecordMuxer::Prepare(bool mp4, const std::string& path) {
    Abandon();
    mp4_ = mp4;
    path_ = path;
    return avformat_alloc_output_context2(&output_, nullptr, mp4 ? "mp4" : "flv", path.c_str()) >=
               0 &&
           output_ != nullptr;
}

AVStream* RecordMuxer::NewStream(const std::vector<uint8_t>& extradata, int rate) {
    AVStream* stream = output_ != nullptr ? avformat_new_stream(output_, nullptr) : nullptr;
    if (stream == nullptr) {
        return nullptr;
    }
    AVCodecParameters* parameters = stream->codecpar;
    parameters->extradata =
        static_cast<uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (parameters->extradata == nullptr) {
        return nullptr;
    }
    if (!extradata.empty()) {
        std::memcpy(parameters->extradata, extradata.data(), extradata.size());
    }
    parameters->extradata_size = static_cast<int>(extradata.size());
    stream->time_base = AVRational{1, rate};
    timeBases_.push_back(TimeBase{1, rate});
    return stream;
}

int RecordMuxer::AddVideoStream(int32_t width, int32_t height, int32_t frameRate,
                                const std::vector<uint8_t>& headers) {
    AVStream* stream = NewStream(headers, 1000);
    if (stream == nullptr) {
        return -1;
    }
    AVCodecParameters* parameters = stream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->codec_id = AV_CODEC_ID_H264;
    parameters->width = width;
    parameters->height = height;
    parameters->format = AV_PIX_FMT_YUV420P;
    parameters->color_range = AVCOL_RANGE_MPEG;
    parameters->color_space = AVCOL_SPC_SMPTE170M;
    parameters->color_primaries = AVCOL_PRI_SMPTE170M;
    parameters->color_trc = AVCOL_TRC_SMPTE170M;
    stream->avg_frame_rate = AVRational{frameRate, 1};
    return stream->index;
}

int RecordMuxer::AddAudioStream(int32_t sampleRate, int32_t channels, int32_t frameSamples,
                                const std::vector<uint8_t>& config) {
    AVStream* stream = NewStream(config, sampleRate);
    if (stream == nullptr) {
        return -1;
    }
    AVCodecParameters* parameters = stream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_AUDIO;
    parameters->codec_id = AV_CODEC_ID_AAC;
    parameters->sample_rate = sampleRate;
    parameters->frame_size = frameSamples;
    parameters->format = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&parameters->ch_layout, channels);
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

bool RecordMuxer::Write(int stream, const uint8_t* data, int32_t size, int64_t pts,
                        int64_t duration, bool keyFrame) {
    if (!headerWritten_ || stream < 0 || stream >= static_cast<int>(timeBases_.size()) ||
        size <= 0 || (packet_ == nullptr && (packet_ = av_packet_alloc()) == nullptr) ||
        av_new_packet(packet_, size) < 0) {
        return false;
    }
    std::memcpy(packet_->data, data, static_cast<size_t>(size));
    packet_->pts = pts;
    packet_->dts = pts;
    packet_->duration = duration;
    packet_->flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
    const TimeBase& from = timeBases_[stream];
    av_packet_rescale_ts(packet_, AVRational{from.num, from.den},
                         output_->streams[stream]->time_base);
    packet_->stream_index = stream;
    const bool written = av_interleaved_write_frame(output_, packet_) >= 0;
    av_packet_unref(packet_);
    return written;
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
    av_packet_free(&packet_);
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
    av_packet_free(&packet_);
    timeBases_.clear();
    fileOpen_ = false;
    headerWritten_ = false;
}

}  // namespace framework
