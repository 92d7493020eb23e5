// The sink that an input hands its units to (the context's output). Called on receiver
// threads with the input's lock held.
#pragma once

#include <cstdint>

#include "interfaces/IPlaySyncTime.h"
#include "media/input/MediaTypes.h"

namespace streammanager {

class IInputMediaSink {
  public:
    virtual ~IInputMediaSink() = default;
    virtual int32_t OnMediaData(int32_t inputHandle, const MediaDataDesc* desc, const uint8_t* data,
                                uint32_t length) = 0;
    virtual int32_t SetSyncTimer(int32_t inputHandle, IPlaySyncTime* clock) = 0;
};

}  // namespace streammanager
