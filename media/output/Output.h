// The composed output of a context: takes the units of the inputs it books, mixes, encodes and
// pushes them. This is the seam the context and its inputs use; composition, encoding and the
// pushers are still to come, so for now it accepts units and drops them.
//
// Owns nothing yet (it will own the mixer, the AAC encoder and the pushers). Owned by its
// Context through a shared owner; keeps the context (as IInputBooking), the allocator and the
// framework as plain pointers. Threads: the pump thread sets it up and removes inputs; the
// receiver threads deliver units. No lock yet: it keeps no state that units touch.
#pragma once

#include <cstdint>

#include "interfaces/IMemoryAllocator.h"
#include "interfaces/IUnknown.h"
#include "media/audio/WaveFormat.h"
#include "media/input/IInputMediaSink.h"
#include "media/input/MediaTypes.h"
#include "media/output/IInputBooking.h"

namespace streammanager {

class Output : public IInputMediaSink {
  public:
    Output() = default;
    ~Output() override = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // 0, or E_FAIL.
    int32_t Init(IInputBooking* context, IMemoryAllocator* memoryAllocator, IUnknown* framework,
                 const WaveFormat& waveFormat);
    // Lets go of an input that the context is removing.
    void RemoveMediaInput(uint8_t mediaType, int32_t inputHandle);
    void StopAllPushers();

    int32_t OnMediaData(int32_t inputHandle, const MediaDataDesc* desc, const uint8_t* data,
                        uint32_t length) override;
    int32_t SetSyncTimer(int32_t inputHandle, IPlaySyncTime* clock) override;

  private:
    // Passed by Init; not owned.
    IInputBooking* context_ = nullptr;
    IMemoryAllocator* memoryAllocator_ = nullptr;
    IUnknown* framework_ = nullptr;
    WaveFormat waveFormat_;
};

}  // namespace streammanager
