// The sink that the input-stream protocol calls for each unit of a booked stream. Called on
// receiver threads with the protocol's lock held; must return promptly.
#pragma once

#include <cstdint>

#include "interfaces/IPlaySyncTime.h"

namespace streammanager {

class IQXMediaSink {
  public:
    virtual int32_t OnMediaData(uint8_t mediaType, const uint8_t* data, uint32_t length,
                                uint16_t valueA, uint16_t valueB) = 0;
    // 0, or E_FAIL for a null clock.
    virtual int32_t SetSyncTimer(IPlaySyncTime* clock) = 0;
    virtual int32_t ResetFrameCount() = 0;

  protected:
    ~IQXMediaSink() = default;
};

}  // namespace streammanager
