// The playback clock that one user's streams share, in milliseconds of the monotonic tick.
// Implemented by the program (CAVPlaySyncTime); handed to the video mixer for its inputs.
#pragma once

#include <cstdint>

class IPlaySyncTime {
  public:
    virtual int32_t SetTime(uint32_t time) = 0;
    virtual uint32_t GetTime() = 0;
    virtual int32_t SetSpeed(double speed) = 0;
    virtual double GetSpeed() = 0;
    virtual uint32_t GetAnchorTick() = 0;
    virtual int32_t Reset() = 0;

  protected:
    ~IPlaySyncTime() = default;
};
