#include "media/push/TsMuxer.h"

#include <algorithm>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace streammanager {

int TsMuxer::WritePiece(void* opaque, uint8_t* data, int size) {
    const auto* muxer = static_cast<const TsMuxer*>(opaque);
    return muxer->sink_(data, size) ? size : AVERROR(EIO);
}

bool TsMuxer::Open(const Streams& streams) {
    Close();
    streams_ = streams;
    if (avformat_alloc_output_context2(&context_, nullptr, "mpegts", nullptr) < 0) {
        return false;
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(static_cast<size_t>(chunkSize_)));
    context_->pb = buffer != nullptr ? avio_alloc_context(buffer, chunkSize_, 1, this, nullptr,
                                                          WritePiece, nullptr)
                                     : nullptr;
    if (context_->pb == nullptr) {
        av_free(buffer);
        Close();
        return false;
    }
    if (streams.width > 0) {
        video_ = avformat_new_stream(context_, nullptr);
        if (video_ != nullptr) {
            video_->time_base = AVRational{1, 1000};
            video_->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
            video_->codecpar->codec_id = AV_CODEC_ID_H264;
            video_->codecpar->width = streams.width;
            video_->codecpar->height = streams.height;
        }
    }
    if (streams.sampleRate > 0) {
        audio_ = avformat_new_stream(context_, nullptr);
        if (audio_ != nullptr) {
            audio_->time_base = AVRational{1, 1000};
            audio_->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
            audio_->codecpar->codec_id = AV_CODEC_ID_AAC;
            audio_->codecpar->sample_rate = streams.sampleRate;
            av_channel_layout_default(&audio_->codecpar->ch_layout, streams.channels);
        }
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "pes_payload_size", "0", 0);  // no sound frames held back for a PES
    const bool ready = (streams.width <= 0 || video_ != nullptr) &&
                       (streams.sampleRate <= 0 || audio_ != nullptr) &&
                       avformat_write_header(context_, &options) >= 0;
    av_dict_free(&options);
    if (!ready) {
        Close();
        return false;
    }
    avio_flush(context_->pb);
    return context_->pb->error == 0;
}

void TsMuxer::Close() {
    if (context_ == nullptr) {
        return;
    }
    if (context_->pb != nullptr) {
        av_freep(&context_->pb->buffer);
        avio_context_free(&context_->pb);
    }
    avformat_free_context(context_);
    context_ = nullptr;
    video_ = nullptr;
    audio_ = nullptr;
    lastVideo_ = -1;
    lastAudio_ = -1;
    streams_ = Streams{};
}

bool TsMuxer::WriteVideo(const uint8_t* annexB, int32_t length, bool keyFrame, uint64_t ms) {
    return Write(video_, annexB, length, keyFrame, ms, &lastVideo_);
}

bool TsMuxer::WriteAudio(const uint8_t* adts, int32_t length, uint64_t ms) {
    return Write(audio_, adts, length, true, ms, &lastAudio_);
}

bool TsMuxer::Write(AVStream* stream, const uint8_t* data, int32_t length, bool keyFrame,
                    uint64_t ms, int64_t* last) {
    if (context_ == nullptr || stream == nullptr || length <= 0) {
        return false;
    }
    int64_t stamp = av_rescale_q(static_cast<int64_t>(ms), AVRational{1, 1000}, stream->time_base);
    stamp = std::max(stamp, *last + 1);
    *last = stamp;
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr) {
        return false;
    }
    packet->data = const_cast<uint8_t*>(data);  // the muxer only reads it
    packet->size = length;
    packet->stream_index = stream->index;
    packet->pts = stamp;
    packet->dts = stamp;
    packet->flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
    const int result = av_write_frame(context_, packet);
    av_packet_free(&packet);
    avio_flush(context_->pb);
    return result >= 0 && context_->pb->error == 0;
}

}  // namespace streammanager
