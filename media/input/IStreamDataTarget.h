// What a shared-memory receiver hands each entry to: every context that listens on the
// receiver's channel. Called on the receiver's thread; `data` points into shared memory and is
// valid only during the call.
#pragma once

#include <cstdint>

namespace streammanager {

class IStreamDataTarget {
  public:
    virtual void OnStreamData(uint8_t type, uint8_t mediaId, const uint8_t* data, uint32_t length,
                              uint32_t userId, uint16_t valueA, uint16_t valueB) = 0;

  protected:
    ~IStreamDataTarget() = default;
};

}  // namespace streammanager
