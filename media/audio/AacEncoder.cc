#include "media/audio/AacEncoder.h"

#include <cstring>

#include "base/Log.h"
#include "interfaces/QXTypes.h"
#include "media/audio/AdtsAacCodec.h"

namespace streammanager {

AacEncoder::AacEncoder(uint32_t resampleBufferSize, std::unique_ptr<AacCodec> codec)
    : resampleBufferSize_(resampleBufferSize),
      codec_(codec != nullptr ? std::move(codec) : std::make_unique<AdtsAacCodec>()) {}

AacEncoder::~AacEncoder() {
    Release();
}

int32_t AacEncoder::Init(const WaveFormat* format, uint32_t* outPcmSize) {
    if (initialised_) {
        SC_LOG("AacEncoder Init failed, is Init already.\n");
        return E_FAIL;
    }
    if (format == nullptr) {
        return E_FAIL;
    }
    resampleBuffer_.assign(resampleBufferSize_, 0);
    resample_ = std::make_unique<AudioResample>(*format);
    resample_->Open();  // a source it cannot convert only makes its conversions fail

    AacSettings settings;
    settings.sampleRate = kSampleRate;
    settings.channels = kChannels;
    settings.bitRate = kBitRate;
    settings.useTns = true;
    settings.allowMidSide = true;
    if (!codec_->Open(settings, &inputSamples_, &maxOutputBytes_) || inputSamples_ == 0) {
        SC_LOG("faacEncOpen failed.\n");
        Release();
        return E_FAIL;
    }
    m_out_pcm_size = inputSamples_ * 2;
    frameBuffer_.assign(FrameBufferBytes() / 2, 0);
    fill_ = 0;
    initialised_ = true;
    if (outPcmSize != nullptr) {
        *outPcmSize = m_out_pcm_size;
    }
    return S_OK;
}

int32_t AacEncoder::EncodeAacData(const uint8_t* pcm, uint32_t length, uint8_t* output,
                                  int32_t* outLength) {
    if (!initialised_ || output == nullptr || outLength == nullptr ||
        (pcm == nullptr && length > 0)) {
        SC_LOG("EncodeAacData failed.\n");
        return E_FAIL;
    }
    if (length > m_out_pcm_size) {
        SC_LOG("EncodeAacData failed i_length(%d) > m_out_pcm_size(%d).\n",
               static_cast<int>(length), static_cast<int>(m_out_pcm_size));
        return E_FAIL;
    }
    // A burst that would overflow loses what was waiting, not the new block.
    if (fill_ + length > FrameBufferBytes()) {
        fill_ = 0;
    }
    if (length > 0) {
        std::memcpy(FrameBytes() + fill_, pcm, length);
        fill_ += length;
    }
    if (fill_ < m_out_pcm_size) {
        *outLength = -1;
        return S_OK;
    }
    return EncodeFrame(output, outLength);
}

int32_t AacEncoder::EncodeFrame(uint8_t* output, int32_t* outLength) {
    const int32_t written =
        codec_->Encode(frameBuffer_.data(), m_out_pcm_size / 2, output, maxOutputBytes_);
    if (written < 0) {
        *outLength = -1;
        SC_LOG("faacEncEncode failed.\n");
        return E_FAIL;  // the waiting PCM stays
    }
    *outLength = written;
    fill_ -= m_out_pcm_size;
    std::memmove(FrameBytes(), FrameBytes() + m_out_pcm_size, fill_);
    return S_OK;
}

int32_t AacEncoder::Uninit() {
    if (!initialised_) {
        return E_FAIL;
    }
    Release();
    return S_OK;
}

void AacEncoder::Release() {
    codec_->Close();
    resampleBuffer_.clear();
    resampleBuffer_.shrink_to_fit();
    frameBuffer_.clear();
    frameBuffer_.shrink_to_fit();
    resample_.reset();
    fill_ = 0;
    initialised_ = false;
}

}  // namespace streammanager
