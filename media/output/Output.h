// The composed output of a context: the video mixer that composes and encodes the booked video
// inputs, the AAC path of the booked audio inputs, and one RTMP pusher per CDN URL. It runs
// the encoder at what the links carry (BitrateController, looked at every half second from the
// mixer's thread) and gives its pushers a key frame when they ask, at most once a second.
//
// Owns the mixer (made through the framework once, reconfigured after), the two default
// pictures, the audio path with its encoder, the video records and the pushers; keeps the
// context (as IInputBooking), the memory allocator, the framework and its configuration centre
// as plain pointers. Owned by its Context through a shared owner.
// Threads: the control path (the pump thread) sets it up, changes it and stops it; receiver
// threads deliver units and clocks; the mixer's thread hands every encoded canvas frame to
// the pushers (and adapts the bitrate); push threads ask for key frames. Its three locks live
// in its parts: the audio lock in OutputAudio, the video lock in OutputVideo, the pusher lock
// in PusherList; the video lock is taken after the context's, the protocol's and an input's
// lock, and the pusher lock is a leaf. bitrateLock_ guards the controller; it is taken before
// the pusher lock and the video lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "interfaces/IComponentFactory.h"
#include "interfaces/IConfigCenter.h"
#include "interfaces/IMemoryAllocator.h"
#include "interfaces/IUnknown.h"
#include "interfaces/IVideoMixer.h"
#include "interfaces/RefPtr.h"
#include "media/audio/WaveFormat.h"
#include "media/input/IInputMediaSink.h"
#include "media/input/MediaTypes.h"
#include "media/output/BitrateController.h"
#include "media/output/DefaultPicture.h"
#include "media/output/IInputBooking.h"
#include "media/output/OutputAudio.h"
#include "media/output/OutputParams.h"
#include "media/output/OutputVideo.h"
#include "media/output/PusherList.h"
#include "platform/Mutex.h"

namespace streammanager {

class Output : public IInputMediaSink {
  public:
    Output();
    ~Output() override;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // 0, or E_FAIL (no framework, no configuration centre), or the AAC encoder's failure.
    int32_t Init(IInputBooking* context, int32_t contextId, IMemoryAllocator* memoryAllocator,
                 IUnknown* framework, const WaveFormat& waveFormat);
    // Bits per second for a canvas of width × height at frameRate and a quality level 1 to 3
    // (each tripling of the pixels doubles the rate); 0 for any other level.
    static int32_t GetBitRate(int32_t width, int32_t height, int32_t frameRate,
                              int32_t qualityLevel);
    // Mixer first, then the audio inputs, then the video layout. 0, E_FAIL, or the 16-bit
    // code of the audio or video step.
    int32_t SetOutputParam(const AudioOutputParam& audio, const VideoEncodeParam& encode,
                           const VideoOutputParam& layout);
    // Makes the pushers match the URL list. 0 or E_FAIL.
    int32_t InitRtmpPusher(const std::vector<std::string>& urls);
    void StopAllPushers();
    // Lets go of an input that the context is removing.
    void RemoveMediaInput(uint8_t mediaType, int32_t inputHandle);

    int32_t OnMediaData(int32_t inputHandle, const MediaDataDesc* desc, const uint8_t* data,
                        uint32_t length) override;
    int32_t SetSyncTimer(int32_t inputHandle, IPlaySyncTime* clock) override;

    // For tests and diagnostics.
    PusherList& Pushers() { return pushers_; }
    OutputVideo& Video() { return video_; }

  private:
    int32_t ConfigCenterInit();
    int32_t VideoMixerInit(const VideoEncodeParam& encode);
    static void OnMixedVideo(void* owner, const uint8_t* data, uint32_t length, int32_t keyFrame);
    // A pusher asks for a key frame; the encoder gets at most one request a second.
    void RequestKeyFrame();
    // Every half second, on the mixer's thread: the bitrate the links carry.
    void AdaptBitrate(uint64_t nowUs);

    // Passed by Init; not owned.
    IInputBooking* context_ = nullptr;
    int32_t contextId_ = 0;
    IMemoryAllocator* memoryAllocator_ = nullptr;
    RefPtr<IComponentFactory> framework_;
    IConfigCenter* configCenter_ = nullptr;  // never released: the framework keeps it

    // Made by this (the mixer on the first SetOutputParam, on the control path).
    RefPtr<IVideoMixer> mixer_;
    DefaultPicture withSound_;     // "Resource/default_video.bmp"
    DefaultPicture withoutSound_;  // "Resource/unopen_audio_video.bmp"
    PusherList pushers_;
    OutputAudio audio_;
    OutputVideo video_;

    platform::Mutex bitrateLock_;
    BitrateController bitrate_ GUARDED_BY(bitrateLock_);
    uint64_t nextAdaptUs_ GUARDED_BY(bitrateLock_) = 0;
    std::atomic<uint64_t> lastKeyRequestUs_{0};
};

}  // namespace streammanager
